// The desktop window under load, on the offscreen platform, with the settings in a temporary home:
//   zelvano-windowbench scan FOLDER   a scan from the window: wall and CPU seconds from the call that starts
//                                     it to the end of its handling (list built), the rows, and how long the
//                                     event loop went without running (a 5 ms timer's longest interval)
//   zelvano-windowbench rebuild N     the list rebuilt from N found-archive records (real small files, so
//                                     the row build reads real file information): seconds, and memory
//   zelvano-windowbench unpack FOLDER [LEVEL]
//                                     FOLDER scanned from the window (not timed), then every archive unpacked
//                                     into a folder of its own (validation LEVEL 1 to 3, by default the
//                                     settings' own; no deletion, no question, no results dialog): wall and CPU
//                                     seconds from StartUnpack to the end of its handling, and the stalls
// Each figure is one "name: value" line; bench_window.sh reads them.

#include "app/application.h"
#include "offscreenhome.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "ui/archivelistview.h"
#include "ui/mainwindow.h"
#include "ui/statusstrip.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>

namespace {

// The process's CPU seconds (every thread), or with thread set those of the calling thread alone.
double CpuSeconds(bool thread = false)
{
    rusage usage{};
    getrusage(thread ? RUSAGE_THREAD : RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The resident memory now (VmRSS), in MB; 0 when /proc cannot be read.
double CurrentRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// The kernel's peak may lag behind the last growth by a little: the larger of the two.
double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qMax(double(usage.ru_maxrss) / 1024.0, CurrentRssMb()); // kilobytes on Linux
}

// Scans folder from the window and returns once the scan's end handling is over; onEnd runs at that moment.
// False (said on stderr) when the scan did not start.
bool ScanFromWindow(CMainDialog& window, const QString& folder, const std::function<void()>& onEnd)
{
    bool ended = false;
    QEventLoop loop;
    QObject::connect(&window, &CMainDialog::scanEnded, &loop, [&] {
        ended = true;
        onEnd();
        loop.quit();
    });
    window.ScanFolderNow(QDir(folder).absolutePath());
    if (!ended && !window.IsScanning()) {
        std::fprintf(stderr, "zelvano-windowbench: the scan did not start\n");
        return false;
    }
    if (!ended)
        loop.exec();
    return true;
}

// The event loop's stalls: a 5 ms timer notes the longest interval between two of its ticks. A stall of
// the user-interface thread shows as one long interval.
class GapRecorder
{
public:
    GapRecorder()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Tick(); });
    }
    void Start()
    {
        m_clock.start();
        m_nLast = 0;
        m_timer.start(5);
    }
    // The stretch since the last tick counts too: a stall at the very end is a stall.
    void Stop()
    {
        Tick();
        m_timer.stop();
    }

    qint64 m_nLongest = 0;   // ns
    qint64 m_nLongestAt = 0; // ns since Start, where the longest interval ended
    int m_nOver100 = 0;
    int m_nTicks = 0;
    QStringList m_stalls; // each interval over 100 ms: its length and where it ended

private:
    void Tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 gap = now - m_nLast;
        m_nLast = now;
        ++m_nTicks;
        if (gap > 100'000'000) {
            ++m_nOver100;
            m_stalls.append(QStringLiteral("%1 ms ending at %2 s")
                                .arg(double(gap) / 1e6, 0, 'f', 1)
                                .arg(double(now) / 1e9, 0, 'f', 3));
        }
        if (gap > m_nLongest) {
            m_nLongest = gap;
            m_nLongestAt = now;
        }
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nLast = 0;
};

// Lets the window lay itself out and paint once.
void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

int Scan(const QString& folder)
{
    if (!QDir(folder).exists()) {
        std::fprintf(stderr, "zelvano-windowbench: %s is not a folder\n", qPrintable(folder));
        return 2;
    }
    CMainDialog window;
    window.Initialize();
    // The results dialog is modal and would wait for a click.
    window.Settings().m_bShowScanResults = 0;
    window.show();
    Settle();

    GapRecorder gaps;
    QElapsedTimer clock;
    double wall = -1, cpu = 0;
    const double cpuStart = CpuSeconds();
    gaps.Start();
    clock.start();
    const bool scanned = ScanFromWindow(window, folder, [&] {
        wall = double(clock.nsecsElapsed()) / 1e9;
        cpu = CpuSeconds() - cpuStart;
        gaps.Stop();
    });
    if (!scanned)
        return 1;

    std::printf("scan wall s: %.3f\n", wall);
    std::printf("scan CPU s: %.3f\n", cpu);
    std::printf("rows: %d\n", window.List()->RowCount());
    std::printf("longest gap ms: %.1f\n", double(gaps.m_nLongest) / 1e6);
    std::printf("longest gap ends at s: %.3f\n", double(gaps.m_nLongestAt) / 1e9);
    std::printf("gaps over 100 ms: %d\n", gaps.m_nOver100);
    std::printf("stalls: %s\n", qPrintable(gaps.m_stalls.join(QStringLiteral(", "))));
    std::printf("timer ticks: %d\n", gaps.m_nTicks);
    std::printf("peak RSS MB: %.1f\n", PeakRssMb());
    return 0;
}

