// Where a scan spends its time, step by step, over the archives of a folder tree:
//   bench_scan FOLDER
// Prints microseconds per archive for the walk alone, the examination (one open: the open test and the
// listing) and the record made from it, by archive type, and the whole scan with the examination on a
// second thread and in the walk's own. bench_scan.sh runs it after the end-to-end comparison.

#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "scan/examine.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"

#include <cstdio>
#include <ctime>
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

double CpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
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
        QList<CXExamination> found;
        found.reserve(paths.size());
        const double examine =
            MicrosPer(paths, [&](const QString& p) { found.append(ExamineArchiveFile(settings, p, patterns, true)); });
        qsizetype i = 0;
        const double record = MicrosPer(paths, [&](const QString&) {
            CXArchiveFile a;
            a.InitFromExamination(found.at(i++));
        });
        std::printf("%s: %lld archives; per archive: examination (one open) %.1f us, record %.1f us\n", names[type],
                    static_cast<long long>(paths.size()), examine, record);
    }

    // The whole scan, with and without the second thread.
    for (const bool ahead : {true, false}) {
        CXArchiveList list;
        list.m_pSettings = &settings;
        list.SetImagePatterns(patterns);
        list.m_bExamineAhead = ahead;
        CXRunControl run;
        run.Start();
        const double cpu = CpuSeconds();
        clock.restart();
        list.StartScan(root, run);
        std::printf(
            "scan, examination %s: %lld archives in %.1f ms (%.1f ms CPU)\n",
            ahead ? "on a second thread" : "in the walk's thread",
            static_cast<long long>(list.m_arrArchives.size() + list.m_arrSkipped.size() + list.m_arrInvalid.size()),
            double(clock.nsecsElapsed()) / 1e6, (CpuSeconds() - cpu) * 1000.0);
    }
    return 0;
}
