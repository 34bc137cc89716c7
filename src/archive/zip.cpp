#include "archive/zip.h"

#include "archive/pathrules.h"
#include "archive/zipcrypto.h"
#include "archive/zipdecoders.h"
#include "archive/zipformat.h"
#include "platform/files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

using namespace zelvano::zip;

namespace {

constexpr int32_t kReaderKind = 1;
constexpr qint64 kSearchSpan = 65535; // the end record lies within the last 64 KiB (its comment included)
constexpr qint64 kSearchBlock = 1028;
// The data is copied in blocks of this size: large enough that the system calls per megabyte stay few,
// small enough for the pause gate and the progress between blocks.
constexpr qint64 kChunk = qint64(256) * 1024;
// Largest central record: fixed part plus three 16-bit lengths.
constexpr qint64 kMaxCentralRecord = qint64(kCentralHeaderSize) + qint64(3) * 65535;
// The central directory is read through a window this large: one read for most archives, bounded memory
// for huge or hostile ones.
constexpr qint64 kDirectoryWindow = qint64(256) * 1024;
static_assert(kDirectoryWindow >= kMaxCentralRecord);

thread_local int32_t t_lastResult = 0;

// The user's encoding for names without the UTF-8 flag (a decoder name); empty: detected per archive.
std::mutex g_nameEncodingMutex;
QByteArray g_forcedNameEncoding;

QByteArray ForcedNameEncoding()
{
    const std::lock_guard lock(g_nameEncodingMutex);
    return g_forcedNameEncoding;
}

uint64_t AddSaturated(uint64_t a, uint64_t b)
{
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

int64_t ClampToInt64(uint64_t value)
{
    return value > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max() : int64_t(value);
}

// Creates root/parts..., level by level; never through a link, never over a file.
int32_t CreateFoldersBelow(const QString& root, const QStringList& parts)
{
    const QFileInfo rootInfo(root);
    if (!rootInfo.isDir())
        return ZIPRES_NOFILE;
    QString path = root;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        const QFileInfo info(path);
        if (info.isSymLink())
            return ZIPRES_UNSAFEPATH;
        if (info.exists()) {
            if (!info.isDir())
                return ZIPRES_NOFILE;
            continue;
        }
        if (!QDir().mkdir(path))
            return ZIPRES_NOFILE;
    }
    return ZIPRES_OK;
}

enum class MethodCheck
{
    Readable,
    Unsupported, // a real method the reader does not read (yet)
    Invalid,     // WinZip AES without the encrypted flag it always comes with
};

// The method the data is compressed with: a WinZip AES entry names it in its AES block.
uint16_t DataMethod(const CentralRecord& record)
{
    return record.aes ? record.aes->method : record.method;
}

MethodCheck CheckMethod(const CentralRecord& record)
{
    if (record.method == kMethodAes && !(record.flags & kFlagEncrypted))
        return MethodCheck::Invalid;
    return IsReadableMethod(DataMethod(record)) ? MethodCheck::Readable : MethodCheck::Unsupported;
}

// How one entry's data is decrypted: the bytes around the data that belong to the cipher, and the cipher.
struct Decryption
{
    std::unique_ptr<TraditionalCipher> traditional;
    std::unique_ptr<AesCipher> aes;
    uint64_t before = 0;  // the traditional header, or the AES salt and verifier
    uint64_t after = 0;   // the AES authentication code
    bool checkCrc = true; // AE-2 stores no CRC-32
};

// One entry's place in the archive, for the overlap test: [start, start + minimal length).
struct Extent
{
    uint64_t start = 0;
    uint64_t minEnd = 0;
};

} // namespace

class CXZipReader
{
public:
    // checkType: look the path up first and open only a regular file.
    int32_t Open(const QString& path, bool checkType, ZipFileFacts* facts = nullptr);
    int32_t Count() const { return m_nCount; }
    int32_t GetEntry(int32_t index, ZipEntry& entry);
    int32_t ListEntries(const ZipListCallback& onEntry);
    int32_t TestEntry(int32_t index, const QByteArray& password, const ZipChunkHook& hook, QIODevice* output = nullptr);
    int32_t EntryForData(int32_t index, const QByteArray& password, ZipEntry& entry);
    int32_t DecryptionFor(const ZipEntry& entry, const QByteArray& password, Decryption& crypt);
    int32_t ExtractEntry(int32_t index, const QString& destination, const ZipChunkHook& hook,
                         const QByteArray& password);
    void SetFileNameTest(ZipFileNameTest test) { m_fileNameTest = std::move(test); }

private:
    QString NameOf(const CentralRecord& record);
    void DecideNameEncoding();
    bool ReadAt(qint64 position, char* buffer, qint64 length);
    int32_t FindEndRecord(qint64& position, QByteArray& tail, qint64& tailPosition);
    int32_t ReadEndRecords(qint64 endPosition, const QByteArray& tail, qint64 tailPosition);
    bool ParseDirectoryRecord(uint64_t offset, CentralRecord& record);
    int32_t MoveCursor(int32_t index);
    void BuildExtents();
    bool Overlaps(uint64_t start, uint64_t end);
    int32_t CheckLocalHeader(const CentralRecord& record, ZipEntry& entry, uint64_t& dataStart, uint8_t& checkByte);
    int32_t StartDecryption(const QByteArray& password, Decryption& out);
    // output null: the data are decoded and checked, and nothing is written.
    int32_t CopyData(const CentralRecord& record, uint64_t dataStart, QIODevice* output, const ZipChunkHook& hook,
                     Decryption& crypt);

