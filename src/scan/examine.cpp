#include "scan/examine.h"

#include "archive/junk.h"
#include "archive/rar.h"
#include "archive/sevenz.h"
#include "archive/zip.h"
#include "common/passwordstore.h"
#include "common/saturating.h"
#include "common/textcompare.h"
#include "scan/archivelist.h"
#include "scan/nottaken.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "settings/titlecase.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <set>
#include <vector>

namespace {

// The folder names found inside one archive, each once, ignoring case.
using FolderKeys = std::set<QString, LessNoCase>;

// QString::toLower, without its Unicode case tables for a name in plain ASCII (nearly every entry name):
// the same text at a fraction of the cost, which counts in archives of thousands of entries.
QString LowerName(const QString& text)
{
    bool upper = false;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.toLower();
        upper = upper || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    }
    if (!upper)
        return text;
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return lower;
}

bool IsSlash(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// Removes every "/" and "\" (ZIP archivers made on Windows store the latter).
void RemoveSeparators(QString& text)
{
    text.removeIf(IsSlash);
}

// A folder key from a directory entry's stored name: lower case, separators dropped when the name ends
// with one, dots as spaces. A ZIP name may end with either separator; a RAR name is as the library
// reports it.
void AddDirectoryKey(FolderKeys& keys, const QString& storedName, bool zip)
{
    QString key = LowerName(storedName);
    if (zip && !key.isEmpty() && IsSlash(key.back()))
        RemoveSeparators(key);
    else if (key.endsWith(QLatin1Char('/')))
        key.remove(QLatin1Char('/'));
    key.replace(QLatin1Char('.'), QLatin1Char(' '));
    keys.insert(key);
}

// Names as one text whatever form they came in: the composed form (an archive named on a Mac reaches us
// decomposed, its entries usually composed), without case, tidied like the archive's title.
QString ComparableName(const QString& text)
{
    return MakeTitleCase(text.normalized(QString::NormalizationForm_C), false).toCaseFolded();
}

// The archive's file name without its last extension.
QString ArchiveTitle(const QString& archivePath)
{
    QString name = archivePath.mid(archivePath.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

// The words of a text that count for a match: three or more characters, lower case.
CXSStringArray WordsOf(const QString& text)
{
    CXSStringArray words;
    CXSettings::SplitWordList(text, words);
    return words;
}

// The last component of the archive's folder, tidied for comparison with the archive's name.
QString ParentFolderName(const QString& archivePath)
{
    QString folder = archivePath.left(archivePath.lastIndexOf(QLatin1Char('/')) + 1);
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    QString name = slash >= 0 ? folder.mid(slash + 1) : QString();
    name = MakeTitleCase(name, true);
    name.replace(QLatin1String(" & "), QLatin1String(" "));
    name.replace(QLatin1String("  "), QLatin1String(" "));
    return name.toLower();
}

// The archive's file name without its extension, tidied like the folder name.
QString ArchiveBaseName(const QString& archivePath)
{
    return MakeTitleCase(ArchiveTitle(archivePath), false).toLower();
}

bool WordCounts(const CXSettings& settings, const QString& word, const QString& within)
{
    return word.size() > 1 && within.contains(word) && !settings.IsIgnoredFolderName(word);
}

struct Tally
{
    int photos = 0;
    quint64 photoBytes = 0;
    quint64 packedBytes = 0;
    FolderKeys keys;
    QString lastKey;          // most entries lie in the folder of the entry before them
    QSet<QString> topFolders; // the first folder of every counted entry, comparable (ComparableName)
    QString lastTop;          // as stored: most entries lie below the top folder of the entry before them
    bool rootPhoto = false;   // a photo lies outside every folder

    // name: "/" separated, without leading or trailing separators.
    void AddTop(const QString& name, bool photo)
    {
        const qsizetype slash = name.indexOf(QLatin1Char('/'));
        if (slash < 0 && photo) {
            rootPhoto = true;
            return;
        }
        if (name.isEmpty())
            return;
        const QString top = slash < 0 ? name : name.left(slash);
        if (top == lastTop)
            return;
        lastTop = top;
        topFolders.insert(ComparableName(top));
    }

    void AddKey(const QString& key)
    {
        if (key == lastKey)
            return;
        keys.insert(key);
        lastKey = key;
    }

    // The sizes are what the archive declares: a forged one must not wrap the sums to a small total.
    void AddPhoto(quint64 unpacked, quint64 packed)
    {
        ++photos;
        photoBytes = SaturatingAdd(photoBytes, unpacked);
        packedBytes = SaturatingAdd(packedBytes, packed);
    }
};

bool OnlyTopFolderIsTheTitle(const Tally& tally, const QString& archivePath)
{
    if (tally.rootPhoto || tally.topFolders.size() != 1)
        return false;
    const QString title = ComparableName(ArchiveTitle(archivePath));
    return !title.isEmpty() && *tally.topFolders.cbegin() == title;
}

// 1 when the archive's inner folders, or without them its own name, repeat a word of the place it lies
// in: it then carries its own descriptive folder and is extracted in place. Otherwise 2.
int DecideMode(const CXSettings& settings, const QString& storedPath, const Tally& tally, const FolderKeys& keys)
{
    // An archive whose every picture lies in one top folder named like the archive itself brings the very
    // folder extraction to a new folder would make: it goes here, whatever its words (words of one or two
    // characters, as in most CJK names, never count below).
    if (OnlyTopFolderIsTheTitle(tally, storedPath))
        return 1;
    const QString archivePath = storedPath.normalized(QString::NormalizationForm_C);
    if (!keys.empty()) {
        const QString lowerPath = archivePath.toLower();
        for (const QString& key : keys) {
            for (const QString& word : WordsOf(key.normalized(QString::NormalizationForm_C))) {
                if (WordCounts(settings, word, lowerPath))
                    return 1;
            }
        }
        return 2;
    }
    const QString folder = ParentFolderName(archivePath);
    const QString base = ArchiveBaseName(archivePath);
    if (base.contains(folder) && !settings.IsIgnoredFolderName(folder))
        return 1;
    for (QString word : WordsOf(folder)) {
        word.remove(QLatin1Char('\''));
        if (WordCounts(settings, word, base))
            return 1;
    }
    return 2;
}

// What one listing pass keeps of an archive: the entries that may count (pictures by their extension and
// folders), since known junk can only be told once every name is known (an AppleDouble "._name" is junk
// only beside "name"). The companion of a picture bears the picture's extension and the companion of a
// folder is a folder, so these names alone answer every junk question asked of them.
class CXListing
{
public:
    enum class Kind
    {
        ZipDirectory, // a ZIP directory entry: its stored name is the key
        RarDirectory, // a RAR directory entry: its stored name is the key
        ZipFolder,    // a ZIP name ending with a separator without the directory flag
        ZipPhoto,
        RarPhoto,
    };

    void Add(const QString& name, Kind kind, quint64 unpacked = 0, quint64 packed = 0)
    {
        m_junk.AddName(name);
        m_arrEntries.push_back(Entry{name, kind, unpacked, packed});
    }

    // Counts the photos and gathers the folder keys, in listing order, leaving out known junk.
    void Count(Tally& tally) const
    {
        for (const Entry& entry : m_arrEntries) {
            if (IsJunk(entry))
                continue;
            const bool photo = entry.kind == Kind::ZipPhoto || entry.kind == Kind::RarPhoto;
            tally.AddTop(NormalizedEntryName(entry.name), photo);
            switch (entry.kind) {
            case Kind::ZipDirectory:
                AddDirectoryKey(tally.keys, entry.name, true);
                break;
            case Kind::RarDirectory:
                AddDirectoryKey(tally.keys, entry.name, false);
                break;
            case Kind::ZipFolder: {
                QString key = ZipLowerName(entry.name);
                RemoveSeparators(key);
                key.replace(QLatin1Char('.'), QLatin1Char(' '));
                tally.AddKey(key);
                break;
            }
            case Kind::ZipPhoto: {
                tally.AddPhoto(entry.unpacked, entry.packed);
                const QString name = ZipLowerName(entry.name);
                const qsizetype slash =
                    std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
                if (slash >= 0) {
                    QString key = name.left(slash + 1);
                    RemoveSeparators(key);
                    key.replace(QLatin1Char('.'), QLatin1Char(' '));
                    tally.AddKey(key);
                }
                break;
            }
            case Kind::RarPhoto: {
                tally.AddPhoto(entry.unpacked, entry.packed);
                const QString name = LowerName(entry.name);
                const qsizetype slash = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
                if (slash >= 0) {
                    QString key = name.left(slash);
                    key.replace(QLatin1Char('.'), QLatin1Char(' '));
                    tally.AddKey(key);
                }
                break;
            }
            }
        }
    }

    // A ZIP name as the extension test reads it: lower case, a dot and space before the extension as a dot.
    static QString ZipLowerName(const QString& storedName)
    {
        QString name = LowerName(storedName);
        name.replace(QLatin1String(". "), QLatin1String("."));
        return name;
    }

private:
    struct Entry
    {
        QString name; // as stored
        Kind kind;
        quint64 unpacked;
        quint64 packed;
    };

    bool IsJunk(const Entry& entry) const
    {
        if (m_junk.IsKnownJunk(entry.name))
            return true;
        // The top "__MACOSX" folder itself says nothing of the archive's own folders either.
        return entry.kind != Kind::ZipPhoto && entry.kind != Kind::RarPhoto &&
               NormalizedEntryName(entry.name) == QLatin1String("__MACOSX");
    }

    CXJunkRules m_junk;
    std::vector<Entry> m_arrEntries;
};

// Reads the central directory only: an entry the directory itself shows to be unusable is passed over; the
// local headers are checked when the archive is extracted.
void ListOpenZip(ZipHandle zip, const QString& extensions, Tally& tally)
{
    CXListing listing;
    ZipListEntries(zip, [&](const ZipEntry& entry, int32_t result) {
        // A picture compressed with a method the reader does not read (Deflate64, PPMd) is still a picture of this
        // archive: the unpack names the method when it fails.
        if (result != ZIPRES_OK && result != ZIPRES_METHOD)
            return true;
        const QString name = CXListing::ZipLowerName(entry.m_szName);
        const bool picture = MatchesExtensionList(name, extensions);
        if ((entry.m_dwAttributes & ZIP_ATTR_DIRECTORY) && !picture)
            listing.Add(entry.m_szName, CXListing::Kind::ZipDirectory);
        else if (!name.isEmpty() && IsSlash(name.back())) // a file, or a directory flag on a picture name
            listing.Add(entry.m_szName, CXListing::Kind::ZipFolder);
        else if (picture) // hidden or not: the unpack extracts hidden pictures too
            listing.Add(entry.m_szName, CXListing::Kind::ZipPhoto, quint64(qMax<qint64>(entry.m_nUnpackedSize, 0)),
                        quint64(qMax<qint64>(entry.m_nPackedSize, 0)));
        return true;
    });
    listing.Count(tally);
}

// False when the archive does not open.
bool ListZip(const QString& path, const QString& extensions, Tally& tally)
{
    ZipHandlePtr zip(ZipOpen(path));
    if (!zip)
        return false;
    ListOpenZip(zip.get(), extensions, tally);
    return true;
}

// Lists an archive open in the ListSplit mode; returns the listing's result.
int ListOpenRar(RarArchive& archive, const QString& extensions, Tally& tally)
{
    CXListing listing;
    const int result = RarListEntries(archive, [&](const RarEntry& entry) {
        if (entry.isDirectory) {
            listing.Add(entry.name, CXListing::Kind::RarDirectory);
            return true;
        }
        // A later part of a file split over volumes is the same file again; a link is no picture.
        if (entry.splitBefore || entry.isLink)
            return true;
        if (MatchesExtensionList(entry.name, extensions))
            listing.Add(entry.name, CXListing::Kind::RarPhoto, entry.unpackedSize, entry.packedSize);
        return true;
    });
    // A listing that ends early on a damaged header keeps what it counted.
    listing.Count(tally);
    return result;
}

bool ListRar(const QString& path, const QString& extensions, Tally& tally)
{
    RarArchive archive;
    if (archive.Open(path, RarOpenMode::ListSplit) != RarSuccess)
        return false;
    (void)ListOpenRar(archive, extensions, tally);
    return true;
}

// Lists an open 7z archive; returns the listing's result. Its names follow the RAR conventions ("/"
// separated, folders without a trailing separator), so they count as a RAR listing's do. The reader knows
// no packed size per entry: the pictures' share of the file stands for it.
int ListOpenSevenZ(SevenZArchive& archive, const QString& extensions, quint64 fileSize, Tally& tally)
{
    CXListing listing;
    quint64 total = 0;
    quint64 photos = 0;
    int result = SevenZOk;
    SevenZEntry entry;
    while ((result = archive.Next(entry)) == SevenZOk) {
        total = SaturatingAdd(total, entry.size);
        if (entry.isDirectory) {
            listing.Add(entry.name, CXListing::Kind::RarDirectory);
        } else if (!entry.isLink && MatchesExtensionList(entry.name, extensions)) {
            photos = SaturatingAdd(photos, entry.size);
            listing.Add(entry.name, CXListing::Kind::RarPhoto, entry.size, 0);
        }
    }
    listing.Count(tally);
    if (total > 0)
        tally.packedBytes = quint64(double(fileSize) * (double(photos) / double(total)));
    return result == SevenZEnd ? int(SevenZOk) : result;
}

bool ListSevenZ(const QString& path, const QString& extensions, Tally& tally)
{
    SevenZArchive archive;
    if (archive.Open(path) != SevenZOk)
        return false;
    (void)ListOpenSevenZ(archive, extensions, quint64(qMax<qint64>(QFileInfo(path).size(), 0)), tally);
    return true;
}

QString NormalisedExtensions(const QString& imagePatterns)
{
    return ToExtensionList(imagePatterns.toLower()).trimmed();
}

int FinishExamination(const CXSettings& settings, const QString& path, const Tally& tally, int& mode,
                      quint64& photoBytes, quint64& packedBytes, int& folderCount)
{
    mode = DecideMode(settings, path, tally, tally.keys);
    photoBytes = tally.photoBytes;
    packedBytes = tally.packedBytes;
    folderCount = int(tally.keys.size());
    return tally.photos >= 1 ? tally.photos : -1;
}

} // namespace

bool CanOpenArchive(const QString& path, int* error)
{
    switch (DetectArchiveType(path)) {
    case 0: {
        ZipHandle zip = ZipOpen(path);
        if (zip) {
            ZipClose(zip);
            return true;
        }
        if (error)
            *error = ZipGetLastResult();
        return false;
    }
    case 1: {
        const int result = RarTestOpen(path);
        if (result == RarSuccess)
            return true;
        if (error)
            *error = result;
        return false;
    }
    case kSevenZArchive: {
        SevenZArchive archive;
        const int result = archive.Open(path);
        if (result == SevenZOk)
            return true;
        if (error)
            *error = result;
        return false;
    }
    default:
        return false;
    }
}

int ExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int& mode,
                   quint64& photoBytes, quint64& packedBytes, int& folderCount)
{
    mode = -1;
    photoBytes = 0;
    packedBytes = 0;
    const QString extensions = NormalisedExtensions(imagePatterns);
    Tally tally;
    bool opened = false;
    switch (DetectArchiveType(path)) {
    case kZipArchive:
        opened = ListZip(path, extensions, tally);
        break;
    case kRarArchive:
        opened = ListRar(path, extensions, tally);
        break;
    case kSevenZArchive:
        opened = ListSevenZ(path, extensions, tally);
        break;
    default:
        break;
    }
    if (!opened)
        return -1;
    return FinishExamination(settings, path, tally, mode, photoBytes, packedBytes, folderCount);
}

namespace {

// The file's size and creation time, read as CXArchiveFile::InitFromPath reads them: one look-up.
void ReadFileFacts(const QString& path, CXExamination& found)
{
    const QFileInfo info(path);
    found.m_nFileSize = quint64(std::max<qint64>(info.size(), 0));
    if (!info.exists())
        return;
    const QDateTime born = info.birthTime();
    found.m_tmCreated = (born.isValid() ? born : info.metadataChangeTime()).toSecsSinceEpoch();
}

// The same from the open file, for a file the walk just saw as a regular file: no look-up by path, and
// UTC times (no time-zone look-up).
void ReadOpenFileFacts(const QString& path, CXExamination& found)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return ReadFileFacts(path, found);
    found.m_nFileSize = quint64(std::max<qint64>(file.size(), 0));
    const QDateTime born = file.fileTime(QFileDevice::FileBirthTime);
    found.m_tmCreated = (born.isValid() ? born : file.fileTime(QFileDevice::FileMetadataChangeTime)).toSecsSinceEpoch();
}

// The open test and the listing with one open: false when the archive does not open (*error set as
// CanOpenArchive sets it). The facts of a ZIP archive found by a walk come from its open file.
// The password of a RAR archive whose headers are encrypted, from the store or the host.
struct ScanPasswords
{
    CXPasswordStore* store = nullptr;
    CXWorkerHost* host = nullptr;
};

bool OpenAndListType(int type, const QString& path, const QString& extensions, bool regularFile, int* error,
                     const std::function<void()>& onOpened, Tally& tally, CXExamination* facts,
                     const ScanPasswords& passwords)
{
    switch (type) {
    case 0: {
        ZipFileFacts zipFacts;
        ZipHandlePtr zip(regularFile ? ZipOpenRegularFile(path, facts ? &zipFacts : nullptr) : ZipOpen(path));
        if (!zip) {
            if (error)
                *error = ZipGetLastResult();
            if (facts && IsSplitZip(path))
                facts->m_strReason = SplitZipReason();
            return false;
        }
        if (onOpened)
            onOpened();
        ListOpenZip(zip.get(), extensions, tally);
        if (facts && regularFile) {
            facts->m_nFileSize = quint64(std::max<qint64>(zipFacts.m_nSize, 0));
            const QDateTime& born = zipFacts.m_ftCreated;
            facts->m_tmCreated = (born.isValid() ? born : zipFacts.m_ftChanged).toSecsSinceEpoch();
        } else if (facts) {
            ReadFileFacts(path, *facts);
        }
        return true;
    }
    case 1: {
        // The library's open costs more than the listing of a small archive, so the open test's handle is
        // kept for the listing. Its open result does not depend on the listing mode.
        RarArchive archive;
        int result = archive.Open(path, RarOpenMode::ListSplit);
        if (result == RarMissingPassword && passwords.store) {
            const std::optional<QString> password = ResolveArchivePassword(
                passwords.store, passwords.host, QFileInfo(path).fileName(), [&path](const QString& candidate) {
                    return RarTestOpen(path, candidate) == RarSuccess ? CXPasswordStore::Test::Works
                                                                      : CXPasswordStore::Test::Wrong;
                });
            if (password) {
                archive.SetPassword(*password);
                result = archive.Open(path, RarOpenMode::ListSplit);
            }
        }
        if (result != RarSuccess) {
            if (error)
                *error = result;
            return false;
        }
        // A later volume is read with its set, through the first one. (An old archive's header may not
        // mark its first volume: the file named as the first is taken for it.)
        if (archive.IsVolume() && !archive.IsFirstVolume() && FirstVolumeName(path) != path) {
            if (error)
                *error = RarOpenError;
            if (facts) {
                facts->m_bLaterVolume = true;
                facts->m_strReason = VolumeMissingReason(FirstVolumeName(path));
            }
            return false;
        }
        if (onOpened)
            onOpened();
        const int listed = ListOpenRar(archive, extensions, tally);
        const bool set = archive.IsVolume();
        const QStringList volumes = archive.NextVolumes();
        const QString missing = archive.MissingVolume();
        const QString current = archive.CurrentVolume();
        archive.Close();
        // A set must be read whole: a picture may lie across the volume that is missing or damaged.
        if (set && listed != RarSuccess) {
            if (error)
                *error = listed;
            if (facts)
                facts->m_strReason = !missing.isEmpty() ? VolumeMissingReason(missing) : VolumeDamagedReason(current);
            return false;
        }
        if (facts && regularFile)
            ReadOpenFileFacts(path, *facts);
        else if (facts)
            ReadFileFacts(path, *facts);
        if (facts) {
            facts->m_arrVolumes = volumes;
            for (const QString& volume : volumes)
                facts->m_nFileSize =
                    SaturatingAdd(facts->m_nFileSize, quint64(std::max<qint64>(QFileInfo(volume).size(), 0)));
        }
        return true;
    }
    case kSevenZArchive: {
        SevenZArchive archive;
        const int result = archive.Open(path);
        if (result != SevenZOk) {
            if (error)
                *error = result;
            return false;
        }
        if (onOpened)
            onOpened();
        if (facts && regularFile)
            ReadOpenFileFacts(path, *facts);
        else if (facts)
            ReadFileFacts(path, *facts);
        const quint64 size = facts ? facts->m_nFileSize : quint64(qMax<qint64>(QFileInfo(path).size(), 0));
        // A listing that ends early on a damaged header keeps what it counted, as with the others.
        (void)ListOpenSevenZ(archive, extensions, size, tally);
        return true;
    }
    default:
        return false;
    }
}

// The reader is chosen by the file's bytes. An archive whose name claims another type and that fails
// to open is named by what it is, since the name's reader never saw it.
bool OpenAndList(const QString& path, const QString& extensions, bool regularFile, int* error,
                 const std::function<void()>& onOpened, Tally& tally, CXExamination* facts,
                 const ScanPasswords& passwords = {})
{
    const int type = DetectArchiveType(path);
    if (facts)
        facts->m_nType = type;
    int code = 0;
    const bool opened = OpenAndListType(type, path, extensions, regularFile, &code, onOpened, tally, facts, passwords);
    if (!opened && error && type >= 0)
        *error = code;
    if (!opened && facts && facts->m_strReason.isEmpty() && type >= 0 && type != GetArchiveType(path))
        facts->m_strReason = OpenFailureReason(type, code);
    return opened;
}

} // namespace

