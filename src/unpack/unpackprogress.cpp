#include "unpack/unpackprogress.h"

#include "common/format.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
// The rate follows the last few seconds so a slow start or a pause long ago does not weigh on it.
constexpr qint64 kRateWindowMs = 5000;
// Below this the notes are too close to tell a rate.
constexpr qint64 kMinNoteGapMs = 100;
// A rate from less than this is noise; a time left needs a little more to settle.
constexpr qint64 kRateAfterMs = 1000;
constexpr qint64 kTimeLeftAfterMs = 3000;
// Beyond this a time left says nothing useful.
constexpr qint64 kLongestTimeLeft = 100LL * 3600;
} // namespace

void CXUnpackProgress::SetTotals(int archives, qint64 pictures, quint64 pictureBytes)
{
    m_nTotalArchives = archives;
    m_nTotalPictures = pictures;
    m_nTotalPictureBytes = pictureBytes;
}

void CXUnpackProgress::ArchiveStarted(const QString& name, qint64 pictures, quint64 pictureBytes)
{
    ++m_nArchive;
    m_strArchive = name;
    m_strEntry.clear();
    m_nArchivePictures = qMax<qint64>(0, pictures);
    m_nArchivePictureBytes = pictureBytes;
    m_nEntriesStarted = 0;
    m_nEntriesBytes = 0;
    m_nEntryBytes = 0;
    Update();
}

void CXUnpackProgress::EntryStarted(const QString& name)
{
    m_strEntry = name;
    ++m_nEntriesStarted;
    m_nEntriesBytes += quint64(qMax<qint64>(0, m_nEntryBytes));
    m_nEntryBytes = 0;
    Update();
}

void CXUnpackProgress::EntryBytes(qint64 done)
{
    m_nEntryBytes = qMax(m_nEntryBytes, done);
    Update();
}

void CXUnpackProgress::ArchiveFinished(quint64 bytesOnDisk)
{
    m_nPicturesBefore += m_nArchivePictures;
    m_nBytesBefore += bytesOnDisk;
    // However it ended, none of its pictures is still ahead of the run.
    m_nPictureBytesBefore += m_nArchivePictureBytes;
    m_nArchivePictures = 0;
    m_nArchivePictureBytes = 0;
    m_nEntriesStarted = 0;
    m_nEntriesBytes = 0;
    m_nEntryBytes = 0;
    m_strEntry.clear();
    Update();
}

void CXUnpackProgress::Update()
{
    // Entries before the current one are done; the scan's count bounds them (an archive may hold more
    // entries that stand for pictures than it was found with, never count past it).
    const qint64 done = std::clamp<qint64>(m_nEntriesStarted - 1, 0, m_nArchivePictures);
    m_nShownPictures = qMax(m_nShownPictures, m_nPicturesBefore + done);

    // The bytes reported so far, or, for pictures too small to report any, their share of the archive's
    // picture bytes, whichever is more.
    const quint64 reported = m_nEntriesBytes + quint64(qMax<qint64>(0, m_nEntryBytes));
    const quint64 estimated = m_nArchivePictures > 0
                                  ? quint64(double(m_nArchivePictureBytes) * double(done) / double(m_nArchivePictures))
                                  : 0;
    m_nShownBytes = qMax(m_nShownBytes, m_nBytesBefore + qMax(reported, estimated));
    // The archive's part of the run ends at its picture bytes, whatever more it writes.
    m_nPassedBytes =
        qMax(m_nPassedBytes, m_nPictureBytesBefore + qMin(m_nArchivePictureBytes, qMax(reported, estimated)));
}

void CXUnpackProgress::Pause(qint64 elapsedMs)
{
    if (m_nPausedAt < 0)
        m_nPausedAt = elapsedMs;
}

void CXUnpackProgress::Resume(qint64 elapsedMs)
{
    if (m_nPausedAt < 0)
        return;
    m_nPausedMs += qMax<qint64>(0, elapsedMs - m_nPausedAt);
    m_nPausedAt = -1;
}

