#pragma once

#include "common/sstringarray.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CXPasswordStore;
class CXSettings;
class CXRunControl;
class CXWorkerHost;
struct CXExamination;

// One archive entry that failed extraction or validation in the last unpack run.
struct CXArchiveItem
{
    QString m_strName;          // output file name
    QString m_strPath;          // output path
    qint64 m_nPackedSize = 0;   // as the archive lists it
    qint64 m_nUnpackedSize = 0; // as the archive lists it
    qint32 m_nReserved = 0;     // always 0
    qint32 m_nResult = 0;       // the extraction call's result code
    qint32 m_bExists = 1;
    qint32 m_bLoads = 1;
    qint32 m_bSizeMatches = 1;
    QString m_strReason; // why it failed, for the report, when the three flags do not say it

    bool operator==(const CXArchiveItem&) const = default;
};

// One file named like an archive that did not open.
struct CXFileItem
{
    CXFileItem() = default;
    CXFileItem(const QString& fileName, const QString& path, qint32 error, const QString& reason = QString())
        : m_strFileName(fileName), m_strPath(path), m_nError(error), m_strReason(reason)
    {}

    QString m_strFileName;
    QString m_strPath;
    qint32 m_nError = 0; // the ZIP reader's last result, or the UnRAR library's open result
    QString m_strReason; // what is wrong when the error alone does not say it (a missing volume, ...)

    bool operator==(const CXFileItem&) const = default;
};

// A file or folder the scan met but did not take, with the reason (a link leading outside the chosen
// folder, a name that is not valid text, ...).
struct CXNotTaken
{
    QString m_strPath;
    QString m_strReason;
    bool m_bMissed = false; // what it holds may be pictures the run cannot reach (not a choice of the user's)

    bool operator==(const CXNotTaken&) const = default;
};

// What the file system says of one path. Times are seconds since 1970.
struct FileInfo
{
    QString m_strPath;
    quint32 m_dwAttributes = 0xFFFFFFFFu; // -1 when nothing was found
    quint64 m_nSize = 0;
    qint64 m_tmCreated = 0;
    qint64 m_tmAccessed = 0;
    qint64 m_tmModified = 0;
};

// One valid archive: its scan figures and the figures of its last unpack run.
class CXArchiveFile
{
public:
    CXArchiveFile() { Reset(); }

    void Reset();
    // A new record for an archive that was just examined: names, size and creation time of the file.
    void InitFromPath(const QString& path);
    // The record of an archive with pictures from its examination, which read the file's size and
    // creation time as InitFromPath does.
    void InitFromExamination(const CXExamination& found);

    QString GetPath() const { return m_strPath; }
    QString GetFolder() const { return m_strFolder; }
    QString GetFileName() const { return m_strFileName; }
    void SetPath(const QString& path) { m_strPath = path.trimmed(); }
    void SetFolder(const QString& folder) { m_strFolder = folder.trimmed(); }
    void SetFileName(const QString& name) { m_strFileName = name.trimmed(); }

    bool operator==(const CXArchiveFile&) const = default;

    // Scan figures.
    QString m_strPath;     // full path, "/" separated
    QString m_strFolder;   // the archive's folder, ending with "/"
    QString m_strFileName; // name with extension
    qint64 m_tmCreated = 0;
    quint64 m_nFileSize = 0; // of a RAR volume set: the sum of its volumes
    qint32 m_nPhotoCount = 0;
    qint32 m_nArchiveType = -1; // 0 ZIP, 1 RAR, 2 7z: what the file's bytes are, whatever its name says
    qint32 m_nSmartMode = 0;    // 1 into the archive's folder, 2 into a new folder named after it
    qint32 m_nFolderCount = 0;
    quint64 m_nPhotoBytes = 0;
    quint64 m_nPhotoPackedBytes = 0;
    // A RAR volume set's volumes after the first (full paths, in order); empty for a single file. The
    // set is opened through m_strPath and deleted whole.
    QStringList m_arrVolumes;

    // Every file of the archive: m_strPath, then the later volumes.
    QStringList AllVolumes() const { return QStringList{m_strPath} + m_arrVolumes; }
    // A part of a Google Takeout export: the export's timestamp, the same for all its parts; else empty.
    QString m_strExportKey;

