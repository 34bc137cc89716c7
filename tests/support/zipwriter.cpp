#include "support/zipwriter.h"

#include <QFile>

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <vector>

namespace zelvano::test {

namespace {

void Put16(QByteArray& out, uint16_t v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}
void Put32(QByteArray& out, uint32_t v)
{
    Put16(out, uint16_t(v & 0xFFFF));
    Put16(out, uint16_t(v >> 16));
}
void Put64(QByteArray& out, uint64_t v)
{
    Put32(out, uint32_t(v & 0xFFFFFFFFu));
    Put32(out, uint32_t(v >> 32));
}

QByteArray ExtraBlock(uint16_t id, const QByteArray& data)
{
    QByteArray block;
    Put16(block, id);
    Put16(block, uint16_t(data.size()));
    return block + data;
}

QByteArray TimestampBlock(const ZipItem& item, bool central)
{
    if (!item.utModified && !item.utAccessed && !item.utCreated)
        return {};
    QByteArray data;
    data.append(char((item.utModified ? 1 : 0) | (item.utAccessed ? 2 : 0) | (item.utCreated ? 4 : 0)));
    if (item.utModified)
        Put32(data, *item.utModified);
    if (!central) {
        if (item.utAccessed)
            Put32(data, *item.utAccessed);
        if (item.utCreated)
            Put32(data, *item.utCreated);
    }
    return ExtraBlock(0x5455, data);
}

uint32_t Clip32(uint64_t v)
{
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v);
}

// What the local header and data of one item came to.
struct Placed
{
    uint64_t offset = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
};

} // namespace

ZipItem& ZipWriter::add(const QByteArray& name, const QByteArray& data, uint16_t method)
{
    ZipItem item;
    item.name = name;
    item.data = data;
    item.method = method;
    item.externalAttributes = (0100644u << 16) | 0x20u;
    m_items.append(item);
    return m_items.last();
}

ZipItem& ZipWriter::addFolder(const QByteArray& name)
{
    ZipItem& item = add(name, QByteArray(), 0);
    item.externalAttributes = (040755u << 16) | 0x10u;
    return item;
}

ZipItem& ZipWriter::addAlias(int target, const QByteArray& name)
{
    ZipItem item = m_items.at(target);
    item.name = name;
    item.aliasOf = target;
    m_items.append(item);
    return m_items.last();
}