    QFile m_file;
    std::vector<char> m_input;    // the copy's blocks of packed data
    std::vector<char> m_inflated; // and of decompressed data
    qint64 m_nFileSize = 0;
    qint64 m_nStart = 0;       // the archive's start inside the file (a stub may come first)
    int32_t m_nCount = 0;      // number of entries
    uint64_t m_nDirOffset = 0; // central directory, relative to the start
    uint64_t m_nDirSize = 0;

    // Directory window: bytes [m_nWindowPos, m_nWindowPos + size) of the central directory.
    QByteArray m_window;
    uint64_t m_nWindowPos = 0;

    // Cursor: the record of entry m_nCursorIndex, at m_nCursorPos in the directory.
    int32_t m_nCursorIndex = -1;
    uint64_t m_nCursorPos = 0;
    CentralRecord m_cursorRecord;
    int32_t m_nBrokenIndex = -1; // first entry whose record is damaged; it and all later ones fail

    // One-entry cache of the last record returned.
    int32_t m_nCachedIndex = -1;
    ZipEntry m_cachedEntry;
    CentralRecord m_cachedRecord;
    uint64_t m_nCachedDataStart = 0;
    uint8_t m_nCachedCheckByte = 0; // what a traditionally encrypted header ends with

    bool m_bExtentsBuilt = false;
    std::vector<Extent> m_extents;        // sorted by start
    std::vector<uint64_t> m_maxEndBefore; // m_maxEndBefore[i]: the largest minEnd of extents [0, i)

    ZipFileNameTest m_fileNameTest; // a directory-flagged entry that passes it is written as a file

    // The code page of the names without the UTF-8 flag: the user's, or detected once from all of them
    // when the first such name is not UTF-8 (an ASCII or UTF-8 archive never runs the detector).
    QByteArray m_nameEncoding;
    bool m_bNameEncodingForced = false;
    bool m_bNameEncodingDecided = false;
};

struct ZipHandleData
{
    ZipHandleData() = default;
    ZipHandleData(const ZipHandleData&) = delete;
    ZipHandleData& operator=(const ZipHandleData&) = delete;
    ~ZipHandleData() { ClearPassword(); }

    void ClearPassword()
    {
        if (!m_password.isEmpty())
            OPENSSL_cleanse(m_password.data(), size_t(m_password.size()));
        m_password.clear();
    }

    int32_t m_nKind = kReaderKind;
    CXZipReader m_reader;
    QByteArray m_password; // for encrypted entries; empty: none. A copy of its own, so it can be wiped.
};

