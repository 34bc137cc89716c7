#pragma once

// RAR archives crafted byte by byte, for what the rar command cannot make here: archives made on other
// systems, RAR4 (rar 7 writes RAR5 only), forged sizes above 4 GiB without writing gigabytes, and any
// archive on a machine without rar.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace zelvano::test {

// One stored entry of a crafted archive.
struct CraftEntry
{
    QByteArray name; // stored name ("\" separators for RAR4, "/" for RAR5)
    quint32 hostOs = 2;
    quint32 attributes = 0x20;
    bool directory = false;
    QByteArray data;
    quint64 unpackedSize = 0; // 0: the size of data
    quint32 packHigh = 0;     // RAR4 only: high 32 bits of the packed size
};

// RAR 1.5-4.x layout: marker, main header, one file header per entry (method "store"), end header.
QByteArray CraftRar4(const QList<CraftEntry>& entries);
// RAR5 layout: signature, main header, file headers (stored, CRC-32 present), end header.
QByteArray CraftRar5(const QList<CraftEntry>& entries);

} // namespace zelvano::test
