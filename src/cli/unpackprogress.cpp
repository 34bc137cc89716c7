#include "cli/unpackprogress.h"

#include <algorithm>

namespace zelvano::cli {

void CXUnpackProgress::SetTotals(int archives, qint64 pictures)
{
    m_nTotalArchives = archives;
    m_nTotalPictures = pictures;
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

} // namespace zelvano::cli