bool CXZipReader::ReadAt(qint64 position, char* buffer, qint64 length)
{
    if (position < 0 || length < 0 || position > m_nFileSize || length > m_nFileSize - position)
        return false;
    if (!m_file.seek(position))
        return false;
    qint64 done = 0;
    while (done < length) {
        const qint64 got = m_file.read(buffer + done, length - done);
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

int32_t CXZipReader::Open(const QString& path, bool checkType, ZipFileFacts* facts)
{
    // Only regular files: a FIFO would block the open, a device never ends.
    if (checkType && !QFileInfo(path).isFile())
        return ZIPRES_NOFILE;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || (checkType && m_file.isSequential()))
        return ZIPRES_NOFILE;
    m_nFileSize = m_file.size();
    if (facts) {
        // The open file's status, taken with the open: UTC times, so no time-zone look-up either.
        facts->m_nSize = m_nFileSize;
        facts->m_ftCreated = m_file.fileTime(QFileDevice::FileBirthTime);
        facts->m_ftChanged = m_file.fileTime(QFileDevice::FileMetadataChangeTime);
    }

    qint64 endPosition = 0;
    QByteArray tail;
    qint64 tailPosition = 0;
    if (const int32_t result = FindEndRecord(endPosition, tail, tailPosition))
        return result;
    if (const int32_t result = ReadEndRecords(endPosition, tail, tailPosition))
        return result;

    m_nameEncoding = ForcedNameEncoding();
    m_bNameEncodingForced = !m_nameEncoding.isEmpty();
    m_bNameEncodingDecided = m_bNameEncodingForced;

    m_nCursorIndex = -1;
    if (m_nCount > 0) {
        // The open succeeds even when the first record is damaged: the cursor stops before it.
        if (ParseDirectoryRecord(0, m_cursorRecord)) {
            m_nCursorIndex = 0;
            m_nCursorPos = 0;
        } else {
            m_nBrokenIndex = 0;
        }
    }
    return ZIPRES_OK;
}

// Searches backwards, block by block, for the end record's signature; the occurrence nearest to the end
// wins. The block it was found in is handed back: it usually holds the end records and the directory too.
int32_t CXZipReader::FindEndRecord(qint64& position, QByteArray& block, qint64& blockPosition)
{
    const qint64 lowest = m_nFileSize - std::min(m_nFileSize, kSearchSpan);
    qint64 blockEnd = m_nFileSize;
    while (blockEnd - lowest >= 4) {
        const qint64 blockStart = std::max(lowest, blockEnd - kSearchBlock);
        block.resize(blockEnd - blockStart);
        if (!ReadAt(blockStart, block.data(), block.size()))
            return ZIPRES_IOERROR;
        const auto* p = reinterpret_cast<const unsigned char*>(block.constData());
        for (qint64 i = block.size() - 4; i >= 0; --i) {
            if (Le32(p + i) == kEndSignature) {
                position = blockStart + i;
                blockPosition = blockStart;
                return ZIPRES_OK;
            }
        }
        if (blockStart == lowest)
            break;
        blockEnd = blockStart + 4; // overlap so a signature across the boundary is found
    }
    return ZIPRES_IOERROR;
}

int32_t CXZipReader::ReadEndRecords(qint64 endPosition, const QByteArray& tail, qint64 blockPos)
{
    auto readBytes = [&](qint64 position, qint64 length, unsigned char* out) {
        if (position >= blockPos && position + length <= blockPos + tail.size()) {
            std::memcpy(out, tail.constData() + (position - blockPos), size_t(length));
            return true;
        }
        return ReadAt(position, reinterpret_cast<char*>(out), length);
    };

    unsigned char end[kEndRecordSize];
    if (!readBytes(endPosition, qint64(kEndRecordSize), end))
        return ZIPRES_IOERROR;
    const uint16_t diskNumber = Le16(end + 4);
    const uint16_t directoryDisk = Le16(end + 6);
    const uint16_t entriesOnDisk = Le16(end + 8);
    const uint16_t entriesTotal = Le16(end + 10);
    uint64_t directorySize = Le32(end + 12);
    uint64_t directoryOffset = Le32(end + 16);
    uint64_t count = entriesTotal;
    qint64 directoryEnd = endPosition; // where the directory must end at the latest

    // ZIP64: a locator right before the end record points at the ZIP64 end record.
    bool zip64 = false;
    unsigned char locator[kZip64LocatorSize];
    if (endPosition >= qint64(kZip64LocatorSize) &&
        readBytes(endPosition - qint64(kZip64LocatorSize), qint64(kZip64LocatorSize), locator) &&
        Le32(locator) == kZip64LocatorSignature) {
        const qint64 locatorPos = endPosition - qint64(kZip64LocatorSize);
        const uint32_t recordDisk = Le32(locator + 4);
        const uint64_t declared = Le64(locator + 8);
        const uint32_t totalDisks = Le32(locator + 16);
        if (recordDisk != 0 || totalDisks > 1)
            return ZIPRES_BADZIP;
        // The record lies where the locator says, unless a stub moved the archive: then it is found right
        // before the locator. A locator whose record is missing leaves no value to trust.
        const qint64 latest = locatorPos - qint64(kZip64EndRecordSize);
        unsigned char record[kZip64EndRecordSize];
        qint64 recordPos = -1;
        for (const qint64 candidate :
             {declared <= uint64_t(std::max<qint64>(latest, 0)) ? qint64(declared) : -1, latest}) {
            if (candidate >= 0 && candidate <= latest && readBytes(candidate, qint64(kZip64EndRecordSize), record) &&
                Le32(record) == kZip64EndSignature) {
                recordPos = candidate;
                break;
            }
        }
        if (recordPos < 0)
            return ZIPRES_BADZIP;
        const uint32_t disk64 = Le32(record + 16);
        const uint32_t directoryDisk64 = Le32(record + 20);
        const uint64_t onDisk64 = Le64(record + 24);
        const uint64_t total64 = Le64(record + 32);
        if (disk64 != 0 || directoryDisk64 != 0 || onDisk64 != total64)
            return ZIPRES_BADZIP;
        count = total64;
        directorySize = Le64(record + 40);
        directoryOffset = Le64(record + 48);
        directoryEnd = recordPos;
        zip64 = true;
    }
    if (!zip64 && (diskNumber != 0 || directoryDisk != 0 || entriesOnDisk != entriesTotal))
        return ZIPRES_BADZIP;

    const uint64_t directoryBytes = AddSaturated(directoryOffset, directorySize);
    if (uint64_t(directoryEnd) < directoryBytes)
        return ZIPRES_BADZIP;
    // Every record takes at least 46 bytes: a larger count cannot be true, and would only make callers
    // loop over entries that do not exist.
    if (count > uint64_t(std::numeric_limits<int32_t>::max()) || count * kCentralHeaderSize > directorySize)
        return ZIPRES_BADZIP;

    m_nStart = qint64(uint64_t(directoryEnd) - directoryBytes);
    m_nDirOffset = directoryOffset;
    m_nDirSize = directorySize;
    m_nCount = int32_t(count);

    // Keep the tail block as the directory window when the whole directory lies in it.
    const qint64 dirFilePos = m_nStart + qint64(directoryOffset);
    if (dirFilePos >= blockPos && dirFilePos + qint64(directorySize) <= blockPos + tail.size()) {
        m_window = tail.mid(dirFilePos - blockPos, qint64(directorySize));
        m_nWindowPos = 0;
    } else {
        m_window.clear();
        m_nWindowPos = 0;
    }
    return ZIPRES_OK;
}

bool CXZipReader::ParseDirectoryRecord(uint64_t offset, CentralRecord& record)
{
    if (offset >= m_nDirSize)
        return false;
    const uint64_t want = std::min<uint64_t>(m_nDirSize - offset, uint64_t(kMaxCentralRecord));
    const bool inWindow = offset >= m_nWindowPos && offset + want <= m_nWindowPos + uint64_t(m_window.size());
    if (!inWindow) {
        const uint64_t length = std::min<uint64_t>(m_nDirSize - offset, uint64_t(kDirectoryWindow));
        m_window.resize(qsizetype(length));
        m_nWindowPos = offset;
        if (!ReadAt(m_nStart + qint64(m_nDirOffset + offset), m_window.data(), qint64(length))) {
            m_window.clear();
            return false;
        }
    }
    const auto* p = reinterpret_cast<const unsigned char*>(m_window.constData()) + (offset - m_nWindowPos);
    const size_t avail = size_t(m_nWindowPos + uint64_t(m_window.size()) - offset);
    return ParseCentralRecord(p, avail, record);
}

QString CXZipReader::NameOf(const CentralRecord& record)
{
    if (!m_bNameEncodingDecided && !(record.flags & kFlagUtf8) && HasHighByte(record.name) && !DecodeUtf8(record.name))
        DecideNameEncoding();
    return DecodeName(record.name, record.flags, record.unicodePath, m_nameEncoding, m_bNameEncodingForced);
}

// One guess for the whole archive: the names of one archive come from one system, and together they
// give the detector far more text than any single name.
void CXZipReader::DecideNameEncoding()
{
    m_bNameEncodingDecided = true;
    QByteArray names;
    uint64_t position = 0;
    CentralRecord record;
    for (int32_t i = 0; i < m_nCount; ++i) {
        if (!ParseDirectoryRecord(position, record))
            break;
        position += record.recordSize;
        if (record.flags & kFlagUtf8 || !HasHighByte(record.name) || DecodeUtf8(record.name))
            continue;
        names += record.name;
        names += '\n';
    }
    m_nameEncoding = DetectNameEncoding(names);
}

int32_t CXZipReader::MoveCursor(int32_t index)
{
    if (m_nBrokenIndex >= 0 && index >= m_nBrokenIndex)
        return ZIPRES_BADZIP;
    if (index < m_nCursorIndex || m_nCursorIndex < 0) {
        if (!ParseDirectoryRecord(0, m_cursorRecord)) {
            m_nBrokenIndex = 0;
            m_nCursorIndex = -1;
            return ZIPRES_BADZIP;
        }
        m_nCursorIndex = 0;
        m_nCursorPos = 0;
    }
    while (m_nCursorIndex < index) {
        const uint64_t next = m_nCursorPos + m_cursorRecord.recordSize;
        CentralRecord record;
        if (!ParseDirectoryRecord(next, record)) {
            // The cursor stays on the last good record and never moves past the damaged one.
            m_nBrokenIndex = m_nCursorIndex + 1;
            return ZIPRES_BADZIP;
        }
        m_cursorRecord = std::move(record);
        m_nCursorPos = next;
        ++m_nCursorIndex;
    }
    return ZIPRES_OK;
}

void CXZipReader::BuildExtents()
{
    m_bExtentsBuilt = true;
    m_extents.clear();
    uint64_t position = 0;
    CentralRecord record;
    for (int32_t i = 0; i < m_nCount; ++i) {
        if (!ParseDirectoryRecord(position, record)) {
            if (m_nBrokenIndex < 0 || i < m_nBrokenIndex)
                m_nBrokenIndex = i;
            break;
        }
        const uint64_t header = kLocalHeaderSize + uint64_t(record.name.size());
        m_extents.push_back(
            {record.localOffset, AddSaturated(record.localOffset, AddSaturated(header, record.packedSize))});
        position += record.recordSize;
    }
    std::sort(m_extents.begin(), m_extents.end(), [](const Extent& a, const Extent& b) { return a.start < b.start; });
    m_maxEndBefore.resize(m_extents.size() + 1);
    m_maxEndBefore[0] = 0;
    for (size_t i = 0; i < m_extents.size(); ++i)
        m_maxEndBefore[i + 1] = std::max(m_maxEndBefore[i], m_extents[i].minEnd);
}

// True when [start, end) shares bytes with another entry: another record points at the same local header,
// an earlier entry's data reaches into it, or it reaches into a later entry.
bool CXZipReader::Overlaps(uint64_t start, uint64_t end)
{
    if (!m_bExtentsBuilt)
        BuildExtents();
    const auto byStart = [](const Extent& e, uint64_t value) { return e.start < value; };
    const auto first = std::lower_bound(m_extents.begin(), m_extents.end(), start, byStart);
    const size_t before = size_t(first - m_extents.begin());
    if (m_maxEndBefore[before] > start)
        return true;
    auto it = first;
    int same = 0;
    while (it != m_extents.end() && it->start == start) {
        ++same;
        ++it;
    }
    if (same > 1)
        return true;
    return it != m_extents.end() && it->start < end;
}

int32_t CXZipReader::CheckLocalHeader(const CentralRecord& record, ZipEntry& entry, uint64_t& dataStart,
                                      uint8_t& checkByte)
{
    const uint64_t headerPos = AddSaturated(uint64_t(m_nStart), record.localOffset);
    if (headerPos > uint64_t(m_nFileSize))
        return ZIPRES_READ;
    // The fixed part, the name and usually the whole extra data in one read.
    const qint64 available = m_nFileSize - qint64(headerPos);
    QByteArray bytes;
    bytes.resize(qsizetype(std::min<qint64>(available, qint64(kLocalHeaderSize) + record.name.size() + 512)));
    if (bytes.size() < qsizetype(kLocalHeaderSize) || !ReadAt(qint64(headerPos), bytes.data(), bytes.size()))
        return ZIPRES_READ;
    LocalHeader local;
    if (!ParseLocalHeader(reinterpret_cast<const unsigned char*>(bytes.constData()), local))
        return ZIPRES_CORRUPT;

    const MethodCheck method = CheckMethod(record);
    if (local.method != record.method || method == MethodCheck::Invalid || local.nameLength != record.name.size())
        return ZIPRES_CORRUPT;

    const qint64 variable = qint64(local.nameLength) + local.extraLength;
    if (qint64(kLocalHeaderSize) + variable > available)
        return ZIPRES_READ;
    if (bytes.size() < qsizetype(kLocalHeaderSize) + variable) {
        bytes.resize(qsizetype(kLocalHeaderSize) + variable);
        if (!ReadAt(qint64(headerPos), bytes.data(), bytes.size()))
            return ZIPRES_READ;
    }
    const auto* extra = reinterpret_cast<const unsigned char*>(bytes.constData()) + kLocalHeaderSize + local.nameLength;
    ApplyLocalZip64(extra, local.extraLength, local);

    const bool descriptor = (record.flags | local.flags) & kFlagDataDescriptor;
    if (!descriptor &&
        (local.crc != record.crc || local.packedSize != record.packedSize || local.unpackedSize != record.unpackedSize))
        return ZIPRES_CORRUPT;
    // A writer that streams does not know the CRC-32 before the data, so its header checks the time.
    checkByte = descriptor ? uint8_t(local.dosTime >> 8) : uint8_t(record.crc >> 24);

    if (const auto block = FindExtraBlock(extra, local.extraLength, kExtraTimestamp)) {
        const ExtendedTimes times = ParseExtendedTimes(*block);
        if (times.modified)
            entry.m_ftModified = UnixToDateTime(*times.modified);
        if (times.accessed)
            entry.m_ftAccessed = UnixToDateTime(*times.accessed);
        if (times.created)
            entry.m_ftCreated = UnixToDateTime(*times.created);
    }

    dataStart = record.localOffset + kLocalHeaderSize + uint64_t(variable);
    const uint64_t dataEnd = AddSaturated(dataStart, record.packedSize);
    if (dataEnd > m_nDirOffset || Overlaps(record.localOffset, dataEnd))
        return ZIPRES_DAMAGED;
    return method == MethodCheck::Unsupported ? ZIPRES_METHOD : ZIPRES_OK;
}

int32_t CXZipReader::GetEntry(int32_t index, ZipEntry& entry)
{
    if (index < -1 || index >= m_nCount)
        return ZIPRES_ARGS;
    if (index == -1) {
        entry = ZipEntry();
        entry.m_nIndex = m_nCount;
        return ZIPRES_OK;
    }
    if (index == m_nCachedIndex) {
        entry = m_cachedEntry;
        return ZIPRES_OK;
    }
    if (const int32_t result = MoveCursor(index))
        return result;

    const CentralRecord& record = m_cursorRecord;
    ZipEntry e;
    e.m_nIndex = index;
    e.m_rawName = record.name;
    e.m_szName = NameOf(record);
    e.m_dwAttributes = MapExternalAttributes(record.externalAttributes);
    e.m_ftModified = DosToDateTime(record.dosDate, record.dosTime);
    e.m_ftAccessed = e.m_ftModified;
    e.m_ftCreated = e.m_ftModified;
    e.m_nPackedSize = ClampToInt64(record.packedSize);
    e.m_nUnpackedSize = ClampToInt64(record.unpackedSize);
    e.m_nMethod = DataMethod(record);
    e.m_nFlags = record.flags;
    e.m_nVersionMadeBy = record.versionMadeBy;
    e.m_dwCrc = record.crc;
    e.m_dwExternalAttributes = record.externalAttributes;
    e.m_nLocalHeaderOffset = ClampToInt64(record.localOffset);

    uint64_t dataStart = 0;
    uint8_t checkByte = 0;
    const int32_t result = CheckLocalHeader(record, e, dataStart, checkByte);
    entry = e;
    if (result == ZIPRES_OK) {
        m_nCachedIndex = index;
        m_cachedEntry = std::move(e);
        m_cachedRecord = record;
        m_nCachedDataStart = dataStart;
        m_nCachedCheckByte = checkByte;
    }
    return result;
}

int32_t CXZipReader::ListEntries(const ZipListCallback& onEntry)
{
    ZipEntry e;
    CentralRecord record;
    uint64_t position = 0;
    for (int32_t index = 0; index < m_nCount; ++index) {
        if ((m_nBrokenIndex >= 0 && index >= m_nBrokenIndex) || !ParseDirectoryRecord(position, record)) {
            if (m_nBrokenIndex < 0 || index < m_nBrokenIndex)
                m_nBrokenIndex = index;
            return ZIPRES_BADZIP;
        }
        position += record.recordSize;
        e.m_nIndex = index;
        e.m_szName = NameOf(record);
        e.m_rawName = std::move(record.name);
        e.m_dwAttributes = MapExternalAttributes(record.externalAttributes);
        e.m_nPackedSize = ClampToInt64(record.packedSize);
        e.m_nUnpackedSize = ClampToInt64(record.unpackedSize);
        e.m_nMethod = DataMethod(record);
        e.m_nFlags = record.flags;
        e.m_nVersionMadeBy = record.versionMadeBy;
        e.m_dwCrc = record.crc;
        e.m_dwExternalAttributes = record.externalAttributes;
        e.m_nLocalHeaderOffset = ClampToInt64(record.localOffset);

        // The checks the record alone allows; the local header and the overlap test wait for extraction.
        int32_t result = ZIPRES_OK;
        const MethodCheck method = CheckMethod(record);
        // The local header repeats the name, so the data start at least this far in.
        const uint64_t minimalEnd = AddSaturated(
            record.localOffset, AddSaturated(kLocalHeaderSize + uint64_t(e.m_rawName.size()), record.packedSize));
        if (method == MethodCheck::Invalid)
            result = ZIPRES_CORRUPT;
        else if (minimalEnd > m_nDirOffset)
            result = ZIPRES_DAMAGED;
        else if (method == MethodCheck::Unsupported)
            result = ZIPRES_METHOD;
        if (onEntry && !onEntry(e, result))
            break;
    }
    return ZIPRES_OK;
}

// Reads the cipher's header and checks the password against it, before any output exists. Works on the
// cached entry, which a successful GetEntry left there.
int32_t CXZipReader::StartDecryption(const QByteArray& password, Decryption& out)
{
    const CentralRecord& record = m_cachedRecord;
    const bool aes = record.method == kMethodAes;
    if (aes) {
        if (!record.aes)
            return ZIPRES_METHOD; // GetEntry already refuses such an entry
        out.before = AesSaltSize(record.aes->strength) + kAesVerifierSize;
        out.after = kAesCodeSize;
        out.checkCrc = record.aes->version == 1;
    } else {
        out.before = kTraditionalHeaderSize;
    }
    if (record.packedSize < out.before + out.after)
        return ZIPRES_CORRUPT;
    unsigned char header[32];
    static_assert(sizeof header >= kTraditionalHeaderSize && sizeof header >= 16 + kAesVerifierSize);
    if (!ReadAt(m_nStart + qint64(m_nCachedDataStart), reinterpret_cast<char*>(header), qint64(out.before)))
        return ZIPRES_READ;
    int32_t result = ZIPRES_OK;
    if (aes) {
        out.aes = std::make_unique<AesCipher>();
        const size_t saltSize = size_t(out.before) - kAesVerifierSize;
        switch (out.aes->Begin(QByteArrayView(password), record.aes->strength, header, header + saltSize)) {
        case AesCipher::Start::Ok:
            break;
        case AesCipher::Start::WrongPassword:
            result = ZIPRES_PASSWORD;
            break;
        case AesCipher::Start::Failed:
            result = ZIPRES_WRITE;
            break;
        }
    } else {
        out.traditional = std::make_unique<TraditionalCipher>(QByteArrayView(password));
        if (out.traditional->DecryptHeader(header) != m_nCachedCheckByte)
            result = ZIPRES_PASSWORD;
    }
    OPENSSL_cleanse(header, sizeof header);
    return result;
}

int32_t CXZipReader::CopyData(const CentralRecord& record, uint64_t dataStart, QIODevice* output,
                              const ZipChunkHook& hook, Decryption& crypt)
{
    // Allocated once per reader: a fresh pair of blocks per entry would cost more than a small entry.
    if (m_input.empty()) {
        m_input.resize(static_cast<size_t>(kChunk));
        m_inflated.resize(static_cast<size_t>(kChunk));
    }
    std::vector<char>& input = m_input;
    std::vector<char>& inflated = m_inflated;
    // The cipher's own bytes are not data; StartDecryption made sure they fit in the packed size.
    uint64_t packedLeft = record.packedSize - crypt.before - crypt.after;
    const uint64_t declared = record.unpackedSize;
    uint64_t written = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    // A wrong traditional password passes the one-byte check 1 time in 256; its output is then garbage
    // that fails like damaged data, and the caller may try its next password.
    const auto dataFault = [&](int32_t code) { return crypt.traditional ? ZIPRES_PASSWORD : code; };

    if (!m_file.seek(m_nStart + qint64(dataStart + crypt.before)))
        return ZIPRES_WRITE;
    auto readInput = [&](qint64 length) {
        qint64 done = 0;
        while (done < length) {
            const qint64 got = m_file.read(input.data() + done, length - done);
            if (got <= 0)
                return false;
            done += got;
        }
        auto* bytes = reinterpret_cast<unsigned char*>(input.data());
        if (crypt.traditional)
            crypt.traditional->Decrypt(bytes, size_t(length));
        else if (crypt.aes && !crypt.aes->Decrypt(bytes, size_t(length)))
            return false;
        return true;
    };
    // Writes at most what is left of the declared size; anything beyond it is refused.
    auto deliver = [&](const char* data, uint64_t length) {
        const uint64_t room = declared - written;
        const uint64_t take = std::min(length, room);
        if (take > 0 && output && output->write(data, qint64(take)) != qint64(take))
            return ZIPRES_WRITE;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), uInt(take));
        written += take;
        return take < length ? dataFault(ZIPRES_TOOBIG) : ZIPRES_OK;
    };

    const std::unique_ptr<ZipDecoder> decoder = MakeZipDecoder(DataMethod(record), record.flags, declared);
    if (!decoder)
        return ZIPRES_WRITE;
    DecodeBuffers step;
    for (;;) {
        if (hook && !hook())
            return ZIPRES_STOPPED;
        if (step.inLeft == 0 && packedLeft > 0) {
            const qint64 length = qint64(std::min<uint64_t>(packedLeft, uint64_t(kChunk)));
            if (!readInput(length))
                return ZIPRES_WRITE;
            packedLeft -= uint64_t(length);
            step.in = reinterpret_cast<const unsigned char*>(input.data());
            step.inLeft = size_t(length);
        }
        step.inputEnds = packedLeft == 0;
        step.out = reinterpret_cast<unsigned char*>(inflated.data());
        step.outLeft = size_t(kChunk);
        const size_t inBefore = step.inLeft;
        const DecodeStatus status = decoder->Step(step);
        // What came out before the damage is written: the partial file is the caller's to judge.
        const uint64_t produced = uint64_t(kChunk) - step.outLeft;
        if (const int32_t result = deliver(inflated.data(), produced))
            return result;
        if (status == DecodeStatus::Damaged)
            return dataFault(ZIPRES_WRITE);
        if (status == DecodeStatus::End)
            break;
        // No progress with all the entry's data at hand: the stream needs input the entry does not have.
        if (produced == 0 && step.inLeft == inBefore && (step.inLeft > 0 || packedLeft == 0))
            return dataFault(ZIPRES_WRITE);
    }
    if (crypt.aes) {
        // The code covers all the encrypted bytes, also any the stream left unread after its end.
        while (packedLeft > 0) {
            if (hook && !hook())
                return ZIPRES_STOPPED;
            const qint64 length = qint64(std::min<uint64_t>(packedLeft, uint64_t(kChunk)));
            if (!readInput(length))
                return ZIPRES_WRITE;
            packedLeft -= uint64_t(length);
        }
        unsigned char code[kAesCodeSize];
        if (m_file.read(reinterpret_cast<char*>(code), qint64(sizeof code)) != qint64(sizeof code))
            return ZIPRES_WRITE;
        if (!crypt.aes->Authenticate(code))
            return ZIPRES_CRC;
    }
    if (written != declared)
        return dataFault(ZIPRES_WRITE); // the data ended before the declared size
    if (crypt.checkCrc && crc != record.crc)
        return dataFault(ZIPRES_CRC);
    return ZIPRES_OK;
}

