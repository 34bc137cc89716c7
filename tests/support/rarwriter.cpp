#include "support/rarwriter.h"

#include <zlib.h>

namespace zelvano::test {

namespace {

quint32 Crc32(const QByteArray& bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

void Put16(QByteArray& b, quint32 v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

void Put32(QByteArray& b, quint32 v)
{
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

void PutVint(QByteArray& b, quint64 v)
{
    do {
        char c = char(v & 0x7f);
        v >>= 7;
        if (v)
            c = char(c | 0x80);
        b.append(c);
    } while (v);
}

} // namespace

// RAR 1.5-4.x layout: marker, main header, one file header per entry (method "store"), end header.
QByteArray CraftRar4(const QList<CraftEntry>& entries)
{
    auto block = [](quint8 type, quint32 flags, const QByteArray& rest) {
        QByteArray h;
        h.append(char(type));
        Put16(h, flags);
        Put16(h, quint32(2 + h.size() + 2 + rest.size())); // crc + type/flags + size + rest
        h += rest;
        QByteArray out;
        Put16(out, Crc32(h) & 0xffff);
        return out + h;
    };
    QByteArray out("Rar!\x1a\x07\x00", 7);
    out += block(0x73, 0, QByteArray(6, '\0'));
    for (const CraftEntry& e : entries) {
        const quint64 unp = e.unpackedSize ? e.unpackedSize : quint64(e.data.size());
        const bool large = (unp >> 32) != 0 || e.packHigh != 0;
        quint32 flags = 0x8000; // data size field present
        if (large)
            flags |= 0x0100;
        if (e.directory)
            flags |= 0x00e0;
        QByteArray rest;
        Put32(rest, quint32(e.data.size()));
        Put32(rest, quint32(unp));
        rest.append(char(e.hostOs));
        Put32(rest, Crc32(e.data));
        Put32(rest, 0x5a8e3c21); // 2025-04-14 07:33:02 in DOS form, any valid time will do
        rest.append(char(20));   // version needed: 2.0
        rest.append(char(0x30)); // method: store
        Put16(rest, quint32(e.name.size()));
        Put32(rest, e.attributes);
        if (large) {
            Put32(rest, e.packHigh);
            Put32(rest, quint32(unp >> 32));
        }
        rest += e.name;
        out += block(0x74, flags, rest) + e.data;
    }
    out += block(0x7b, 0, {});
    return out;
}

// RAR5 layout: signature, main header, file headers (stored, CRC-32 present), end header.
QByteArray CraftRar5(const QList<CraftEntry>& entries)
{
    auto header = [](const QByteArray& body) {
        QByteArray sized;
        PutVint(sized, quint64(body.size()));
        sized += body;
        QByteArray out;
        Put32(out, Crc32(sized));
        return out + sized;
    };
    QByteArray out("Rar!\x1a\x07\x01\x00", 8);
    out += header(QByteArray("\x01\x00\x00", 3));
    for (const CraftEntry& e : entries) {
        QByteArray body;
        PutVint(body, 2);                      // file header
        PutVint(body, e.directory ? 0 : 0x02); // data area present
        if (!e.directory)
            PutVint(body, quint64(e.data.size()));
        PutVint(body, (e.directory ? 0x01 : 0) | 0x04); // directory, CRC-32 present
        PutVint(body, e.unpackedSize ? e.unpackedSize : quint64(e.data.size()));
        PutVint(body, e.attributes);
        Put32(body, Crc32(e.data));
        PutVint(body, 0); // version 0, store
        PutVint(body, e.hostOs == 3 ? 1 : 0);
        PutVint(body, quint64(e.name.size()));
        body += e.name;
        out += header(body) + e.data;
    }
    out += header(QByteArray("\x05\x00\x00", 3));
    return out;
}

} // namespace zelvano::test
