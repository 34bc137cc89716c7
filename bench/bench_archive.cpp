// Archive access throughput, driven by bench_archive.sh:
//   bench_archive list DIR                 lists every .zip and .rar below DIR
//   bench_archive extract zip|rar DIR OUT  extracts every entry of every archive below DIR into OUT/<archive>/
// Each prints one line per format: "<format> <count> <seconds>", the count being entries (list) or bytes
// written (extract). Only the archive work is timed, not the start of this program.

#include "archive/rar.h"
#include "archive/zip.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {

QStringList FindArchives(const QString& root, const QString& suffix)
{
    QStringList found;
    QDirIterator it(root, {QStringLiteral("*.") + suffix}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

void Report(const char* format, qint64 count, const QElapsedTimer& timer)
{
    std::printf("%s %lld %.6f\n", format, static_cast<long long>(count), double(timer.nsecsElapsed()) / 1e9);
}

int ListZip(const QStringList& archives)
{
    qint64 entries = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : archives) {
        ZipHandlePtr zip(ZipOpen(path));
        if (!zip) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
            return 1;
        }
        ZipEntry entry;
        if (ZipGetEntry(zip.get(), -1, entry) != ZIPRES_OK)
            return 1;
        const int32_t count = entry.m_nIndex;
        for (int32_t i = 0; i < count; ++i) {
            if (ZipGetEntry(zip.get(), i, entry) != ZIPRES_OK)
                return 1;
            ++entries;
        }
    }
    Report("zip", entries, timer);
    return 0;
}

int ListRar(const QStringList& archives)
{
    qint64 entries = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : archives) {
        const int r = RarListArchive(path, [&](const RarEntry&) {
            ++entries;
            return true;
        });
        if (r != RarSuccess) {
            std::fprintf(stderr, "cannot list %s: %d\n", qPrintable(path), r);
            return 1;
        }
    }
    Report("rar", entries, timer);
    return 0;
}

QString OutputFolder(const QString& out, const QString& archive)
{
    const QString folder = QDir(out).filePath(QFileInfo(archive).completeBaseName());
    QDir().mkpath(folder);
    return folder;
}

int ExtractZip(const QStringList& archives, const QString& out)
{
    qint64 bytes = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : archives) {
        const QDir folder(OutputFolder(out, path));
        ZipHandlePtr zip(ZipOpen(path));
        if (!zip)
            return 1;
        ZipEntry entry;
        if (ZipGetEntry(zip.get(), -1, entry) != ZIPRES_OK)
            return 1;
        const int32_t count = entry.m_nIndex;
        for (int32_t i = 0; i < count; ++i) {
            if (ZipGetEntry(zip.get(), i, entry) != ZIPRES_OK)
                return 1;
            if (entry.IsDirectory())
                continue;
            const int32_t r = ZipExtractEntry(zip.get(), i, folder.filePath(entry.m_szName));
            if (r != ZIPRES_OK) {
                std::fprintf(stderr, "%s: %s: %s\n", qPrintable(path), qPrintable(entry.m_szName), ZipResultName(r));
                return 1;
            }
            bytes += entry.m_nUnpackedSize;
        }
    }
    Report("zip", bytes, timer);
    return 0;
}

int ExtractRar(const QStringList& archives, const QString& out)
{
    qint64 bytes = 0;
    int failures = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : archives) {
        const QDir folder(OutputFolder(out, path));
        const int r = RarExtractArchive(
            path,
            [&](const RarEntry& e) {
                if (e.isDirectory || e.isLink)
                    return RarExtractStep{};
                return RarExtractStep{RarExtractStep::Extract, folder.filePath(e.name)};
            },
            [&](const RarEntry& e, const QString&, int code) {
                if (code == RarSuccess)
                    bytes += qint64(e.unpackedSize);
                else
                    ++failures;
            });
        if (r != RarSuccess || failures) {
            std::fprintf(stderr, "cannot extract %s: %d\n", qPrintable(path), r);
            return 1;
        }
    }
    Report("rar", bytes, timer);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    if (args.size() == 2 && args[0] == QLatin1String("list")) {
        if (const int r = ListZip(FindArchives(args[1], QStringLiteral("zip"))))
            return r;
        return ListRar(FindArchives(args[1], QStringLiteral("rar")));
    }
    if (args.size() == 4 && args[0] == QLatin1String("extract")) {
        if (args[1] == QLatin1String("zip"))
            return ExtractZip(FindArchives(args[2], QStringLiteral("zip")), args[3]);
        if (args[1] == QLatin1String("rar"))
            return ExtractRar(FindArchives(args[2], QStringLiteral("rar")), args[3]);
    }
    std::fprintf(stderr, "usage: bench_archive list DIR | bench_archive extract zip|rar DIR OUT\n");
    return 2;
}