// The entry's record, for reading its data: whatever its method, an encrypted entry cannot be read without a
// password.
int32_t CXZipReader::EntryForData(int32_t index, const QByteArray& password, ZipEntry& entry)
{
    const int32_t result = GetEntry(index, entry);
    return result == ZIPRES_METHOD && entry.IsEncrypted() && password.isEmpty() ? ZIPRES_ENCRYPTED : result;
}

// Sets up the entry's cipher when it is encrypted; a wrong password is found here, before any output.
int32_t CXZipReader::DecryptionFor(const ZipEntry& entry, const QByteArray& password, Decryption& crypt)
{
    if (!entry.IsEncrypted())
        return ZIPRES_OK;
    if (password.isEmpty())
        return ZIPRES_ENCRYPTED;
    return StartDecryption(password, crypt);
}

int32_t CXZipReader::TestEntry(int32_t index, const QByteArray& password, const ZipChunkHook& hook, QIODevice* output)
{
    if (index < 0 || index >= m_nCount)
        return ZIPRES_ARGS;
    ZipEntry entry;
    if (const int32_t result = EntryForData(index, password, entry))
        return result;
    if (entry.IsDirectory())
        return ZIPRES_OK;
    Decryption crypt;
    if (const int32_t result = DecryptionFor(entry, password, crypt))
        return result;
    return CopyData(m_cachedRecord, m_nCachedDataStart, output, hook, crypt);
}

