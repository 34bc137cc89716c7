#include "archive/zipformat.h"

#include "archive/pathrules.h"

#include <QStringDecoder>
#include <QTimeZone>

#include <uchardet.h>
#include <zlib.h>

#include <algorithm>
#include <memory>

namespace zelvano::zip {

namespace {

// Code page 437, the upper half; the lower half is ASCII (control characters stay control characters,
// so the path checks still see them).
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct NameEncoding
{
    const char* decoder;                        // the name the string decoder knows
    std::initializer_list<const char*> aliases; // the first one is shown to users
};

// Code pages of the systems whose archivers write names without the UTF-8 flag. Korean uses CP949, a
// superset of EUC-KR that the detector calls UHC.
const NameEncoding kNameEncodings[] = {
    {"IBM437", {"CP437", "IBM437", "437"}},
    {"IBM850", {"CP850", "IBM850", "850"}},
    {"IBM866", {"CP866", "IBM866", "866"}},
    {"windows-1251", {"CP1251", "WINDOWS-1251", "1251"}},
    {"windows-1252", {"CP1252", "WINDOWS-1252", "1252", "ISO-8859-1", "ISO-8859-15", "LATIN1"}},
    {"Shift_JIS", {"SHIFT_JIS", "SJIS", "CP932", "WINDOWS-31J"}},
    {"GB18030", {"GBK", "GB18030", "GB2312", "CP936"}},
    {"Big5", {"BIG5", "CP950"}},
    {"windows-949", {"EUC-KR", "CP949", "UHC"}},
};

const NameEncoding* FindEncoding(QByteArrayView name)
{
    const QByteArray upper = name.toByteArray().toUpper().replace('-', '_');
    for (const NameEncoding& encoding : kNameEncodings) {
        for (const char* alias : encoding.aliases) {
            if (QByteArray(alias).replace('-', '_') == upper)
                return &encoding;
        }
    }
    return nullptr;
}

struct DetectorDeleter
{
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

} // namespace

bool ParseCentralRecord(const unsigned char* p, size_t avail, CentralRecord& out)
{
    if (avail < kCentralHeaderSize || Le32(p) != kCentralSignature)
        return false;
    const size_t nameLength = Le16(p + 28);
    const size_t extraLength = Le16(p + 30);
    const size_t commentLength = Le16(p + 32);
    const size_t total = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (total > avail)
        return false;

    out.versionMadeBy = Le16(p + 4);
    out.versionNeeded = Le16(p + 6);
    out.flags = Le16(p + 8);
    out.method = Le16(p + 10);
    out.dosTime = Le16(p + 12);
    out.dosDate = Le16(p + 14);
    out.crc = Le32(p + 16);
    out.packedSize = Le32(p + 20);
    out.unpackedSize = Le32(p + 24);
    out.diskStart = Le16(p + 34);
    out.internalAttributes = Le16(p + 36);
    out.externalAttributes = Le32(p + 38);
    out.localOffset = Le32(p + 42);
    out.name = QByteArray(reinterpret_cast<const char*>(p + kCentralHeaderSize), qsizetype(nameLength));
    out.recordSize = total;

    // ZIP64: each saturated field is found, in this order, in the 0x0001 extra block. A field the block
    // does not hold keeps its saturated value, which the range checks then reject.
    const unsigned char* extra = p + kCentralHeaderSize + nameLength;
    if (const auto block = FindExtraBlock(extra, extraLength, kExtraZip64)) {
        const auto* d = reinterpret_cast<const unsigned char*>(block->constData());
        size_t left = size_t(block->size());
        auto take64 = [&](uint64_t& field) {
            if (field == 0xFFFFFFFFu && left >= 8) {
                field = Le64(d);
                d += 8;
                left -= 8;
            }
        };
        take64(out.unpackedSize);
        take64(out.packedSize);
        take64(out.localOffset);
        if (out.diskStart == 0xFFFF && left >= 4)
            out.diskStart = Le32(d);
    }
    out.aes.reset();
    if (out.method == kMethodAes) {
        if (const auto block = FindExtraBlock(extra, extraLength, kExtraAes))
            out.aes = ParseAesExtra(*block);
    }
    out.unicodePath.clear();
    if (!(out.flags & kFlagUtf8)) {
        if (const auto block = FindExtraBlock(extra, extraLength, kExtraUnicodePath))
            out.unicodePath = ParseUnicodePath(*block, out.name);
    }
    return true;
}

std::optional<AesExtra> ParseAesExtra(const QByteArray& block)
{
    if (block.size() < 7)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(block.constData());
    AesExtra aes;
    aes.version = Le16(p);
    aes.strength = p[4];
    aes.method = Le16(p + 5);
    if ((aes.version != 1 && aes.version != 2) || p[2] != 'A' || p[3] != 'E' || aes.strength < 1 || aes.strength > 3)
        return std::nullopt;
    return aes;
}

bool ParseLocalHeader(const unsigned char* p, LocalHeader& out)
{
    if (Le32(p) != kLocalSignature)
        return false;
    out.versionNeeded = Le16(p + 4);
    out.flags = Le16(p + 6);
    out.method = Le16(p + 8);
    out.dosTime = Le16(p + 10);
    out.dosDate = Le16(p + 12);
    out.crc = Le32(p + 14);
    out.packedSize = Le32(p + 18);
    out.unpackedSize = Le32(p + 22);
    out.nameLength = Le16(p + 26);
    out.extraLength = Le16(p + 28);
    return true;
}

void ApplyLocalZip64(const unsigned char* extra, size_t length, LocalHeader& header)
{
    const auto block = FindExtraBlock(extra, length, kExtraZip64);
    if (!block)
        return;
    const auto* d = reinterpret_cast<const unsigned char*>(block->constData());
    const size_t size = size_t(block->size());
    const bool unpackedSaturated = header.unpackedSize == 0xFFFFFFFFu;
    const bool packedSaturated = header.packedSize == 0xFFFFFFFFu;
    if (size >= 16) {
        // The local block holds both sizes whenever it holds one.
        if (unpackedSaturated)
            header.unpackedSize = Le64(d);
        if (packedSaturated)
            header.packedSize = Le64(d + 8);
    } else if (size >= 8) {
        if (unpackedSaturated)
            header.unpackedSize = Le64(d);
        else if (packedSaturated)
            header.packedSize = Le64(d);
    }
}

std::optional<QByteArray> FindExtraBlock(const unsigned char* extra, size_t length, uint16_t id)
{
    size_t pos = 0;
    while (pos + 4 <= length) {
        const uint16_t blockId = Le16(extra + pos);
        const size_t blockLength = Le16(extra + pos + 2);
        if (pos + 4 + blockLength > length)
            return std::nullopt;
        if (blockId == id)
            return QByteArray(reinterpret_cast<const char*>(extra + pos + 4), qsizetype(blockLength));
        pos += 4 + blockLength;
    }
    return std::nullopt;
}

ExtendedTimes ParseExtendedTimes(const QByteArray& block)
{
    ExtendedTimes times;
    if (block.isEmpty())
        return times;
    const auto* d = reinterpret_cast<const unsigned char*>(block.constData());
    const uint8_t flags = d[0];
    size_t pos = 1;
    const size_t size = size_t(block.size());
    auto take = [&](uint8_t bit, std::optional<uint32_t>& field) {
        if ((flags & bit) && pos + 4 <= size) {
            field = Le32(d + pos);
            pos += 4;
        }
    };
    take(1, times.modified);
    take(2, times.accessed);
    take(4, times.created);
    return times;
}

QDateTime DosToDateTime(uint16_t date, uint16_t time)
{
    const QDate day(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F);
    const int hour = time >> 11;
    const int minute = (time >> 5) & 0x3F;
    const int second = (time & 0x1F) * 2;
    if (!day.isValid() || hour > 23 || minute > 59 || second > 59)
        return QDateTime();
    return QDateTime(day, QTime(hour, minute, second), QTimeZone::utc());
}

QDateTime UnixToDateTime(uint32_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc());
}

uint32_t MapExternalAttributes(uint32_t external)
{
    uint32_t attributes = 0x80; // normal
    if (external & 0x40000000u || external & 0x10u)
        attributes = 0x90; // directory (and normal)
    attributes |= external & (0x20u | 0x02u | 0x01u | 0x04u);
    return attributes;
}

QString DecodeCp437(const QByteArray& raw)
{
    QString text(raw.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const auto byte = static_cast<unsigned char>(raw.at(i));
        out[i] = byte < 0x80 ? QChar(char16_t(byte)) : QChar(kCp437High[byte - 0x80]);
    }
    return text;
}

QString ParseUnicodePath(const QByteArray& block, const QByteArray& storedName)
{
    if (block.size() < 5 || block.at(0) != 1)
        return QString();
    const auto* d = reinterpret_cast<const unsigned char*>(block.constData());
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(storedName.constData()), uInt(storedName.size()));
    if (Le32(d + 1) != uint32_t(crc))
        return QString();
    const std::optional<QString> name = DecodeUtf8(block.mid(5));
    if (!name || name->isEmpty())
        return QString();
    return *name;
}

