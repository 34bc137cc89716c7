#include "scan/archivelist.h"

#include <QDateTime>
#include <QFileInfo>

void CXArchiveFile::Reset()
{
    // The creation time is left as it was.
    m_strPath.clear();
    m_strFolder.clear();
    m_strFileName.clear();
    m_nFileSize = 0;
    m_nPhotoCount = 0;
    m_nArchiveType = -1;
    m_nSmartMode = 0;
    m_nFolderCount = 0;
    m_nPhotoBytes = 0;
    m_nPhotoPackedBytes = 0;
    m_arrFailedItems.clear();
    m_nSkipped = 0;
    m_nErrors = 0;
    m_nExtracted = 0;
    m_nBytesOnDisk = 0;
    m_bRemoved = 0;
}

void CXArchiveFile::InitFromPath(const QString& path)
{
    Reset();
    FileInfo info;
    GetFileInfo(path, info);
    const QString trimmed = path.trimmed();
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    m_nArchiveType = GetArchiveType(path);
    m_strPath = trimmed;
    m_strFolder = slash >= 0 ? trimmed.left(slash + 1).trimmed() : QString();
    m_strFileName = trimmed.mid(slash + 1).trimmed();
    m_tmCreated = info.m_tmCreated;
    m_nFileSize = info.m_nSize;
    m_nPhotoCount = -1;
}

int GetArchiveType(const QString& path)
{
    const QString lower = path.toLower();
    const qsizetype slash = lower.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = lower.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return -1;
    const QStringView ext = QStringView(lower).mid(dot);
    if (ext == QLatin1String(".zip"))
        return 0;
    if (ext == QLatin1String(".rar"))
        return lower.contains(QLatin1String(".part")) ? -1 : 1;
    return -1;
}

void GetFileInfo(const QString& path, FileInfo& info)
{
    info = FileInfo();
    const QFileInfo fi(path);
    if (!fi.exists())
        return;
    info.m_strPath = fi.absoluteFilePath();
    quint32 attributes = 0;
    if (fi.isDir())
        attributes |= 0x10;
    if (fi.isHidden())
        attributes |= 0x02;
    if (!fi.isWritable())
        attributes |= 0x01;
    info.m_dwAttributes = attributes ? attributes : 0x80;
    info.m_nSize = fi.isDir() ? 0 : quint64(fi.size());
    const QDateTime born = fi.birthTime();
    info.m_tmCreated = (born.isValid() ? born : fi.metadataChangeTime()).toSecsSinceEpoch();
    info.m_tmAccessed = fi.lastRead().toSecsSinceEpoch();
    info.m_tmModified = fi.lastModified().toSecsSinceEpoch();
}

int CXArchiveList::AddArchive(const CXArchiveFile& archive)
{
    // Bisection by the case-insensitive name comparison.
    int lo = 0;
    int hi = int(m_arrArchives.size()) - 1;
    while (hi >= lo) {
        const int mid = (lo + hi) / 2;
        const int c = m_arrArchives.at(mid).m_strPath.compare(archive.m_strPath, Qt::CaseInsensitive);
        if (c < 0)
            lo = mid + 1;
        else if (c == 0)
            return mid;
        else
            hi = mid - 1;
    }
    m_arrArchives.insert(lo, archive);
    return lo;
}

void CXArchiveList::ResetForScan()
{
    m_arrArchives.clear();
    m_arrInvalid.clear();
    m_arrSkipped.clear();
    m_arrNotTaken.clear();
    m_nZipCount = 0;
    m_nRarCount = 0;
}

int CXArchiveList::CountActiveArchives() const
{
    int n = 0;
    for (const CXArchiveFile& a : m_arrArchives)
        n += a.m_bRemoved ? 0 : 1;
    return n;
}

int CXArchiveList::ClearFailedItems()
{
    for (CXArchiveFile& a : m_arrArchives)
        a.m_arrFailedItems.clear();
    return int(m_arrArchives.size());
}
