#include "cli/clicommon.h"
#include "cli/commands.h"

#include "common/passwordstore.h"
#include "common/tasktimer.h"
#include "common/workerhost.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"
#include "scan/nottaken.h"
#include "scan/scanrunner.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"

#include <limits>
#include <mutex>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace std::chrono_literals;

namespace zelvano::cli {

namespace {

const QString kScanUsage =
    QStringLiteral("zelvano-cli scan [--report FILE] [--json] [--name-encoding NAME] [--password-file FILE] FOLDER");

// The scan worker's host on the command line. Runs on the worker thread and answers inline; when stderr is a
// terminal it redraws the live status line at most ten times a second. It reads the model only from the
// worker's thread, between examinations, so it never races the worker.
class CXCliScanHost final : public CXWorkerHost
{
public:
    CXCliScanHost(const CXArchiveList& list, QTextStream& err, bool live) : m_list(list), m_line(err), m_bLive(live)
    {
        m_clock.start();
    }

    void ScanProgress(const QString& folder) override
    {
        if (!m_bLive)
            return;
        m_strFolder = folder;
        Draw();
    }

    void StatusText(int line, const QString& text) override
    {
        (void)line;
        (void)text;
    }

    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        (void)fileName;
        (void)moreFollow;
        return DeleteAnswer::No;
    }
    void ShowDiskSpaceMessage(const QString& text) override { (void)text; }

    // No more drawing from now on; the line is erased.
    void Finish()
    {
        std::lock_guard lock(m_mutex);
        m_bLive = false;
        m_line.Clear();
    }

private:
    void Draw()
    {
        const qint64 now = m_clock.elapsed();
        if (m_nLastDraw >= 0 && now - m_nLastDraw < 100)
            return;
        m_nLastDraw = now;
        qint64 photos = 0;
        for (const CXArchiveFile& a : m_list.m_arrArchives)
            photos += a.m_nPhotoCount;
        const qint64 examined = m_list.m_arrArchives.size() + m_list.m_arrInvalid.size() + m_list.m_arrSkipped.size();
        const qint64 seconds = now / 1000;
        const QString text = QStringLiteral("%1 | %2 archives examined | %3 photos | %4:%5:%6")
                                 .arg(DisplayPath(m_strFolder))
                                 .arg(examined)
                                 .arg(photos)
                                 .arg(seconds / 3600)
                                 .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        std::lock_guard lock(m_mutex);
        if (m_bLive)
            m_line.Show(text);
    }

    const CXArchiveList& m_list;
    CXStatusLine m_line;
    std::mutex m_mutex;
    bool m_bLive;
    QElapsedTimer m_clock;
    qint64 m_nLastDraw = -1;
    QString m_strFolder;
};

// JSON numbers are signed here; a saturated sum shows as the largest one instead of a negative number.
qint64 JsonBytes(quint64 bytes)
{
    return qint64(qMin<quint64>(bytes, quint64(std::numeric_limits<qint64>::max())));
}

QJsonDocument ScanJson(const ScanReportFigures& f, const CXArchiveList& list)
{
    QJsonArray archives;
    for (const CXArchiveFile& a : list.m_arrArchives) {
        archives.append(QJsonObject{
            {QStringLiteral("path"), DisplayPath(a.m_strPath)},
            {QStringLiteral("type"), a.m_nArchiveType},
            {QStringLiteral("photos"), a.m_nPhotoCount},
            {QStringLiteral("smartMode"), a.m_nSmartMode},
            {QStringLiteral("folderCount"), a.m_nFolderCount},
            {QStringLiteral("photoBytes"), JsonBytes(a.m_nPhotoBytes)},
            {QStringLiteral("packedBytes"), JsonBytes(a.m_nPhotoPackedBytes)},
        });
    }
    QJsonArray invalid;
    for (const CXFileItem& item : list.m_arrInvalid)
        invalid.append(QJsonObject{{QStringLiteral("path"), DisplayPath(item.m_strPath)},
                                   {QStringLiteral("error"), item.m_nError},
                                   {QStringLiteral("reason"), InvalidArchiveReason(item)}});
    QJsonArray skipped;
    for (const QString& path : list.m_arrSkipped)
        skipped.append(DisplayPath(path));
    QJsonArray notTaken;
    for (const CXNotTaken& item : list.m_arrNotTaken)
        notTaken.append(QJsonObject{{QStringLiteral("path"), DisplayPath(item.m_strPath)},
                                    {QStringLiteral("reason"), item.m_strReason}});
    return QJsonDocument(QJsonObject{
        {QStringLiteral("scanPath"), DisplayPath(f.m_strScanPath)},
        {QStringLiteral("started"), f.m_tStarted},
        {QStringLiteral("finished"), f.m_tFinished},
        {QStringLiteral("elapsed"), f.m_strElapsed},
        {QStringLiteral("zipCount"), f.m_nZipCount},
        {QStringLiteral("rarCount"), f.m_nRarCount},
        {QStringLiteral("totalFound"), f.m_nTotalFound},
        {QStringLiteral("valid"), f.m_nValid},
        {QStringLiteral("invalid"), f.m_nInvalid},
        {QStringLiteral("skipped"), f.m_nSkipped},
        {QStringLiteral("totalPhotos"), f.m_nTotalPhotos},
        {QStringLiteral("photoBytes"), JsonBytes(f.m_nSizeOnDisk)},
        {QStringLiteral("archives"), archives},
        {QStringLiteral("invalidArchives"), invalid},
        {QStringLiteral("skippedArchives"), skipped},
        {QStringLiteral("notTaken"), notTaken},
    });
}

} // namespace

int RunScanCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    const QCommandLineOption reportOption(QStringLiteral("report"), QStringLiteral("Also write the scan report."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    parser.addOption(reportOption);
    parser.addOption(jsonOption);
    parser.addOption(QCommandLineOption(QLatin1String(kNameEncodingOption),
                                        QStringLiteral("The code page of ZIP entry names without the UTF-8 flag."),
                                        QStringLiteral("NAME")));
    parser.addOption(QCommandLineOption(QLatin1String(kPasswordFileOption),
                                        QStringLiteral("Passwords for encrypted archives, one per line."),
                                        QStringLiteral("FILE")));
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder to scan."));
    if (!ParseCommandArguments(parser, QStringLiteral("scan"), kScanUsage, args, err))
        return kExitUsage;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        err << "zelvano-cli scan: " << (positional.isEmpty() ? "no folder given" : "give exactly one folder") << "\n";
        err << "Usage: " << kScanUsage << "\n";
        return kExitUsage;
    }
    const QFileInfo folderInfo(positional.first());
    if (!folderInfo.exists()) {
        err << "zelvano-cli scan: " << positional.first() << ": no such folder\n";
        return kExitUsage;
    }
    if (!folderInfo.isDir()) {
        err << "zelvano-cli scan: " << positional.first() << ": not a folder\n";
        return kExitUsage;
    }
    const QString folder = QDir::cleanPath(folderInfo.absoluteFilePath());

    CXSettings settings;
    LoadStartupSettings(settings, err);
    if (!ApplyNameEncoding(parser, settings, QStringLiteral("scan"), err))
        return kExitUsage;
    QStringList passwordLines;
    if (!ReadPasswordFile(parser, QStringLiteral("scan"), passwordLines, err))
        return kExitUsage;
    CXPasswordStore passwords(passwordLines);

    CXArchiveList list;
    if (parser.isSet(QLatin1String(kPasswordFileOption)))
        list.m_pPasswords = &passwords;
    list.m_pSettings = &settings;
    list.SetImagePatterns(BuildImagePatternList(settings));
    CXCliScanHost host(list, err, StderrIsTerminal());
    list.m_pHost = &host;

    CXTaskTimer timer;
    CXInterruptGuard interrupt;
    timer.Start();
    bool interrupted = false;
    {
        CXScanRunner runner(list);
        runner.Start(folder);
        NotifyRunStarted();
        while (!runner.WaitFor(100ms)) {
            if (interrupt.Interrupted()) {
                interrupted = true;
                break;
            }
        }
        interrupted = interrupted || interrupt.Interrupted();
        if (interrupted)
            runner.Stop();
        // Leaving the scope joins the worker.
    }
    timer.Stop();
    host.Finish();
    if (interrupted)
        return kExitInterrupted;

    const QString elapsed = timer.GetElapsedText();
    const ScanReportFigures figures = MakeScanReportFigures(list, folder, timer.m_tStart, timer.m_tEnd, elapsed);
    int exitCode = kExitOk;
    const QString reportPath = parser.value(reportOption);
    if (!reportPath.isEmpty() && !WriteScanReport(reportPath, figures, list)) {
        err << "zelvano-cli scan: cannot write the report " << DisplayPath(reportPath) << "\n";
        exitCode = kExitFailure;
    }
    if (parser.isSet(jsonOption)) {
        out << ScanJson(figures, list).toJson(QJsonDocument::Indented);
    } else {
        for (const QString& line : ScanSummaryLines(figures))
            out << line << "\n";
        for (const CXArchiveFile& archive : list.m_arrArchives)
            out << ScanArchiveLine(archive) << "\n";
        // What the scan met but did not take, so nothing is missed without a word.
        for (const CXNotTaken& item : list.m_arrNotTaken)
            out << "Not taken: " << DisplayPath(item.m_strPath) << " (" << item.m_strReason << ")\n";
    }
    out.flush();
    return exitCode;
}

} // namespace zelvano::cli