QByteArray ZipWriter::build() const
{
    QByteArray out = stub;
    const qsizetype origin = out.size();
    auto here = [&] { return baseOffset + uint64_t(out.size() - origin); };
    bool anyZip64 = zip64End;
    std::vector<Placed> placed(size_t(m_items.size()));

    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const ZipItem& item = m_items.at(i);
        anyZip64 = anyZip64 || item.zip64;
        if (item.aliasOf >= 0)
            continue;
        const QByteArray packed = item.packed ? *item.packed : Compress(item.method, item.data, item.flags);
        Placed& p = placed[size_t(i)];
        p.offset = here();
        p.crc = item.crc.value_or(Crc(item.data));
        p.packedSize = item.packedSize.value_or(uint64_t(packed.size()));
        p.unpackedSize = item.unpackedSize.value_or(uint64_t(item.data.size()));

        const uint16_t flags = item.flags | (item.dataDescriptor ? 0x0008 : 0) | (item.encrypted ? 0x0001 : 0);
        const uint32_t crc = item.dataDescriptor ? 0 : item.localCrc.value_or(p.crc);
        const uint64_t packedSize = item.dataDescriptor ? 0 : p.packedSize;
        const uint64_t unpackedSize = item.dataDescriptor ? 0 : item.localUnpackedSize.value_or(p.unpackedSize);
        const QByteArray name = item.localName.value_or(item.name);
        QByteArray extra;
        if (item.zip64) {
            QByteArray sizes;
            Put64(sizes, unpackedSize);
            Put64(sizes, packedSize);
            extra += ExtraBlock(0x0001, sizes);
        }
        extra += TimestampBlock(item, false) + item.localExtra;

        Put32(out, item.localSignature.value_or(0x04034B50));
        Put16(out, item.zip64 ? 45 : 20);
        Put16(out, flags);
        Put16(out, item.localMethod.value_or(item.method));
        Put16(out, item.dosTime);
        Put16(out, item.dosDate);
        Put32(out, crc);
        Put32(out, item.zip64 ? 0xFFFFFFFFu : Clip32(packedSize));
        Put32(out, item.zip64 ? 0xFFFFFFFFu : Clip32(unpackedSize));
        Put16(out, uint16_t(name.size()));
        Put16(out, uint16_t(extra.size()));
        out += name;
        out += extra;
        out += packed;
        if (item.dataDescriptor) {
            Put32(out, 0x08074B50);
            Put32(out, p.crc);
            if (item.zip64) {
                Put64(out, p.packedSize);
                Put64(out, p.unpackedSize);
            } else {
                Put32(out, Clip32(p.packedSize));
                Put32(out, Clip32(p.unpackedSize));
            }
        }
    }

    const uint64_t directoryOffsetValue = here();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const ZipItem& item = m_items.at(i);
        const Placed& p = placed[size_t(item.aliasOf >= 0 ? item.aliasOf : i)];
        const uint16_t flags = item.flags | (item.dataDescriptor ? 0x0008 : 0) | (item.encrypted ? 0x0001 : 0);
        const uint64_t offset = item.localOffset.value_or(p.offset);
        QByteArray extra;
        if (item.zip64) {
            QByteArray fields;
            Put64(fields, p.unpackedSize);
            Put64(fields, p.packedSize);
            Put64(fields, offset);
            extra += ExtraBlock(0x0001, fields);
        }
        extra += TimestampBlock(item, true) + item.centralExtra;

        Put32(out, item.centralSignature.value_or(0x02014B50));
        Put16(out, item.versionMadeBy);
        Put16(out, item.zip64 ? 45 : 20);
        Put16(out, flags);
        Put16(out, item.method);
        Put16(out, item.dosTime);
        Put16(out, item.dosDate);
        Put32(out, p.crc);
        Put32(out, item.zip64 ? 0xFFFFFFFFu : Clip32(p.packedSize));
        Put32(out, item.zip64 ? 0xFFFFFFFFu : Clip32(p.unpackedSize));
        Put16(out, uint16_t(item.name.size()));
        Put16(out, uint16_t(extra.size()));
        Put16(out, uint16_t(item.comment.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, item.externalAttributes);
        Put32(out, item.zip64 ? 0xFFFFFFFFu : Clip32(offset));
        out += item.name;
        out += extra;
        out += item.comment;
    }
    const uint64_t directorySizeValue = here() - directoryOffsetValue;
    const uint64_t count = uint64_t(m_items.size());

    const bool saturate = anyZip64 && saturateEnd;
    if (anyZip64) {
        const uint64_t recordOffset = here();
        Put32(out, 0x06064B50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, count);
        Put64(out, zip64EntriesTotal.value_or(count));
        Put64(out, directorySizeValue);
        Put64(out, directoryOffsetValue);
        Put32(out, 0x07064B50);
        Put32(out, 0);
        Put64(out, recordOffset);
        Put32(out, 1);
    }
    Put32(out, 0x06054B50);
    Put16(out, diskNumber.value_or(0));
    Put16(out, directoryDisk.value_or(0));
    Put16(out, entriesOnDisk.value_or(saturate ? 0xFFFF : uint16_t(count)));
    Put16(out, entriesTotal.value_or(saturate ? 0xFFFF : uint16_t(count)));
    Put32(out, directorySize.value_or(saturate ? 0xFFFFFFFFu : Clip32(directorySizeValue)));
    Put32(out, directoryOffset.value_or(saturate ? 0xFFFFFFFFu : Clip32(directoryOffsetValue)));
    Put16(out, commentLength.value_or(uint16_t(comment.size())));
    out += comment;
    return out;
}

QByteArray ZipWriter::Deflate(const QByteArray& data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

namespace {

QByteArray BZip2(const QByteArray& data)
{
    // The worst case of bzip2: 1% more plus 600 bytes.
    unsigned int length = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    QByteArray out(qsizetype(length), Qt::Uninitialized);
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.constData()),
                                 static_cast<unsigned int>(data.size()), 9, 0, 0) != BZ_OK)
        return {};
    out.resize(qsizetype(length));
    return out;
}

