#pragma once

// The ZIP record layouts and the small decoders the reader is made of. Internal to the reader; the test
// writer shares only the constants.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelvano::zip {

inline constexpr uint32_t kLocalSignature = 0x04034B50;
inline constexpr uint32_t kCentralSignature = 0x02014B50;
inline constexpr uint32_t kEndSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kDescriptorSignature = 0x08074B50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64EndRecordSize = 56;
inline constexpr size_t kZip64LocatorSize = 20;

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraTimestamp = 0x5455;   // "UT"
inline constexpr uint16_t kExtraUnicodePath = 0x7075; // Info-ZIP "up": the name again, in UTF-8
inline constexpr uint16_t kExtraAes = 0x9901;         // WinZip AES: version, strength, the real method

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodAes = 99; // WinZip AES: always comes with the encrypted flag

inline uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t Le64(const unsigned char* p)
{
    return uint64_t(Le32(p)) | (uint64_t(Le32(p + 4)) << 32);
}

// The WinZip AES block of an entry whose method is kMethodAes.
struct AesExtra
{
    uint16_t version = 0; // 1 (AE-1: the CRC-32 is kept) or 2 (AE-2: no CRC-32, the code alone checks)
    uint8_t strength = 0; // 1, 2, 3: 128, 192, 256-bit keys
    uint16_t method = 0;  // the compression method of the data inside
};

// The block's fields; nullopt unless it is 7 bytes or more with vendor "AE", version 1 or 2 and a
// strength of 1 to 3.
std::optional<AesExtra> ParseAesExtra(const QByteArray& block);

// One central directory record, sizes and offset already widened by its ZIP64 extra field.
struct CentralRecord
{
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    uint32_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localOffset = 0;
    QByteArray name;
    // The name from a Unicode Path extra block that belongs to this very name (version 1, CRC of the
    // stored name matching, valid UTF-8); null otherwise, and always for a name flagged UTF-8.
    QString unicodePath;
    // For a WinZip AES entry (kMethodAes), its AES block when that is readable.
    std::optional<AesExtra> aes;
    size_t recordSize = 0; // fixed part plus name, extra and comment
};

// Parses the record at p (avail bytes readable). False when the signature is wrong or the record does
// not fit in avail.
bool ParseCentralRecord(const unsigned char* p, size_t avail, CentralRecord& out);

// The fixed part of a local header, sizes widened by its ZIP64 extra field once that is applied.
struct LocalHeader
{
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
};

// Parses the 30-byte fixed part; false when the signature is wrong.
bool ParseLocalHeader(const unsigned char* p, LocalHeader& out);
// Widens saturated sizes from the local ZIP64 extra field.
void ApplyLocalZip64(const unsigned char* extra, size_t length, LocalHeader& header);

// The data of the first extra block with this id, walking id/length blocks; nullopt when there is none
// or the walk meets a block that runs past the end.
std::optional<QByteArray> FindExtraBlock(const unsigned char* extra, size_t length, uint16_t id);

// The Unix times of a "UT" block, each present only when flagged and whole.
struct ExtendedTimes
{
    std::optional<uint32_t> modified, accessed, created;
};
ExtendedTimes ParseExtendedTimes(const QByteArray& block);

// DOS date and time as they are (no time-zone shift), as a UTC date-time; invalid when impossible.
QDateTime DosToDateTime(uint16_t date, uint16_t time);
QDateTime UnixToDateTime(uint32_t seconds);

// Windows attribute bits from the 32-bit external attributes.
uint32_t MapExternalAttributes(uint32_t external);

// The UTF-8 name of a Unicode Path block's data when the block is version 1 and its CRC-32 is the one of
// the stored name; null otherwise (an older tool renamed the entry without updating the block).
QString ParseUnicodePath(const QByteArray& block, const QByteArray& storedName);

// The code pages a name without the UTF-8 flag is read in besides UTF-8, as decoder names ("IBM866",
// "Shift_JIS", ...). An empty encoding means code page 437.
// The decoder name for a name a user gives ("cp866", "shift-jis", "GBK", "latin1"); nullopt when the
// name is none of the supported ones.
std::optional<QByteArray> NameEncodingByName(const QString& name);
// The names a user may give, one per supported encoding, for messages and help.
QStringList NameEncodingNames();
// The encoding the detector finds for these bytes (all non-UTF-8 names of one archive, newline-joined),
// when it is one of the supported ones; empty otherwise.
QByteArray DetectNameEncoding(const QByteArray& names);
// True when some byte is not ASCII.
bool HasHighByte(const QByteArray& raw);
// raw as valid UTF-8, else nullopt.
std::optional<QString> DecodeUtf8(const QByteArray& raw);
// raw in the encoding; code page 437 when the encoding is empty or the bytes are not valid in it, so
// different names never become the same text through replacement characters.
QString DecodeInEncoding(const QByteArray& raw, const QByteArray& encoding);

// How the stored name is read. Flagged UTF-8 or valid UTF-8 reads as UTF-8 (a name the flag wrongly
// marks is still read whole, through code page 437). An unflagged name prefers its Unicode Path block,
// then valid UTF-8, then the archive's encoding. forced: a user-chosen encoding for unflagged names,
// which then replaces the UTF-8 guess and the archive's detected encoding.
QString DecodeName(const QByteArray& raw, uint16_t flags = 0, const QString& unicodePath = QString(),
                   const QByteArray& encoding = QByteArray(), bool forced = false);
QString DecodeCp437(const QByteArray& raw);

} // namespace zelvano::zip
