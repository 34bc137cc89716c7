#include "unpack/progresshost.h"

#include "scan/archivelist.h"

namespace {
// The progress changes many times per entry; a person reads it a few times a second.
constexpr qint64 kShowEveryMs = 100;
const QString kSeparator = QStringLiteral(" \u00B7 ");
} // namespace

CXProgressHost::CXProgressHost(CXWorkerHost& target, const CXArchiveList& list) : m_target(target), m_list(list) {}

void CXProgressHost::Start(int archives, qint64 pictures, quint64 pictureBytes)
{
    const std::lock_guard lock(m_mutex);
    m_progress = CXUnpackProgress();
    m_progress.SetTotals(archives, pictures, pictureBytes);
    m_clock.start();
    m_nShownAt = -1;
    m_nArchiveIndex = -1;
    m_strEntry.clear();
}

void CXProgressHost::Pause()
{
    const std::lock_guard lock(m_mutex);
    if (m_clock.isValid())
        m_progress.Pause(m_clock.elapsed());
}

void CXProgressHost::Resume()
{
    const std::lock_guard lock(m_mutex);
    if (m_clock.isValid())
        m_progress.Resume(m_clock.elapsed());
}

void CXProgressHost::EnsureArchiveVisible(int archiveIndex)
{
    {
        const std::lock_guard lock(m_mutex);
        m_nArchiveIndex = archiveIndex;
        if (archiveIndex >= 0 && archiveIndex < m_list.m_arrArchives.size()) {
            const CXArchiveFile& a = m_list.m_arrArchives.at(archiveIndex);
            m_progress.ArchiveStarted(a.m_strFileName, a.m_nPhotoCount, a.m_nPhotoBytes);
        } else {
            m_progress.ArchiveStarted(QString(), 0, 0);
        }
        m_strEntry.clear();
        Show(true);
    }
    m_target.EnsureArchiveVisible(archiveIndex);
}

void CXProgressHost::StatusText(int line, const QString& text)
{
    if (line != 1) {
        m_target.StatusText(line, text);
        return;
    }
    // The entry's name follows the progress; an empty text (the archive is done) leaves the progress alone.
    const std::lock_guard lock(m_mutex);
    if (!text.isEmpty())
        m_progress.EntryStarted(text);
    m_strEntry = text;
    Show(text.isEmpty());
}

void CXProgressHost::EntryProgress(qint64 bytesDone, qint64 bytesTotal)
{
    {
        const std::lock_guard lock(m_mutex);
        m_progress.EntryBytes(bytesDone);
        Show(false);
    }
    m_target.EntryProgress(bytesDone, bytesTotal);
}

void CXProgressHost::StepProgress()
{
    {
        const std::lock_guard lock(m_mutex);
        // The archive's figures are stored by now; this thread wrote them.
        quint64 bytes = 0;
        if (m_nArchiveIndex >= 0 && m_nArchiveIndex < m_list.m_arrArchives.size())
            bytes = m_list.m_arrArchives.at(m_nArchiveIndex).m_nBytesOnDisk;
        m_progress.ArchiveFinished(bytes);
        Show(true);
    }
    m_target.StepProgress();
}

void CXProgressHost::Show(bool force)
{
    if (!m_clock.isValid())
        return;
    const qint64 now = m_clock.elapsed();
    if (!force && m_nShownAt >= 0 && now - m_nShownAt < kShowEveryMs)
        return;
    m_nShownAt = now;
    QString text = m_progress.WindowText(now);
    if (!m_strEntry.isEmpty())
        text = text.isEmpty() ? m_strEntry : text + kSeparator + m_strEntry;
    m_target.StatusText(1, text);
}