QByteArray LzmaRun(lzma_stream& stream, const QByteArray& data)
{
    QByteArray out(data.size() + data.size() / 2 + 1024, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<const uint8_t*>(data.constData());
    stream.avail_in = size_t(data.size());
    stream.next_out = reinterpret_cast<uint8_t*>(out.data());
    stream.avail_out = size_t(out.size());
    const lzma_ret status = lzma_code(&stream, LZMA_FINISH);
    out.resize(out.size() - qsizetype(stream.avail_out));
    lzma_end(&stream);
    return status == LZMA_STREAM_END ? out : QByteArray();
}

// The ZIP form: LZMA SDK version 9.20, the properties' length, the properties, the raw stream.
QByteArray Lzma(const QByteArray& data, bool endMarker)
{
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 1); // fast: tests want streams, not small ones
    options.dict_size = 1U << 20;
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t properties[5] = {};
    if (lzma_properties_encode(filters, properties) != LZMA_OK)
        return {};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK)
        return {};
    const QByteArray body = LzmaRun(stream, data);
    if (body.isEmpty())
        return {};
    return QByteArray("\x09\x14\x05\x00", 4) + QByteArray(reinterpret_cast<const char*>(properties), 5) + body;
}

QByteArray Xz(const QByteArray& data)
{
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_easy_encoder(&stream, 1, LZMA_CHECK_CRC64) != LZMA_OK)
        return {};
    return LzmaRun(stream, data);
}

QByteArray Zstd(const QByteArray& data)
{
    QByteArray out(qsizetype(ZSTD_compressBound(size_t(data.size()))), Qt::Uninitialized);
    const size_t length = ZSTD_compress(out.data(), size_t(out.size()), data.constData(), size_t(data.size()), 3);
    if (ZSTD_isError(length))
        return {};
    out.resize(qsizetype(length));
    return out;
}

} // namespace

QByteArray ZipWriter::Compress(uint16_t method, const QByteArray& data, uint16_t flags)
{
    switch (method) {
    case 8:
        return Deflate(data);
    case 12:
        return BZip2(data);
    case 14:
        return Lzma(data, (flags & 0x0002) != 0);
    case 93:
        return Zstd(data);
    case 95:
        return Xz(data);
    default:
        return data;
    }
}

QByteArray ZipWriter::UnicodePathBlock(const QByteArray& storedName, const QByteArray& utf8Name, uint8_t version,
                                       std::optional<uint32_t> crc)
{
    const uint32_t claimed = crc.value_or(Crc(storedName));
    const qsizetype size = 5 + utf8Name.size();
    QByteArray block;
    block.append(char(0x75)).append(char(0x70));
    block.append(char(size & 0xFF)).append(char((size >> 8) & 0xFF));
    block.append(char(version));
    for (int shift = 0; shift < 32; shift += 8)
        block.append(char((claimed >> shift) & 0xFF));
    block.append(utf8Name);
    return block;
}

uint32_t ZipWriter::Crc(const QByteArray& data)
{
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

QByteArray ZipWriter::DeflatedZeros(uint64_t size, uint32_t& crc)
{
    constexpr uint64_t kBlock = 1 << 20;
    const QByteArray zeros(qsizetype(kBlock), '\0');
    // One block of zeros compressed from an empty history and ended by a full flush: it can be repeated.
    auto flushed = [](const QByteArray& data) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size())) + 64), Qt::Uninitialized);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        stream.avail_in = uInt(data.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FULL_FLUSH);
        out.resize(qsizetype(stream.total_out));
        deflateEnd(&stream);
        return out;
    };
    const QByteArray block = flushed(zeros);
    QByteArray out;
    uLong sum = crc32(0L, Z_NULL, 0);
    const uLong blockCrc = crc32(sum, reinterpret_cast<const Bytef*>(zeros.constData()), uInt(kBlock));
    const uint64_t whole = size / kBlock;
    out.reserve(qsizetype(block.size() * qsizetype(whole) + 1024));
    for (uint64_t i = 0; i < whole; ++i) {
        out += block;
        sum = crc32_combine(sum, blockCrc, z_off_t(kBlock)); // no need to run the CRC over gigabytes
    }
    if (const uint64_t rest = size % kBlock) {
        out += flushed(zeros.left(qsizetype(rest)));
        sum = crc32(sum, reinterpret_cast<const Bytef*>(zeros.constData()), uInt(rest));
    }
    out += QByteArray("\x03\x00", 2); // a final, empty block with fixed codes
    crc = uint32_t(sum);
    return out;
}

bool WriteSparseFile(const QString& path, uint64_t baseOffset, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (!file.resize(qint64(baseOffset)) || !file.seek(qint64(baseOffset)))
        return false;
    return file.write(bytes) == bytes.size();
}

} // namespace zelvano::test
