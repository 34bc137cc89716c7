#pragma once

#include "common/workerhost.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

// The passwords of one run: those given up front (a password file) and those the user typed. They live
// in memory only for the run and are never written anywhere. Safe to use from several threads.
class CXPasswordStore
{
public:
    CXPasswordStore() = default;
    explicit CXPasswordStore(const QStringList& passwords);
    CXPasswordStore(const CXPasswordStore&) = delete;
    CXPasswordStore& operator=(const CXPasswordStore&) = delete;

    // Adds a password at the end (an empty one or one already known is ignored).
    void Add(const QString& password);
    // The known passwords in the order to try them: the last one that opened an archive first, then the
    // others as they were added.
    QStringList Candidates() const;
    // The password opened an archive: it is tried first on the next ones.
    void NoteWorked(const QString& password);
    // The user chose to skip every further encrypted archive of the run.
    void SetSkipAll();
    bool IsSkipAll() const;
    bool IsEmpty() const;

    // What a test of one password on one archive found.
    enum class Test
    {
        Works,
        Wrong,
    };
    // The password of one encrypted archive: each known password in turn through test, then the host's
    // question again and again until a password works or the answer is to skip (SkipAll also sets the
    // skip-all flag). Returns the working password, or nothing when the archive stays closed. One
    // archive at a time asks: concurrent callers wait, and then find what the first one learnt.
    std::optional<QString> Resolve(CXWorkerHost* host, const QString& archiveName,
                                   const std::function<Test(const QString&)>& test);

private:
    mutable std::mutex m_mutex;
    std::mutex m_askMutex; // held through one archive's whole resolution, so questions never overlap
    QStringList m_passwords;
    QString m_lastWorked;
    bool m_bSkipAll = false;
};

// Resolve on a store that may be null (no store: no password).
std::optional<QString> ResolveArchivePassword(CXPasswordStore* store, CXWorkerHost* host, const QString& archiveName,
                                              const std::function<CXPasswordStore::Test(const QString&)>& test);