QString VolumeMissingReason(const QString& volumePath)
{
    return QStringLiteral("Volume missing: %1").arg(volumePath.mid(volumePath.lastIndexOf(QLatin1Char('/')) + 1));
}

QString VolumeDamagedReason(const QString& volumePath)
{
    return QStringLiteral("Volume damaged: %1").arg(volumePath.mid(volumePath.lastIndexOf(QLatin1Char('/')) + 1));
}

QString SplitZipReason()
{
    return QStringLiteral("Split ZIP sets are not supported");
}

bool OpenAndExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int* error,
                           const std::function<void()>& onOpened, int& photos, int& mode, quint64& photoBytes,
                           quint64& packedBytes, int& folderCount)
{
    Tally tally;
    if (!OpenAndList(path, NormalisedExtensions(imagePatterns), false, error, onOpened, tally, nullptr))
        return false;
    photos = FinishExamination(settings, path, tally, mode, photoBytes, packedBytes, folderCount);
    return true;
}

CXExamination ExamineArchiveFile(const CXSettings& settings, const QString& path, const QString& imagePatterns,
                                 bool regularFile, CXPasswordStore* passwords, CXWorkerHost* host)
{
    CXExamination found;
    found.m_strPath = path;
    Tally tally;
    found.m_bOpened = OpenAndList(path, NormalisedExtensions(imagePatterns), regularFile, &found.m_nError, {}, tally,
                                  &found, ScanPasswords{passwords, host});
    if (found.m_bOpened)
        found.m_nPhotos = FinishExamination(settings, path, tally, found.m_nMode, found.m_nPhotoBytes,
                                            found.m_nPhotoPackedBytes, found.m_nFolderCount);
    return found;
}
