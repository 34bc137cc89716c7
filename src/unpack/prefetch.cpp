#include "unpack/prefetch.h"

#include "archive/junk.h"
#include "common/runcontrol.h"
#include "unpack/tempfiles.h"

#include <QFile>

#include <climits>

CXPrefetch::CXPrefetch(std::unique_ptr<CXArchiveSource> source, const QString& path, const QString& extensions,
                       const QString& folder, CXRunControl& run)
    : m_source(std::move(source)), m_strPath(path), m_strExtensions(extensions), m_strFolder(folder), m_run(run),
      m_identity(zelvano::platform::IdentifyFile(path)), m_thread([this] { Run(); })
{}

CXPrefetch::~CXPrefetch()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_thread.join();
    for (const Fetched& fetched : m_fetched)
        QFile::remove(fetched.m_strPath);
}

void CXPrefetch::Run()
{
    const auto finish = [this] {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
            m_nPast = INT_MAX;
        }
        m_changed.notify_all();
    };
    const auto stopped = [this] {
        std::lock_guard lock(m_mutex);
        return m_bStop;
    };
    if (!m_source->Open(m_strPath))
        return finish();
    CXJunkRules junk;
    m_source->ListNames(junk);
    for (int index = 0; !stopped() && m_run.Check(); ++index) {
        CXSourceEntry entry;
        if (m_source->Next(entry) != 0)
            break;
        Fetched fetched{index, entry, QString(), 0};
        if (IsEntryToWrite(entry, junk, m_strExtensions)) {
            fetched.m_strPath = NewTempPath(m_strFolder);
            // The pause gate between blocks; a stop lets the entry finish, the next one is not started.
            fetched.m_nResult = m_source->ExtractTo(fetched.m_strPath, [this](qint64) { m_run.Check(); });
            // A failed entry is left to the loop, which extracts it itself and reports what it finds.
            if (fetched.m_nResult != 0) {
                QFile::remove(fetched.m_strPath);
                fetched.m_strPath.clear();
            }
        } else {
            m_source->Skip();
        }
        {
            std::lock_guard lock(m_mutex);
            if (!fetched.m_strPath.isEmpty())
                m_fetched.push_back(std::move(fetched));
            m_nPast = index;
        }
        m_changed.notify_all();
    }
    finish();
}

bool CXPrefetch::Take(int index, const CXSourceEntry& entry, QString* path)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_nPast >= index || m_bDone; });
    // Files of entries the loop has passed over are not wanted any more.
    while (!m_fetched.empty() && m_fetched.front().m_nIndex < index) {
        QFile::remove(m_fetched.front().m_strPath);
        m_fetched.pop_front();
    }
    if (m_fetched.empty() || m_fetched.front().m_nIndex != index)
        return false;
    Fetched fetched = std::move(m_fetched.front());
    m_fetched.pop_front();
    lock.unlock();
    const CXSourceEntry& e = fetched.m_entry;
    const bool same = e.m_strName == entry.m_strName && e.m_nPacked == entry.m_nPacked &&
                      e.m_nUnpacked == entry.m_nUnpacked && e.m_nCrc == entry.m_nCrc;
    if (!same) {
        QFile::remove(fetched.m_strPath);
        return false;
    }
    *path = fetched.m_strPath;
    return true;
}