int Rebuild(int count)
{
    // Small real files, about a hundred to a folder, one in six a RAR.
    QTemporaryDir files;
    if (!files.isValid()) {
        std::fprintf(stderr, "zelvano-windowbench: no temporary folder\n");
        return 1;
    }
    const QString root = files.path();
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/Album %2").arg(root).arg(i / 100, 4, 10, QLatin1Char('0'));
        if (i % 100 == 0)
            QDir().mkpath(folder);
        const QString path = QStringLiteral("%1/Photos_%2.%3")
                                 .arg(folder)
                                 .arg(i, 6, 10, QLatin1Char('0'))
                                 .arg(i % 6 == 5 ? QStringLiteral("rar") : QStringLiteral("zip"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(64 + i % 512, 'x')) < 0) {
            std::fprintf(stderr, "zelvano-windowbench: cannot write %s\n", qPrintable(path));
            return 1;
        }
        paths.append(path);
    }

    CMainDialog window;
    window.Initialize();
    window.show();
    Settle();
    const double rssEmpty = CurrentRssMb();

    CXArchiveList& archives = window.ArchivesForTest();
    archives.ResetForScan();
    for (int i = 0; i < count; ++i) {
        CXArchiveFile archive;
        archive.InitFromPath(paths.at(i));
        archive.m_nPhotoCount = 5 + i % 200;
        archive.m_nSmartMode = 1 + i % 2;
        archive.m_nFolderCount = i % 3;
        archive.m_nPhotoBytes = quint64(archive.m_nPhotoCount) * 2'400'000u;
        archive.m_nPhotoPackedBytes = archive.m_nPhotoBytes - archive.m_nPhotoBytes / 20;
        archives.AddArchive(archive);
        if (archive.m_nArchiveType == 1)
            ++archives.m_nRarCount;
        else
            ++archives.m_nZipCount;
    }
    window.List()->SetSourceFolder(root);
    const double rssRecords = CurrentRssMb();

    QElapsedTimer clock;
    clock.start();
    const int rows = window.List()->RebuildList(true);
    const double rebuild = double(clock.nsecsElapsed()) / 1e9;
    clock.restart();
    Settle();
    const double settle = double(clock.nsecsElapsed()) / 1e9;

    std::printf("records: %d\n", count);
    std::printf("rows: %d\n", rows);
    std::printf("rebuild s: %.3f\n", rebuild);
    std::printf("paint after s: %.3f\n", settle);
    std::printf("RSS window MB: %.1f\n", rssEmpty);
    std::printf("RSS with records MB: %.1f\n", rssRecords);
    std::printf("RSS with rows MB: %.1f\n", CurrentRssMb());
    std::printf("peak RSS MB: %.1f\n", PeakRssMb());
    return rows == count ? 0 : 1;
}

// Any modal box during an unpack run would wait for a click for ever: the run is set up so that none shows,
// and one that does anyway is named, closed and makes the run count as failed.
class ModalWatch
{
public:
    ModalWatch()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            const auto* box = qobject_cast<QMessageBox*>(modal);
            std::fprintf(stderr, "zelvano-windowbench: a modal window showed (%s): %s\n",
                         qPrintable(modal->objectName()), box ? qPrintable(box->text()) : "");
            m_bSeen = true;
            modal->close();
        });
        m_timer.start(50);
    }
    bool m_bSeen = false;

private:
    QTimer m_timer;
};

