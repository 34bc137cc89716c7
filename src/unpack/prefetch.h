#pragma once

#include "platform/files.h"
#include "unpack/extractloop.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class CXRunControl;

// Extracts the pictures of the next archive of a run on a second core while the current archive is
// unpacked: each into a temporary file in the archive's own folder, with the same checks of size and
// CRC-32 as always. Nothing is decided here: the extraction loop takes a file over only for the very entry
// it was written from (same place in the archive, name, sizes and CRC-32) and then applies every rule of
// the run as if it had just extracted it. Whatever is not taken over is removed.
class CXPrefetch
{
public:
    // Starts the extraction of the archive at path with source (not yet opened) into folder.
    CXPrefetch(std::unique_ptr<CXArchiveSource> source, const QString& path, const QString& extensions,
               const QString& folder, CXRunControl& run);
    // Stops after the entry in hand, waits for the thread and removes every file not taken over.
    ~CXPrefetch();
    CXPrefetch(const CXPrefetch&) = delete;
    CXPrefetch& operator=(const CXPrefetch&) = delete;

    // The archive file as it was before it was read here.
    const zelvano::platform::FileIdentity& Identity() const { return m_identity; }

    // The file extracted ahead for entry number index (counted over the entries the source lists), when
    // it was extracted whole from this very entry: waits until the thread is past it. The file is then
    // the caller's. False when nothing (or something else) was extracted for it, or the extraction
    // failed: the caller extracts the entry itself.
    bool Take(int index, const CXSourceEntry& entry, QString* path);

private:
    struct Fetched
    {
        int m_nIndex = 0;
        CXSourceEntry m_entry;
        QString m_strPath;
        int m_nResult = 0;
    };

    void Run();

    std::unique_ptr<CXArchiveSource> m_source;
    QString m_strPath;
    QString m_strExtensions;
    QString m_strFolder;
    CXRunControl& m_run;
    zelvano::platform::FileIdentity m_identity;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Fetched> m_fetched; // in entry order, not yet taken
    int m_nPast = -1;              // the thread is done with every entry up to this number
    bool m_bDone = false;
    bool m_bStop = false;
    std::thread m_thread; // last: started when everything above is ready
};