    // Figures of the last unpack run.
    QList<CXArchiveItem> m_arrFailedItems;
    qint32 m_nSkipped = 0;
    qint32 m_nErrors = 0;
    qint32 m_nExtracted = 0;
    quint64 m_nBytesOnDisk = 0;
    qint32 m_bRemoved = 0;
    // Entries left inside by the last run: neither pictures taken, nor folders, nor known junk.
    qint32 m_nOtherFiles = 0;
    QStringList m_arrOtherFiles; // the first few of them, by name
    // Of an export's part: pictures whose time came from their sidecar, and pictures without one.
    qint32 m_nDatesRestored = 0;
    qint32 m_nNoDate = 0;

private:
    // Reset, then the names and type from the path; the photo count -1.
    void InitNames(const QString& path);
};

// The archive types.
constexpr int kZipArchive = 0;
constexpr int kRarArchive = 1;
constexpr int kSevenZArchive = 2;

// The type a file name claims: 0 for ".zip" and ".cbz", 1 for ".rar" (a volume of a set too) and ".cbr",
// 2 for ".7z", else -1 (case ignored). Only such names are candidates of a scan.
int GetArchiveType(const QString& path);
// The type the file's first bytes tell (a ZIP local header or end record, a RAR 4 or RAR 5 signature, the
// 7z signature); the type of the name when they tell none or the file cannot be read, so a file that is
// no archive fails with the reader its name chooses.
int DetectArchiveType(const QString& path);
// The type the bytes tell, -1 when they tell none.
int ArchiveTypeOfBytes(const QByteArray& head);
// True for a file named like a volume of a multi-part RAR set: "name.partN.rar", N one or more digits
// ("part" alone somewhere else in the name or the path does not count).
bool IsRarVolumeName(const QString& path);
// The path the first volume of the set that path belongs to has by its name: "name.part1.rar" (as many
// digits as path has) for "name.partN.rar", "name.rar" for an old-style "name.rNN"; otherwise path.
QString FirstVolumeName(const QString& path);
// True for the ".zip" of a split ZIP set: its end record names another disk, or a ".z01" lies beside it.
bool IsSplitZip(const QString& path);
// The directory entry of one path; the start values when nothing is there.
void GetFileInfo(const QString& path, FileInfo& info);

// The found-archive model: the result of a scan and the input of an unpack run.
class CXArchiveList
{
public:
    CXArchiveList() = default;

    // Inserts a copy at its place in path order (ignoring case, then by the exact text), unless a path
    // the file system takes for the same one is present (the same text on Linux; ignoring case on
    // Windows). Returns the index of the record with that path.
    int AddArchive(const CXArchiveFile& archive);
    void ResetForScan();
    void RemoveAllArchives() { m_arrArchives.clear(); }
    void SetImagePatterns(const QString& patterns) { m_strImagePatterns = patterns.trimmed().toLower(); }
    int CountActiveArchives() const;
    int ClearFailedItems();

    // The scan (runs on the scan worker's thread).
    bool StartScan(const QString& folder, CXRunControl& run);
    // Examines one archive file and records it: valid with its figures, invalid with its open error, or
    // skipped when it holds no picture. A path recorded before is not added again.
    void ExamineAndRecord(const QString& path, const CXSettings& settings);
    // Records one examination as ExamineAndRecord does; the status text names an archive that opened.
    void RecordExamination(const CXExamination& found);
    // Searches one folder and everything below it; false when the run was stopped on the way. The
    // archives found are in walk order while the walk runs and sorted when it ends (also after a stop).
    bool ScanFolder(const QString& folder, CXRunControl& run);

    QList<CXArchiveFile> m_arrArchives; // sorted by path, ignoring case (then by the exact text)
    qint32 m_nZipCount = 0;
    qint32 m_nRarCount = 0;
    qint32 m_nSevenZCount = 0;
    CXWorkerHost* m_pHost = nullptr; // stands in for the notify and status windows; may be null
    // The passwords for RAR archives whose headers are encrypted; null: such archives stay unopened.
    CXPasswordStore* m_pPasswords = nullptr;
    QList<CXFileItem> m_arrInvalid;  // in the order the scan met them
    CXSStringArray m_arrSkipped;     // paths, sorted; duplicates kept
    QList<CXNotTaken> m_arrNotTaken; // in the order the scan met them
    QString m_strImagePatterns;
    const CXSettings* m_pSettings = nullptr;
    // With two or more cores, a folder scan examines each archive on a second thread while its walk looks
    // for the next one; what it records and reports stays in walk order either way.
    bool m_bExamineAhead = true;
};

// The order of m_arrArchives: ignoring case, then by the exact text.
bool ArchivePathLess(const QString& a, const QString& b);
