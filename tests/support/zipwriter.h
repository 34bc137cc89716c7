#pragma once

// A ZIP writer for tests: it crafts good archives and every kind of damaged or hostile one the reader must
// handle, in memory. Each field left at its default gives a well-formed archive; each override plants one
// fault.

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <optional>

namespace zelvano::test {

// One entry as it will be written.
struct ZipItem
{
    QByteArray name;     // stored name bytes (any encoding, any length)
    QByteArray data;     // the uncompressed content
    uint16_t method = 8; // 0 stored, 8 Deflate, 12 BZip2, 14 LZMA, 93 Zstandard, 95 XZ; any other: the data as is
    uint16_t flags = 0;  // general-purpose flags to add (0x0800: the name is UTF-8)
    uint16_t versionMadeBy = 0x0314; // high byte: host system (0 DOS, 3 Unix)
    uint32_t externalAttributes = 0; // as stored
    uint16_t dosDate = 0x5A21;       // 2025-01-01
    uint16_t dosTime = 0x6000;       // 12:00:00
    // A "UT" block: the local header gets every time given, the central header the modification time only.
    std::optional<uint32_t> utModified, utAccessed, utCreated;
    bool dataDescriptor = false;      // flag bit 3: CRC and sizes 0 in the local header, a descriptor after the data
    bool zip64 = false;               // ZIP64 extra fields in both headers, even for small sizes and offsets
    bool encrypted = false;           // flag bit 0 (the data is written as given)
    std::optional<QByteArray> packed; // the compressed bytes, instead of compressing `data`

    // What both headers claim, when it should differ from the truth.
    std::optional<uint32_t> crc;
    std::optional<uint64_t> unpackedSize;
    std::optional<uint64_t> packedSize;

    // Local header faults.
    std::optional<uint32_t> localSignature;
    std::optional<uint16_t> localMethod;
    std::optional<uint32_t> localCrc;
    std::optional<uint64_t> localUnpackedSize;
    std::optional<QByteArray> localName;

    QByteArray localExtra;   // raw extra blocks appended in the local header
    QByteArray centralExtra; // raw extra blocks appended in the central header
    QByteArray comment;      // entry comment

    // Central record faults.
    int aliasOf = -1; // no local header or data of its own: the record points at item aliasOf's
    std::optional<uint32_t> centralSignature;
    std::optional<uint64_t> localOffset; // the offset the central record claims
};

class ZipWriter
{
public:
    // Adds an entry with this content; returns it for further changes.
    ZipItem& add(const QByteArray& name, const QByteArray& data, uint16_t method = 8);
    // Adds a folder entry: stored, empty, MS-DOS directory bit and Unix mode 040755.
    ZipItem& addFolder(const QByteArray& name);
    // Adds a central record pointing at item `target`'s local header and data (overlapping entries).
    ZipItem& addAlias(int target, const QByteArray& name);
    ZipItem& item(int index) { return m_items[index]; }

    QByteArray stub;         // bytes before the archive; offsets are not adjusted for them
    QByteArray comment;      // the archive comment
    bool zip64End = false;   // write the ZIP64 end record and locator (also when any item is zip64)
    bool saturateEnd = true; // with zip64End: the classic end record holds 0xFFFF / 0xFFFFFFFF values
    uint64_t baseOffset = 0; // offsets written as if the archive began this far into the file

    // End record overrides.
    std::optional<uint16_t> diskNumber, directoryDisk, entriesOnDisk, entriesTotal, commentLength;
    std::optional<uint32_t> directorySize, directoryOffset;
    std::optional<uint64_t> zip64EntriesTotal; // in the ZIP64 end record

    QByteArray build() const;

    static QByteArray Deflate(const QByteArray& data);
    // `data` compressed as an entry of this method stores it (LZMA with an end marker when flag bit 1 is set
    // in `flags`); a method without an encoder here returns the data as is.
    static QByteArray Compress(uint16_t method, const QByteArray& data, uint16_t flags = 0);
    static uint32_t Crc(const QByteArray& data);
    // An Info-ZIP Unicode Path extra block (id 0x7075) for `centralExtra`: version, the CRC-32 it claims
    // for the stored name (by default the true one of `storedName`) and the UTF-8 name.
    static QByteArray UnicodePathBlock(const QByteArray& storedName, const QByteArray& utf8Name, uint8_t version = 1,
                                       std::optional<uint32_t> crc = std::nullopt);
    // A raw deflate stream of `size` zero bytes, built from repeated flushed blocks (fast for gigabytes),
    // and the CRC-32 of those bytes.
    static QByteArray DeflatedZeros(uint64_t size, uint32_t& crc);

private:
    QList<ZipItem> m_items;
};

// Writes the archive `baseOffset` bytes into a new sparse file (the hole reads as zeros).
bool WriteSparseFile(const QString& path, uint64_t baseOffset, const QByteArray& bytes);

} // namespace zelvano::test

Q_DECLARE_METATYPE(zelvano::test::ZipItem)
