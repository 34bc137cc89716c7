#include "scan/archivelist.h"

#include "takeout/exportname.h"

#include "platform/pathcompare.h"
#include "scan/examine.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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
    m_arrVolumes.clear();
    m_strExportKey.clear();
    m_arrFailedItems.clear();
    m_nSkipped = 0;
    m_nErrors = 0;
    m_nExtracted = 0;
    m_nBytesOnDisk = 0;
    m_bRemoved = 0;
    m_nDatesRestored = 0;
    m_nNoDate = 0;
}

void CXArchiveFile::InitFromPath(const QString& path)
{
    FileInfo info;
    GetFileInfo(path, info);
    InitNames(path);
    m_tmCreated = info.m_tmCreated;
    m_nFileSize = info.m_nSize;
}

void CXArchiveFile::InitFromExamination(const CXExamination& found)
{
    InitNames(found.m_strPath);
    m_tmCreated = found.m_tmCreated;
    m_nFileSize = found.m_nFileSize;
    m_nPhotoCount = found.m_nPhotos;
    m_nSmartMode = found.m_nMode;
    m_nFolderCount = found.m_nFolderCount;
    m_nPhotoBytes = found.m_nPhotoBytes;
    m_nPhotoPackedBytes = found.m_nPhotoPackedBytes;
    m_arrVolumes = found.m_arrVolumes;
    if (found.m_nType >= 0)
        m_nArchiveType = found.m_nType;
}

void CXArchiveFile::InitNames(const QString& path)
{
    Reset();
    const QString trimmed = path.trimmed();
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    m_nArchiveType = GetArchiveType(path);
    m_strPath = trimmed;
    m_strFolder = slash >= 0 ? trimmed.left(slash + 1).trimmed() : QString();
    m_strFileName = trimmed.mid(slash + 1).trimmed();
    const CXTakeoutPartName part = ParseTakeoutPartName(m_strFileName);
    if (part.m_bValid && !part.m_bTarball && m_nArchiveType == 0)
        m_strExportKey = part.m_strKey;
    m_nPhotoCount = -1;
}

namespace {

// The file name: what follows the last separator.
QStringView FileNameOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return QStringView(path).mid(slash + 1);
}

} // namespace

bool IsRarVolumeName(const QString& path)
{
    // "name.partN.rar": the stem ends in ".part" and digits, with a name before them.
    const QStringView name = FileNameOf(path);
    if (!name.endsWith(QLatin1String(".rar"), Qt::CaseInsensitive))
        return false;
    const QStringView stem = name.chopped(4);
    qsizetype digits = 0;
    while (digits < stem.size()) {
        const QChar c = stem[stem.size() - 1 - digits];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        ++digits;
    }
    const QStringView beforeDigits = stem.chopped(digits);
    return digits > 0 && beforeDigits.size() > 5 && beforeDigits.endsWith(QLatin1String(".part"), Qt::CaseInsensitive);
}

QString FirstVolumeName(const QString& path)
{
    const QStringView name = FileNameOf(path);
    const QString folder = path.left(path.size() - name.size());
    if (IsRarVolumeName(path)) {
        const QStringView stem = name.chopped(4);
        qsizetype digits = 0;
        while (digits < stem.size() && stem[stem.size() - 1 - digits] >= u'0' && stem[stem.size() - 1 - digits] <= u'9')
            ++digits;
        return folder + stem.chopped(digits).toString() + QStringLiteral("1").rightJustified(digits, QLatin1Char('0')) +
               name.right(4).toString();
    }
    // "name.r00", "name.r01", ...: the set starts with "name.rar".
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.size() - dot >= 4 && name[dot + 1].toLower() == QLatin1Char('r')) {
        const QStringView number = name.mid(dot + 2);
        if (std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
            const QString lower = folder + name.left(dot).toString() + QStringLiteral(".rar");
            const QString upper = folder + name.left(dot).toString() + QStringLiteral(".RAR");
            return !QFileInfo::exists(lower) && QFileInfo::exists(upper) ? upper : lower;
        }
    }
    return path;
}

bool IsSplitZip(const QString& path)
{
    const QStringView name = FileNameOf(path);
    const QString stem = path.left(path.size() - 4);
    if (name.size() > 4 &&
        (QFileInfo::exists(stem + QStringLiteral(".z01")) || QFileInfo::exists(stem + QStringLiteral(".Z01"))))
        return true;
    // The end record (22 bytes and a comment of up to 65,535) names the disk it lies on and the disk the
    // directory starts on: both 0 in an archive of one file.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 span = std::min<qint64>(file.size(), 22 + 65535);
    if (span < 22 || !file.seek(file.size() - span))
        return false;
    const QByteArray tail = file.read(span);
    const qsizetype at = tail.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (at < 0 || tail.size() - at < 22)
        return false;
    const auto u16 = [&](qsizetype offset) {
        return quint16(quint8(tail[at + offset]) | (quint16(quint8(tail[at + offset + 1])) << 8));
    };
    return u16(4) != 0 || u16(6) != 0;
}

int GetArchiveType(const QString& path)
{
    const QStringView name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return -1;
    const QStringView ext = name.mid(dot);
    const auto is = [&ext](const char* suffix) { return ext.compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0; };
    if (is(".zip") || is(".cbz"))
        return kZipArchive;
    if (is(".rar") || is(".cbr"))
        return kRarArchive;
    if (is(".7z"))
        return kSevenZArchive;
    return -1;
}

int ArchiveTypeOfBytes(const QByteArray& head)
{
    // A local header starts an archive; an archive without entries is its end record alone.
    if (head.startsWith(QByteArrayLiteral("PK\x03\x04")) || head.startsWith(QByteArrayLiteral("PK\x05\x06")))
        return kZipArchive;
    if (head.startsWith(QByteArrayLiteral("Rar!\x1a\x07\x00")) ||
        head.startsWith(QByteArrayLiteral("Rar!\x1a\x07\x01\x00")))
        return kRarArchive;
    if (head.startsWith(QByteArrayLiteral("7z\xBC\xAF\x27\x1C")))
        return kSevenZArchive;
    return -1;
}

int DetectArchiveType(const QString& path)
{
    const int named = GetArchiveType(path);
    QFile file(path);
    // Never opened when it is no regular file: the open of a pipe blocks.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return named;
    const int found = ArchiveTypeOfBytes(file.read(8));
    return found >= 0 ? found : named;
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

bool ArchivePathLess(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.compare(b, Qt::CaseSensitive) < 0;
}

int CXArchiveList::AddArchive(const CXArchiveFile& archive)
{
    // Bisection by the case-insensitive comparison (the order shown), ties broken by the exact text. Only
    // a path the file system takes for the same one is the same archive: on Linux "Trip.zip" and
    // "trip.zip" are two files.
    int lo = 0;
    int hi = int(m_arrArchives.size()) - 1;
    while (hi >= lo) {
        const int mid = (lo + hi) / 2;
        const QString& present = m_arrArchives.at(mid).m_strPath;
        int c = present.compare(archive.m_strPath, Qt::CaseInsensitive);
        if (c == 0) {
            if (zelvano::platform::SamePathText(present, archive.m_strPath))
                return mid;
            c = present.compare(archive.m_strPath, Qt::CaseSensitive);
        }
        if (c < 0)
            lo = mid + 1;
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
    m_nSevenZCount = 0;
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