int Unpack(const QString& folder, int level)
{
    if (!QDir(folder).exists()) {
        std::fprintf(stderr, "zelvano-windowbench: %s is not a folder\n", qPrintable(folder));
        return 2;
    }
    CMainDialog window;
    window.Initialize();
    CXSettings& settings = window.Settings();
    settings.m_bShowScanResults = 0;
    settings.m_bShowUnpackResults = 0;
    settings.m_nAfterExtraction = AfterDoNothing;
    settings.m_bConfirmDelete = 0;
    settings.m_nExtractTo = ExtractToFolder;
    if (level > 0)
        settings.m_nValidationLevel = level - 1; // the stored values count from 0
    window.show();
    Settle();
    ModalWatch modals;

    // The scan, not timed.
    QElapsedTimer clock;
    double scanWall = -1;
    clock.start();
    if (!ScanFromWindow(window, folder, [&] { scanWall = double(clock.nsecsElapsed()) / 1e9; }))
        return 1;
    window.List()->CheckAll(true);
    const int rows = window.List()->RowCount();
    const int checked = window.List()->CountChecked().m_nRows;
    if (checked == 0) {
        std::fprintf(stderr, "zelvano-windowbench: no archive to unpack in %s\n", qPrintable(folder));
        return 1;
    }
    Settle();

    GapRecorder gaps;
    double wall = -1, cpu = 0, cpuStart = 0, uiCpu = 0, uiCpuStart = 0;
    QEventLoop loop;
    QObject::connect(&window, &CMainDialog::unpackEnded, &loop, [&] {
        wall = double(clock.nsecsElapsed()) / 1e9;
        cpu = CpuSeconds() - cpuStart;
        uiCpu = CpuSeconds(true) - uiCpuStart;
        gaps.Stop();
        loop.quit();
    });
    cpuStart = CpuSeconds();
    uiCpuStart = CpuSeconds(true);
    gaps.Start();
    clock.start();
    window.StartUnpack();
    if (wall < 0 && !window.IsUnpacking()) {
        std::fprintf(stderr, "zelvano-windowbench: the unpack run did not start\n");
        return 1;
    }
    if (wall < 0)
        loop.exec();

    qint64 extracted = 0, skipped = 0, errors = 0;
    for (const CXArchiveFile& archive : window.Archives().m_arrArchives) {
        extracted += archive.m_nExtracted;
        skipped += archive.m_nSkipped;
        errors += archive.m_nErrors;
    }
    std::printf("scan wall s: %.3f\n", scanWall);
    std::printf("rows: %d\n", rows);
    std::printf("checked: %d\n", checked);
    std::printf("validation level: %d\n", int(settings.m_nValidationLevel) + 1);
    std::printf("unpack wall s: %.3f\n", wall);
    std::printf("unpack CPU s: %.3f\n", cpu);
    std::printf("user-interface thread CPU s: %.3f\n", uiCpu);
    std::printf("pictures extracted: %lld\n", extracted);
    std::printf("pictures skipped: %lld\n", skipped);
    std::printf("errors: %lld\n", errors);
    std::printf("status: %s\n", qPrintable(window.StatusStrip()->MainText()));
    std::printf("longest gap ms: %.1f\n", double(gaps.m_nLongest) / 1e6);
    std::printf("longest gap ends at s: %.3f\n", double(gaps.m_nLongestAt) / 1e9);
    std::printf("gaps over 100 ms: %d\n", gaps.m_nOver100);
    std::printf("stalls: %s\n", qPrintable(gaps.m_stalls.join(QStringLiteral(", "))));
    std::printf("timer ticks: %d\n", gaps.m_nTicks);
    std::printf("peak RSS MB: %.1f\n", PeakRssMb());
    return modals.m_bSeen ? 1 : 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: zelvano-windowbench scan FOLDER\n"
                         "       zelvano-windowbench rebuild N\n"
                         "       zelvano-windowbench unpack FOLDER [LEVEL]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[1], "unpack") != 0))
        return Usage();
    // The settings the window loads and saves live in a home of their own, never the user's.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "zelvano-windowbench: no temporary folder\n");
        return 1;
    }
    UseOffscreenHome(home.path());

    QApplication app(argc, argv);
    SetupApplication(app);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString argument = QString::fromLocal8Bit(argv[2]);
    if (mode == QLatin1String("scan"))
        return Scan(argument);
    if (mode == QLatin1String("rebuild")) {
        bool ok = false;
        const int count = argument.toInt(&ok);
        return ok && count > 0 ? Rebuild(count) : Usage();
    }
    if (mode == QLatin1String("unpack")) {
        int level = 0;
        if (argc == 4) {
            bool ok = false;
            level = QString::fromLocal8Bit(argv[3]).toInt(&ok);
            if (!ok || level < 1 || level > 3)
                return Usage();
        }
        return Unpack(argument, level);
    }
    return Usage();
}
