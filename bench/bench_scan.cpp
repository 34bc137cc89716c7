// Where a scan spends its time, step by step, over the archives of a folder tree:
//   bench_scan FOLDER
// Prints microseconds per archive for the walk alone, the open test, the examination and the record, by
// archive type. bench_scan.sh runs it after the end-to-end comparison.

#include "scan/archivelist.h"
#include "scan/examine.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"

#include <cstdio>
#include <functional>
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>

namespace {

double MicrosPer(const QStringList& paths, const std::function<void(const QString&)>& step)
{
    if (paths.isEmpty())
        return 0;
    QElapsedTimer clock;
    clock.start();
    for (const QString& path : paths)
        step(path);
    return double(clock.nsecsElapsed()) / 1000.0 / double(paths.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_scan FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    QElapsedTimer clock;
    clock.start();
    QStringList byType[2];
    qint64 entries = 0;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ++entries;
        const int type = GetArchiveType(path);
        if (type >= 0)
            byType[type] << path;
    }
    const double walkMs = double(clock.nsecsElapsed()) / 1e6;
    std::printf("walk: %lld entries in %.1f ms\n", static_cast<long long>(entries), walkMs);

    const CXSettings settings;
    const QString patterns = BuildImagePatternList(settings);
    const char* names[2] = {"ZIP", "RAR"};
    for (int type = 0; type < 2; ++type) {
        const QStringList& paths = byType[type];
        const double open = MicrosPer(paths, [](const QString& p) {
            int error = 0;
            CanOpenArchive(p, &error);
        });
        const double examine = MicrosPer(paths, [&](const QString& p) {
            int mode = 0;
            quint64 bytes = 0, packed = 0;
            int folders = 0;
            ExamineArchive(settings, p, patterns, mode, bytes, packed, folders);
        });
        const double record = MicrosPer(paths, [](const QString& p) {
            CXArchiveFile a;
            a.InitFromPath(p);
        });
        std::printf("%s: %lld archives; per archive: open test %.1f us, examination %.1f us, record %.1f us\n",
                    names[type], static_cast<long long>(paths.size()), open, examine, record);
    }
    return 0;
}
