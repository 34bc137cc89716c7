// bench_unpack: the helper of bench_unpack.sh.
//
//   bench_unpack rar4 ARCHIVE BASE FILE...
//
// Writes a RAR 1.5-4.x archive of stored entries, as an archiver on Windows would: the rar of Debian 12
// (7.x) no longer writes RAR4, and the benchmark needs such archives beside RAR5 ones. Entry names are the
// files' paths below BASE with "\" separators.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <zlib.h>

namespace {

void Put16(QByteArray& b, quint32 v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

void Put32(QByteArray& b, quint32 v)
{
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

quint32 Crc32(const QByteArray& bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray Block(quint8 type, quint32 flags, const QByteArray& rest)
{
    QByteArray h;
    h.append(char(type));
    Put16(h, flags);
    Put16(h, quint32(2 + 1 + 2 + 2 + rest.size()));
    h += rest;
    QByteArray out;
    Put16(out, Crc32(h) & 0xffff);
    return out + h;
}

int WriteRar4(const QString& archive, const QString& base, const QStringList& files, QTextStream& err)
{
    QFile out(archive);
    if (!out.open(QIODevice::WriteOnly)) {
        err << "bench_unpack: cannot write " << archive << "\n";
        return 1;
    }
    out.write(QByteArray("Rar!\x1a\x07\x00", 7));
    out.write(Block(0x73, 0, QByteArray(6, '\0')));
    const QDir baseDir(base);
    for (const QString& path : files) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly) || in.size() > 0x7fffffff) {
            err << "bench_unpack: cannot read " << path << "\n";
            return 1;
        }
        const QByteArray data = in.readAll();
        const QByteArray name = baseDir.relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('\\')).toUtf8();
        QByteArray rest;
        Put32(rest, quint32(data.size()));
        Put32(rest, quint32(data.size()));
        rest.append(char(2)); // made on Windows
        Put32(rest, Crc32(data));
        Put32(rest, 0x5a8e3c21); // a DOS date and time in 2025
        rest.append(char(20));   // version needed: 2.0
        rest.append(char(0x30)); // method: store
        Put16(rest, quint32(name.size()));
        Put32(rest, 0x20); // archive attribute
        rest += name;
        out.write(Block(0x74, 0x8000, rest));
        out.write(data);
    }
    out.write(Block(0x7b, 0, {}));
    return out.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() >= 3 && args.at(0) == QLatin1String("rar4"))
        return WriteRar4(args.at(1), args.at(2), args.mid(3), err);
    err << "Usage: bench_unpack rar4 ARCHIVE BASE FILE...\n";
    return 2;
}