int32_t CXZipReader::ExtractEntry(int32_t index, const QString& destination, const ZipChunkHook& hook,
                                  const QByteArray& password)
{
    if (index < 0 || index >= m_nCount || destination.isEmpty())
        return ZIPRES_ARGS;
    ZipEntry entry;
    if (const int32_t result = EntryForData(index, password, entry))
        return result;
    if (!zelvano::pathrules::IsSafeOutputPath(destination))
        return ZIPRES_UNSAFEPATH;

    const QFileInfo target(destination);
    if (entry.IsDirectory() && !(m_fileNameTest && m_fileNameTest(entry.m_szName))) {
        // The folder is made below the folder the caller writes into, never below the process's
        // current directory.
        QStringList parts;
        if (zelvano::pathrules::SplitEntryName(entry.m_szName, parts) != zelvano::pathrules::NameCheck::Relative)
            return ZIPRES_UNSAFEPATH;
        return CreateFoldersBelow(target.absolutePath(), parts);
    }
    // A wrong password is found before the output file is created.
    Decryption crypt;
    if (const int32_t result = DecryptionFor(entry, password, crypt))
        return result;
    // Never written through a link to wherever it leads.
    QFile output;
    bool link = false;
    if (!zelvano::platform::OpenForWriting(output, destination, &link))
        return link ? ZIPRES_UNSAFEPATH : ZIPRES_NOFILE;
    // A successful GetEntry left this entry in the cache.
    const int32_t result = CopyData(m_cachedRecord, m_nCachedDataStart, &output, hook, crypt);
    if (result == ZIPRES_OK && !output.isSequential())
        zelvano::platform::SetFileTimes(output, entry.m_ftCreated, entry.m_ftAccessed, entry.m_ftModified);
    output.close();
    if (result == ZIPRES_OK && (entry.m_dwAttributes & ZIP_ATTR_READONLY) && QFileInfo(destination).isFile()) {
        QFile::setPermissions(destination,
                              QFile::permissions(destination) & ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                                                  QFileDevice::WriteGroup | QFileDevice::WriteOther));
    }
    return result;
}