qint64 CXUnpackProgress::ActiveMs(qint64 elapsedMs) const
{
    qint64 paused = m_nPausedMs;
    if (m_nPausedAt >= 0)
        paused += qMax<qint64>(0, elapsedMs - m_nPausedAt);
    return elapsedMs - paused;
}

void CXUnpackProgress::Sample(qint64 elapsedMs)
{
    const qint64 now = ActiveMs(elapsedMs);
    if (m_nFirstNoteMs < 0)
        m_nFirstNoteMs = now;
    if (!m_notes.empty() && now - m_notes.back().m_nActiveMs < kMinNoteGapMs)
        return;
    m_notes.push_back({now, m_nPassedBytes});
    // Keep one note at or before the window's start: the rate spans the whole window.
    while (m_notes.size() >= 2 && m_notes[1].m_nActiveMs <= now - kRateWindowMs)
        m_notes.pop_front();
}

double CXUnpackProgress::Rate(qint64 elapsedMs) const
{
    if (m_notes.empty())
        return -1;
    const qint64 now = ActiveMs(elapsedMs);
    if (now - m_nFirstNoteMs < kRateAfterMs)
        return -1;
    // The newest note at or before the window's start, or the oldest there is.
    const Note* base = &m_notes.front();
    for (const Note& note : m_notes) {
        if (note.m_nActiveMs > now - kRateWindowMs)
            break;
        base = &note;
    }
    const qint64 span = now - base->m_nActiveMs;
    if (span <= 0)
        return -1;
    const quint64 moved = m_nPassedBytes - qMin(m_nPassedBytes, base->m_nPassed);
    return double(moved) * 1000.0 / double(span);
}

qint64 CXUnpackProgress::SecondsLeft(qint64 elapsedMs) const
{
    if (m_notes.empty() || ActiveMs(elapsedMs) - m_nFirstNoteMs < kTimeLeftAfterMs)
        return -1;
    const double rate = Rate(elapsedMs);
    if (rate <= 0 || m_nPassedBytes >= m_nTotalPictureBytes)
        return -1;
    return qint64(std::ceil(double(m_nTotalPictureBytes - m_nPassedBytes) / rate));
}

QString CXUnpackProgress::Text(qint64 elapsedMs) const
{
    const double seconds = qMax<qint64>(1, elapsedMs) / 1000.0;
    const double mb = double(m_nShownBytes) / (1024.0 * 1024.0);
    QString text = QStringLiteral("%1/%2 archives | %3/%4 pictures | %5")
                       .arg(m_nArchive)
                       .arg(m_nTotalArchives)
                       .arg(m_nShownPictures)
                       .arg(m_nTotalPictures)
                       .arg(m_strArchive);
    if (!m_strEntry.isEmpty())
        text += QStringLiteral(" | ") + m_strEntry;
    return text + QStringLiteral(" | %1 MB | %2 MB/s").arg(mb, 0, 'f', 1).arg(mb / seconds, 0, 'f', 1);
}

QString CXUnpackProgress::WindowText(qint64 elapsedMs)
{
    Sample(elapsedMs);
    QStringList parts;
    if (m_nArchive > 0) {
        parts << (m_nTotalArchives > 0 ? QStringLiteral("Archive %1 of %2").arg(m_nArchive).arg(m_nTotalArchives)
                                       : QStringLiteral("Archive %1").arg(m_nArchive));
    }
    if (m_nArchive > 0 || m_nTotalPictureBytes > 0) {
        QString bytes = FormatByteSize(m_nShownBytes);
        if (m_nTotalPictureBytes > 0)
            bytes += QStringLiteral(" of ") + FormatByteSize(m_nTotalPictureBytes);
        parts << bytes;
    }
    const double rate = Rate(elapsedMs);
    if (rate >= 0)
        parts << FormatByteSize(quint64(rate)) + QStringLiteral("/s");
    const qint64 left = SecondsLeft(elapsedMs);
    if (left >= 0 && left < kLongestTimeLeft)
        parts << FormatDuration(left) + QStringLiteral(" left");
    return parts.join(QStringLiteral(" \u00b7 "));
}

QString CXUnpackProgress::FormatDuration(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QString secs = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(secs);
    return QStringLiteral("%1:%2").arg(minutes).arg(secs);
}