std::optional<QByteArray> NameEncodingByName(const QString& name)
{
    const NameEncoding* encoding = FindEncoding(name.trimmed().toLatin1());
    if (!encoding)
        return std::nullopt;
    return QByteArray(encoding->decoder);
}

QStringList NameEncodingNames()
{
    QStringList names;
    for (const NameEncoding& encoding : kNameEncodings)
        names.append(QLatin1String(*encoding.aliases.begin()));
    return names;
}

QByteArray DetectNameEncoding(const QByteArray& names)
{
    if (!HasHighByte(names))
        return QByteArray();
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, DetectorDeleter> detector(uchardet_new());
    if (!detector || uchardet_handle_data(detector.get(), names.constData(), size_t(names.size())) != 0)
        return QByteArray();
    uchardet_data_end(detector.get());
    const char* found = uchardet_get_charset(detector.get());
    const NameEncoding* encoding = found ? FindEncoding(QByteArrayView(found)) : nullptr;
    return encoding ? QByteArray(encoding->decoder) : QByteArray();
}

bool HasHighByte(const QByteArray& raw)
{
    return std::any_of(raw.cbegin(), raw.cend(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::optional<QString> DecodeUtf8(const QByteArray& raw)
{
    // Keep a leading byte-order mark: the name is kept whole.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(raw);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString DecodeInEncoding(const QByteArray& raw, const QByteArray& encoding)
{
    if (!encoding.isEmpty() && encoding != "IBM437") {
        QStringDecoder decoder(encoding.constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            QString text = decoder.decode(raw);
            // Bytes the code page does not define come out as replacement characters, C1 controls or private
            // use characters: not a name in this code page.
            const bool undefined = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
                const char16_t u = c.unicode();
                return u == QChar::ReplacementCharacter || (u >= 0x80 && u <= 0x9F) || (u >= 0xE000 && u <= 0xF8FF);
            });
            if (!decoder.hasError() && !undefined)
                return text;
        }
    }
    // Code page 437 maps every byte to its own character, so no two names become the same text.
    return DecodeCp437(raw);
}

QString DecodeName(const QByteArray& raw, uint16_t flags, const QString& unicodePath, const QByteArray& encoding,
                   bool forced)
{
    // Most names are plain ASCII, which reads the same in every encoding considered here; the Unicode
    // Path block may still hold the name an older tool could not store.
    const bool ascii = !HasHighByte(raw);
    if (flags & kFlagUtf8) {
        if (ascii)
            return QString::fromLatin1(raw);
        // Not UTF-8, whatever the flag claims: the bytes are kept, one character each.
        return DecodeUtf8(raw).value_or(DecodeCp437(raw));
    }
    QString stored;
    if (ascii) {
        stored = QString::fromLatin1(raw);
    } else {
        // A chosen code page wins over bytes that merely happen to be valid UTF-8.
        std::optional<QString> utf8 = forced ? std::nullopt : DecodeUtf8(raw);
        stored = utf8 ? std::move(*utf8) : DecodeInEncoding(raw, encoding);
    }
    if (unicodePath.isNull())
        return stored;
    // The block is trusted no more than the stored name: a stored name that leads outside or holds a
    // control character stays, so the entry is refused whatever the block says.
    QStringList parts;
    if (zelvano::pathrules::SplitEntryName(stored, parts) != zelvano::pathrules::NameCheck::Relative)
        return stored;
    return unicodePath;
}

} // namespace zelvano::zip