const char* ZipResultName(int32_t result)
{
    switch (result) {
    case ZIPRES_OK:
        return "ZIPRES_OK";
    case ZIPRES_NOFILE:
        return "ZIPRES_NOFILE";
    case ZIPRES_WRITE:
        return "ZIPRES_WRITE";
    case ZIPRES_CORRUPT:
        return "ZIPRES_CORRUPT";
    case ZIPRES_READ:
        return "ZIPRES_READ";
    case ZIPRES_ARGS:
        return "ZIPRES_ARGS";
    case ZIPRES_NOTREADER:
        return "ZIPRES_NOTREADER";
    case ZIPRES_IOERROR:
        return "ZIPRES_IOERROR";
    case ZIPRES_BADZIP:
        return "ZIPRES_BADZIP";
    case ZIPRES_CRC:
        return "ZIPRES_CRC";
    case ZIPRES_TOOBIG:
        return "ZIPRES_TOOBIG";
    case ZIPRES_DAMAGED:
        return "ZIPRES_DAMAGED";
    case ZIPRES_ENCRYPTED:
        return "ZIPRES_ENCRYPTED";
    case ZIPRES_UNSAFEPATH:
        return "ZIPRES_UNSAFEPATH";
    case ZIPRES_STOPPED:
        return "ZIPRES_STOPPED";
    case ZIPRES_METHOD:
        return "ZIPRES_METHOD";
    case ZIPRES_PASSWORD:
        return "ZIPRES_PASSWORD";
    default:
        return "ZIPRES_UNKNOWN";
    }
}

