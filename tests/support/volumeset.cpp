#include "support/volumeset.h"

#include "support/rarwriter.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <zlib.h>

namespace zelvano::test {

bool HaveRarCommand()
{
    return !QStandardPaths::findExecutable(QStringLiteral("rar")).isEmpty();
}

QByteArray NoiseBytes(int size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = char(x >> 24);
    }
    return out;
}

QStringList MakeRarVolumeSet(const QString& folder, const QString& setName,
                             const QList<QPair<QString, QByteArray>>& files, int volumeKiB)
{
    QTemporaryDir source;
    if (!source.isValid() || !QDir().mkpath(folder))
        return {};
    QStringList names;
    for (const auto& [name, bytes] : files) {
        if (!WriteFile(source.filePath(name), bytes))
            return {};
        names << name;
    }
    const QString archive = QDir(folder).filePath(setName + QStringLiteral(".rar"));
    QStringList args{QStringLiteral("a"),   QStringLiteral("-idq"), QStringLiteral("-y"),
                     QStringLiteral("-m0"), QStringLiteral("-ma5"), QStringLiteral("-v%1k").arg(volumeKiB)};
    QProcess rar;
    rar.setWorkingDirectory(source.path());
    rar.start(QStringLiteral("rar"), args + QStringList{archive} + names);
    if (!rar.waitForFinished(60000) || rar.exitStatus() != QProcess::NormalExit || rar.exitCode() != 0)
        return {};
    // The volumes rar wrote, in order: their names sort as they follow one another.
    QDir dir(folder);
    QStringList volumes;
    for (const QString& name : dir.entryList({setName + QStringLiteral(".part*.rar")}, QDir::Files, QDir::Name))
        volumes << dir.filePath(name);
    return volumes;
}

namespace {

// Sets the flags of the RAR4 block at `at` (`size` bytes long) and its header checksum.
void SetRar4BlockFlags(QByteArray& bytes, qsizetype at, qsizetype size, quint16 flags)
{
    bytes[at + 3] = char(flags & 0xff);
    bytes[at + 4] = char(flags >> 8);
    const QByteArray header = bytes.mid(at + 2, size - 2);
    const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(header.constData()), uInt(header.size())));
    bytes[at] = char(crc & 0xff);
    bytes[at + 1] = char((crc >> 8) & 0xff);
}

} // namespace

QStringList WriteOldStyleVolumeSet(const QString& folder, const QString& setName,
                                   const QList<QList<QPair<QString, QByteArray>>>& volumes)
{
    constexpr quint16 kVolume = 0x0001;      // main header: a volume of a set
    constexpr quint16 kFirstVolume = 0x0100; // main header: its first volume
    constexpr quint16 kNextVolume = 0x0001;  // end header: another volume follows
    constexpr qsizetype kMainAt = 7, kMainSize = 13, kEndSize = 7;
    QStringList paths;
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        QList<CraftEntry> entries;
        for (const auto& [name, bytes] : volumes.at(i))
            entries.append({name.toUtf8(), 3, 0100644, false, bytes});
        QByteArray bytes = CraftRar4(entries);
        SetRar4BlockFlags(bytes, kMainAt, kMainSize, kVolume | (i == 0 ? kFirstVolume : 0));
        if (i + 1 < volumes.size())
            SetRar4BlockFlags(bytes, bytes.size() - kEndSize, kEndSize, kNextVolume);
        const QString extension =
            i == 0 ? QStringLiteral(".rar") : QStringLiteral(".r%1").arg(i - 1, 2, 10, QLatin1Char('0'));
        const QString path = QDir(folder).filePath(setName + extension);
        if (!WriteFile(path, bytes))
            return {};
        paths << path;
    }
    return paths;
}

} // namespace zelvano::test
