#pragma once

// RAR volume sets made with the rar command, for the tests of sets read, unpacked and deleted whole.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zelvano::test {

// True when the rar command is on the PATH.
bool HaveRarCommand();

// Writes files (relative names and contents) into a scratch folder and packs them stored (RAR5), into
// volumes of volumeKiB KiB: folder/setName.part1.rar, ... Returns the volumes in order (full paths), empty
// on any failure.
QStringList MakeRarVolumeSet(const QString& folder, const QString& setName,
                             const QList<QPair<QString, QByteArray>>& files, int volumeKiB);

// An old-style RAR4 set (rar 7 writes neither RAR4 nor these names), crafted: folder/setName.rar,
// setName.r00, setName.r01, ..., one volume per list of files, no file split over two volumes.
// Returns the volumes in order (full paths), empty on any failure.
QStringList WriteOldStyleVolumeSet(const QString& folder, const QString& setName,
                                   const QList<QList<QPair<QString, QByteArray>>>& volumes);

// Bytes that do not compress, so a set of a known size spans several volumes.
QByteArray NoiseBytes(int size, quint32 seed);

} // namespace zelvano::test