QString ZipMethodName(uint16_t method)
{
    switch (method) {
    case 0:
        return QStringLiteral("Stored");
    case 1:
        return QStringLiteral("Shrink");
    case 2:
    case 3:
    case 4:
    case 5:
        return QStringLiteral("Reduce");
    case 6:
        return QStringLiteral("Implode");
    case 8:
        return QStringLiteral("Deflate");
    case 9:
        return QStringLiteral("Deflate64");
    case 10:
        return QStringLiteral("PKWARE DCL Implode");
    case 12:
        return QStringLiteral("BZip2");
    case 14:
        return QStringLiteral("LZMA");
    case 18:
        return QStringLiteral("IBM TERSE");
    case 19:
        return QStringLiteral("IBM LZ77");
    case 20:
    case 93:
        return QStringLiteral("Zstandard");
    case 94:
        return QStringLiteral("MP3");
    case 95:
        return QStringLiteral("XZ");
    case 96:
        return QStringLiteral("JPEG");
    case 97:
        return QStringLiteral("WavPack");
    case 98:
        return QStringLiteral("PPMd");
    case kMethodAes:
        return QStringLiteral("WinZip AES");
    default:
        return QStringLiteral("method %1").arg(method);
    }
}

bool ZipSetNameEncoding(const QString& name)
{
    QByteArray encoding;
    if (!name.trimmed().isEmpty()) {
        const std::optional<QByteArray> known = NameEncodingByName(name);
        if (!known)
            return false;
        encoding = *known;
    }
    const std::lock_guard lock(g_nameEncodingMutex);
    g_forcedNameEncoding = encoding;
    return true;
}

