#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// File-system services the safe write and the safe deletion need, beyond what Qt offers.
namespace zelvano::platform {

// Which file a path names: device, file number, size and modification time. Two equal identities
// name the same, unchanged file.
struct FileIdentity
{
    bool m_bValid = false; // false when nothing (or no regular file) is at the path
    quint64 m_nDevice = 0;
    quint64 m_nFile = 0;
    qint64 m_nSize = 0;
    qint64 m_nModifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at path (links followed); invalid for anything else.
[[nodiscard]] FileIdentity IdentifyFile(const QString& path);

// True when anything is at path: a file, a folder, or a link (a dangling one too). One call to the system.
[[nodiscard]] bool AnythingAt(const QString& path);

// Renames from to to, atomically, only when nothing exists at to. False (with errno-style text in
// error) when something is there or the rename failed.
[[nodiscard]] bool RenameNoReplace(const QString& from, const QString& to, QString* error = nullptr);
// Renames from to to, atomically replacing a file (or a link, never its target) at to.
[[nodiscard]] bool RenameReplace(const QString& from, const QString& to, QString* error = nullptr);

// Makes the files durable: their data and the folder entries that name them reach the disk (one flush
// per volume where the system has one, else each file and folder).
[[nodiscard]] bool MakeDurable(const QStringList& files);

// Opens path for writing, created or emptied, without ever following a link there (one call where the
// system can refuse a link itself). False when it cannot be opened; link then says whether a link was
// in the way.
[[nodiscard]] bool OpenForWriting(QFile& file, const QString& path, bool* link);

// Sets the times of an open file in as few calls as the system allows; an invalid time is left as it is
// (a creation time only where the system keeps one).
bool SetFileTimes(QFile& file, const QDateTime& created, const QDateTime& accessed, const QDateTime& modified);

// Sets the modification time of the file at path without opening it where the system allows (one call
// per file matters when thousands are dated); a link there is never followed.
bool SetModificationTime(const QString& path, const QDateTime& modified);

// Gives a file the plain permissions of a newly created file (read and write for all, less the umask;
// no execute, set-id or sticky bits).
bool SetPlainPermissions(const QString& path);

// This process's identifier, and whether a process with that identifier is running.
qint64 CurrentProcessId();
bool IsProcessRunning(qint64 pid);

} // namespace zelvano::platform