bool ZipIsNameEncoding(const QString& name)
{
    return name.trimmed().isEmpty() || NameEncodingByName(name).has_value();
}

QStringList ZipNameEncodingNames()
{
    return NameEncodingNames();
}

ZipHandle ZipOpen(const QString& path)
{
    auto handle = std::make_unique<ZipHandleData>();
    const int32_t result = handle->m_reader.Open(path, true);
    t_lastResult = result;
    return result == ZIPRES_OK ? handle.release() : nullptr;
}

ZipHandle ZipOpenRegularFile(const QString& path, ZipFileFacts* facts)
{
    auto handle = std::make_unique<ZipHandleData>();
    const int32_t result = handle->m_reader.Open(path, false, facts);
    t_lastResult = result;
    return result == ZIPRES_OK ? handle.release() : nullptr;
}

int32_t ZipGetEntry(ZipHandle handle, int32_t index, ZipEntry& entry)
{
    if (!handle)
        return ZIPRES_ARGS;
    if (handle->m_nKind != kReaderKind)
        return ZIPRES_NOTREADER;
    return handle->m_reader.GetEntry(index, entry);
}

int32_t ZipListEntries(ZipHandle handle, const ZipListCallback& onEntry)
{
    if (!handle)
        return ZIPRES_ARGS;
    if (handle->m_nKind != kReaderKind)
        return ZIPRES_NOTREADER;
    return handle->m_reader.ListEntries(onEntry);
}

int32_t ZipTestEntry(ZipHandle handle, int32_t index, const QByteArray& password, const ZipChunkHook& hook)
{
    int32_t result = ZIPRES_ARGS;
    if (handle)
        result = handle->m_nKind != kReaderKind ? ZIPRES_NOTREADER : handle->m_reader.TestEntry(index, password, hook);
    t_lastResult = result;
    return result;
}

int32_t ZipReadEntry(ZipHandle handle, int32_t index, QByteArray& data, int64_t maxBytes)
{
    data.clear();
    ZipEntry entry;
    int32_t result = ZIPRES_ARGS;
    if (handle && handle->m_nKind != kReaderKind)
        result = ZIPRES_NOTREADER;
    else if (handle && maxBytes >= 0)
        result = handle->m_reader.EntryForData(index, handle->m_password, entry);
    // Nothing is allocated for an entry that declares more than the caller takes.
    if (result == ZIPRES_OK && (entry.IsDirectory() || entry.m_nUnpackedSize > maxBytes))
        result = ZIPRES_TOOBIG;
    if (result == ZIPRES_OK) {
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        result = handle->m_reader.TestEntry(index, handle->m_password, {}, &buffer);
    }
    if (result != ZIPRES_OK)
        data.clear();
    t_lastResult = result;
    return result;
}

int32_t ZipExtractEntry(ZipHandle handle, int32_t index, const QString& destination, const ZipChunkHook& hook)
{
    int32_t result = ZIPRES_ARGS;
    if (handle)
        result = handle->m_nKind != kReaderKind
                     ? ZIPRES_NOTREADER
                     : handle->m_reader.ExtractEntry(index, destination, hook, handle->m_password);
    t_lastResult = result;
    return result;
}

int32_t ZipSetPassword(ZipHandle handle, const QByteArray& password)
{
    if (!handle)
        return ZIPRES_ARGS;
    if (handle->m_nKind != kReaderKind)
        return ZIPRES_NOTREADER;
    handle->ClearPassword();
    // A deep copy: the caller's bytes are left alone when this one is wiped.
    if (!password.isEmpty())
        handle->m_password = QByteArray(password.constData(), password.size());
    return ZIPRES_OK;
}

int32_t ZipClose(ZipHandle handle)
{
    int32_t result = ZIPRES_OK;
    if (!handle)
        result = ZIPRES_ARGS;
    else if (handle->m_nKind != kReaderKind)
        result = ZIPRES_NOTREADER;
    else
        delete handle;
    t_lastResult = result;
    return result;
}

int32_t ZipGetLastResult()
{
    return t_lastResult;
}

int32_t ZipSetFileNameTest(ZipHandle handle, ZipFileNameTest test)
{
    if (!handle)
        return ZIPRES_ARGS;
    if (handle->m_nKind != kReaderKind)
        return ZIPRES_NOTREADER;
    handle->m_reader.SetFileNameTest(std::move(test));
    return ZIPRES_OK;
}
