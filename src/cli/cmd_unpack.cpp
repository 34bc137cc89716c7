#include "cli/clicommon.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/targets.h"

#include "common/format.h"
#include "common/passwordstore.h"
#include "common/tasktimer.h"
#include "common/workerhost.h"
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "scan/nottaken.h"
#include "scan/scanrunner.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "takeout/exportname.h"
#include "unpack/deferreddelete.h"
#include "unpack/destination.h"
#include "unpack/extract.h"
#include "unpack/imagecheck.h"
#include "unpack/unpackprogress.h"
#include "unpack/unpackresults.h"
#include "unpack/unpackrun.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <mutex>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;

namespace zelvano::cli {

namespace {

const CommandDoc& UnpackDoc()
{
    return *FindCommandDoc(QStringLiteral("unpack"));
}

// Exit code of a run that did not start for want of space, or that a question cancelled.
constexpr int kExitCancelled = 3;

bool StdinIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(fileno(stdin)) != 0;
#endif
}

// Reads one line from stdin. False at the end of input, or when interrupted says so while waiting
// (Ctrl-C must not wait for a line the user will never type).
bool ReadAnswerLine(QString& line, const std::function<bool()>& interrupted)
{
#ifndef _WIN32
    for (;;) {
        if (interrupted())
            return false;
        pollfd fd{fileno(stdin), POLLIN, 0};
        const int ready = poll(&fd, 1, 100);
        if (ready > 0)
            break;
        if (ready < 0 && errno != EINTR)
            return false;
    }
#endif
    char buffer[256];
    if (!std::fgets(buffer, sizeof buffer, stdin))
        return false;
    line = QString::fromLocal8Bit(buffer).trimmed();
    return true;
}

// Settings overrides of this run, by option value.
struct Choice
{
    const char* text;
    int value;
};

bool PickChoice(const QString& given, std::initializer_list<Choice> choices, qint32& target)
{
    for (const Choice& c : choices) {
        if (given == QLatin1String(c.text)) {
            target = c.value;
            return true;
        }
    }
    return false;
}

// The hosts of both workers on the command line. Calls come from the worker thread and are answered
// inline; the live line goes to stderr only when it is a terminal, at most ten times a second.
class CXCliUnpackHost final : public CXWorkerHost
{
public:
    CXCliUnpackHost(const CXArchiveList& list, QTextStream& err, bool live, bool yes, bool recycle,
                    std::function<bool()> interrupted)
        : m_list(list), m_err(err), m_line(err), m_bLive(live), m_bYes(yes), m_bRecycle(recycle),
          m_fnInterrupted(std::move(interrupted))
    {
        m_clock.start();
    }

    void SetTotals(int archives, qint64 pictures, quint64 pictureBytes)
    {
        m_progress.SetTotals(archives, pictures, pictureBytes);
    }

    // The scan.
    void ScanProgress(const QString& folder) override
    {
        if (m_bLive && Due())
            Show(QStringLiteral("Scanning %1").arg(DisplayPath(folder)));
    }

    // The unpack run.
    void EnsureArchiveVisible(int archiveIndex) override
    {
        m_nArchiveIndex = archiveIndex;
        if (archiveIndex >= 0 && archiveIndex < m_list.m_arrArchives.size()) {
            const CXArchiveFile& a = m_list.m_arrArchives.at(archiveIndex);
            m_progress.ArchiveStarted(a.m_strFileName, a.m_nPhotoCount, a.m_nPhotoBytes);
        } else {
            m_progress.ArchiveStarted(QString(), 0, 0);
        }
        Draw(true);
    }
    void StatusText(int line, const QString& text) override
    {
        // Each entry written or skipped names itself; an empty text only clears the line.
        if (line == 1 && !text.isEmpty()) {
            m_progress.EntryStarted(text);
            Draw(false);
        }
    }
    void EntryProgress(qint64 bytesDone, qint64 bytesTotal) override
    {
        (void)bytesTotal;
        m_progress.EntryBytes(bytesDone);
        Draw(false);
    }
    void StepProgress() override
    {
        // The archive's figures are stored by now; this thread wrote them.
        quint64 bytes = 0;
        if (m_nArchiveIndex >= 0 && m_nArchiveIndex < m_list.m_arrArchives.size())
            bytes = m_list.m_arrArchives.at(m_nArchiveIndex).m_nBytesOnDisk;
        m_progress.ArchiveFinished(bytes);
        Draw(false);
    }

    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        if (m_bYes)
            return DeleteAnswer::Yes;
        // Nobody to ask: nothing is deleted without consent.
        if (m_bInputEnded || !StdinIsTerminal())
            return DeleteAnswer::No;
        Clear();
        // Said the way a terminal is used: where the archive goes, and the letter that cancels.
        QString question =
            m_bRecycle ? QStringLiteral("Move the archive '%1' to the trash?").arg(fileName)
                       : QStringLiteral("Delete the archive '%1' permanently? It cannot be restored.").arg(fileName);
        if (moreFollow)
            question += QStringLiteral("\nType c to cancel: the run ends and nothing more is unpacked.");
        const QString prompt = moreFollow ? QStringLiteral("(Y)es, Y(e)s to All, (N)o, N(o) to All, (C)ancel? ")
                                          : QStringLiteral("(Y)es, (N)o? ");
        {
            std::lock_guard lock(m_mutex);
            m_err << question << "\n";
        }
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                m_err << prompt;
                m_err.flush();
            }
            QString answer;
            if (!ReadAnswerLine(answer, m_fnInterrupted)) {
                // The end of input (Ctrl-D) answers this question and every later one: No.
                m_bInputEnded = true;
                std::lock_guard lock(m_mutex);
                m_err << "\n";
                m_err.flush();
                return DeleteAnswer::No;
            }
            answer = answer.toLower();
            if (answer == QLatin1String("y") || answer == QLatin1String("yes"))
                return DeleteAnswer::Yes;
            if (answer == QLatin1String("n") || answer == QLatin1String("no"))
                return DeleteAnswer::No;
            if (!moreFollow)
                continue;
            if (answer == QLatin1String("e") || answer == QLatin1String("yes to all"))
                return DeleteAnswer::YesToAll;
            if (answer == QLatin1String("o") || answer == QLatin1String("no to all"))
                return DeleteAnswer::NoToAll;
            if (answer == QLatin1String("c") || answer == QLatin1String("cancel"))
                return DeleteAnswer::Cancel;
        }
    }

    void ShowDiskSpaceMessage(const QString& text) override
    {
        Clear();
        std::lock_guard lock(m_mutex);
        m_err << text << "\n";
        m_err.flush();
    }

    // The question of the deletion at the end of the run (main thread, the worker has ended).
    bool ConfirmDeferred(const QString& question)
    {
        if (m_bYes)
            return true;
        if (m_bInputEnded || !StdinIsTerminal())
            return false;
        Clear();
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                m_err << question << "\n"
                      << (m_bRecycle ? "They will be moved to the trash." : "They will be deleted permanently.")
                      << "\n(Y)es, (N)o? ";
                m_err.flush();
            }
            QString answer;
            if (!ReadAnswerLine(answer, m_fnInterrupted)) {
                m_bInputEnded = true;
                return false;
            }
            answer = answer.toLower();
            if (answer == QLatin1String("y") || answer == QLatin1String("yes"))
                return true;
            if (answer == QLatin1String("n") || answer == QLatin1String("no"))
                return false;
        }
    }

    // No more drawing; the line is erased.
    void Finish()
    {
        Clear();
        std::lock_guard lock(m_mutex);
        m_bLive = false;
    }

private:
    bool Due()
    {
        const qint64 now = m_clock.elapsed();
        if (m_nLastDraw >= 0 && now - m_nLastDraw < 100)
            return false;
        m_nLastDraw = now;
        return true;
    }

    void Draw(bool force)
    {
        if (!m_bLive || (!Due() && !force))
            return;
        Show(m_progress.Text(m_clock.elapsed()));
    }

    void Show(const QString& text)
    {
        std::lock_guard lock(m_mutex);
        if (m_bLive)
            m_line.Show(text);
    }

    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_line.Clear();
    }

    const CXArchiveList& m_list;
    QTextStream& m_err;
    CXStatusLine m_line;
    std::mutex m_mutex;
    bool m_bLive;
    bool m_bYes;
    bool m_bRecycle; // deletion moves archives to the trash rather than deleting them
    bool m_bInputEnded = false;
    std::function<bool()> m_fnInterrupted;
    QElapsedTimer m_clock;
    qint64 m_nLastDraw = -1;
    int m_nArchiveIndex = -1;
    CXUnpackProgress m_progress; // only the worker's thread feeds and reads it
};

bool DeletesToTrash(const CXSettings& settings)
{
    return settings.m_nAfterExtraction == AfterDeleteToTrash;
}

QJsonDocument UnpackJson(const UnpackReportData& data, const CXArchiveList& list, const QList<CXSelItem>& selection,
                         const CXSettings& settings)
{
    QJsonArray archives;
    for (const CXSelItem& sel : selection) {
        const CXArchiveFile& a = list.m_arrArchives.at(sel.m_nArchive);
        QJsonArray failed;
        for (const CXArchiveItem& item : a.m_arrFailedItems) {
            failed.append(QJsonObject{
                {QStringLiteral("name"), item.m_strName},
                {QStringLiteral("path"), DisplayPath(item.m_strPath)},
                {QStringLiteral("result"), item.m_nResult},
                {QStringLiteral("exists"), item.m_bExists != 0},
                {QStringLiteral("loads"), item.m_bLoads != 0},
                {QStringLiteral("sizeMatches"), item.m_bSizeMatches != 0},
                {QStringLiteral("reason"), FailedItemReason(item)},
            });
        }
        QJsonObject archive{
            {QStringLiteral("path"), DisplayPath(a.m_strPath)},
            {QStringLiteral("mode"), GetExtractMode(settings, a)},
            {QStringLiteral("photos"), a.m_nPhotoCount},
            {QStringLiteral("extracted"), a.m_nExtracted},
            {QStringLiteral("skipped"), a.m_nSkipped},
            {QStringLiteral("errors"), a.m_nErrors},
            {QStringLiteral("bytesOnDisk"), qint64(a.m_nBytesOnDisk)},
            {QStringLiteral("removed"), a.m_bRemoved != 0},
            {QStringLiteral("failed"), failed},
            // Why it stayed although deletion was chosen; empty when deleted or nothing was to be deleted.
            {QStringLiteral("kept"), sel.m_bDeleted ? QString() : sel.m_strKept},
        };
        // A part of a photo export: the export's folder and what its pictures' sidecars gave.
        if (IsExportPart(settings, a)) {
            archive.insert(QStringLiteral("export"), TakeoutFolderName(a.m_strExportKey));
            archive.insert(QStringLiteral("datesRestored"), a.m_nDatesRestored);
            archive.insert(QStringLiteral("noDateFound"), a.m_nNoDate);
        }
        if (sel.m_bDeleted)
            archive.insert(QStringLiteral("deleted"),
                           DeletesToTrash(settings) ? QStringLiteral("trash") : QStringLiteral("permanent"));
        archives.append(archive);
    }
    QJsonArray notTaken;
    for (const CXNotTaken& entry : ArchivesNotTaken(list)) {
        notTaken.append(QJsonObject{
            {QStringLiteral("path"), DisplayPath(entry.m_strPath)},
            {QStringLiteral("reason"), entry.m_strReason},
        });
    }
    QJsonObject document{
        {QStringLiteral("scanPath"), DisplayPath(data.m_strScanPath)},
        {QStringLiteral("started"), data.m_tStarted},
        {QStringLiteral("finished"), data.m_tFinished},
        {QStringLiteral("elapsed"), data.m_strElapsed},
        {QStringLiteral("archivesProcessed"), data.m_nArchivesProcessed},
        {QStringLiteral("photosExtracted"), data.m_nExtracted},
        {QStringLiteral("bytesOnDisk"), qint64(data.m_nBytesOnDisk)},
        {QStringLiteral("skipped"), data.m_nSkipped},
        {QStringLiteral("errors"), data.m_nErrors},
        {QStringLiteral("archives"), archives},
        {QStringLiteral("notTaken"), notTaken},
    };
    if (!data.m_arrExports.isEmpty()) {
        document.insert(QStringLiteral("exports"), QJsonArray::fromStringList(data.m_arrExports));
        document.insert(QStringLiteral("datesRestored"), data.m_nDatesRestored);
        document.insert(QStringLiteral("noDateFound"), data.m_nNoDate);
    }
    return QJsonDocument(document);
}

// Applies the options to the settings of this run. False (with a message) for a value it does not know.
bool ApplyOptions(const QCommandLineParser& parser, CXSettings& settings, QTextStream& err)
{
    const auto bad = [&](const QString& option) {
        err << "zelvano-cli unpack: invalid value '" << parser.value(option) << "' for --" << option << "\n";
        err << UsageText(UnpackDoc());
        return false;
    };
    const QString mode = QStringLiteral("mode"), validate = QStringLiteral("validate"), kase = QStringLiteral("case"),
                  del = QStringLiteral("delete"), when = QStringLiteral("when");
    if (parser.isSet(mode) &&
        !PickChoice(parser.value(mode), {{"smart", ExtractSmart}, {"here", ExtractHere}, {"folder", ExtractToFolder}},
                    settings.m_nExtractTo))
        return bad(mode);
    if (parser.isSet(validate) &&
        !PickChoice(parser.value(validate), {{"1", ValidateExists}, {"2", ValidateSize}, {"3", ValidateLoads}},
                    settings.m_nValidationLevel))
        return bad(validate);
    if (parser.isSet(kase) &&
        !PickChoice(parser.value(kase), {{"title", RenameTitle}, {"lower", RenameLower}, {"upper", RenameUpper}},
                    settings.m_nRenameCase))
        return bad(kase);
    if (parser.isSet(del) &&
        !PickChoice(parser.value(del),
                    {{"none", AfterDoNothing}, {"trash", AfterDeleteToTrash}, {"permanent", AfterDeletePermanently}},
                    settings.m_nAfterExtraction))
        return bad(del);
    if (parser.isSet(when) &&
        !PickChoice(parser.value(when), {{"each", DeleteAfterEach}, {"all", DeleteAfterAll}}, settings.m_nWhenToDelete))
        return bad(when);

    const auto pair = [&](const char* on, const char* off, qint32& target) {
        const bool isOn = parser.isSet(QLatin1String(on)), isOff = parser.isSet(QLatin1String(off));
        if (isOn && isOff) {
            err << "zelvano-cli unpack: --" << on << " and --" << off << " exclude each other\n";
            err << UsageText(UnpackDoc());
            return false;
        }
        if (isOn || isOff)
            target = isOn ? 1 : 0;
        return true;
    };
    if (parser.isSet(QStringLiteral("delete-other-files")))
        settings.m_bDeleteOtherFiles = 1;
    if (parser.isSet(QStringLiteral("no-export-detection")))
        settings.m_bExportDetection = 0;
    return pair("overwrite", "skip-existing", settings.m_bOverwritePhotos) &&
           pair("rename", "no-rename", settings.m_bRenameFolder);
}

} // namespace

int RunUnpackCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    AddDocumentedOptions(parser, UnpackDoc());
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Folders to scan and archives to unpack."));
    if (!ParseCommandArguments(parser, QStringLiteral("unpack"), SynopsisText(UnpackDoc()), args, err))
        return kExitUsage;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        err << "zelvano-cli unpack: no folder or archive given\n";
        err << UsageText(UnpackDoc());
        return kExitUsage;
    }
    QList<CXTarget> targets;
    if (!ResolveTargets(positional, QStringLiteral("unpack"), targets, err))
        return kExitUsage;
    const QString folder = FirstTargetFolder(targets);

    // The options change this run only: the record is never saved from here.
    CXSettings settings;
    LoadStartupSettings(settings, err);
    if (!ApplyNameEncoding(parser, settings, QStringLiteral("unpack"), err))
        return kExitUsage;
    if (!ApplyOptions(parser, settings, err))
        return kExitUsage;
    QStringList passwordLines;
    if (!ReadPasswordFile(parser, QStringLiteral("unpack"), passwordLines, err))
        return kExitUsage;
    CXPasswordStore passwords(passwordLines);
    const bool yes = parser.isSet(QStringLiteral("yes"));

    CXInterruptGuard interrupt;
    const auto interrupted = [&interrupt] { return interrupt.Interrupted(); };
    CXArchiveList list;
    list.m_pSettings = &settings;
    list.SetImagePatterns(BuildImagePatternList(settings));
    if (parser.isSet(QLatin1String(kPasswordFileOption)))
        list.m_pPasswords = &passwords;
    CXCliUnpackHost host(list, err, StderrIsTerminal(), yes, DeletesToTrash(settings), interrupted);
    list.m_pHost = &host;

    // The scan, as `zelvano-cli scan` makes it; an archive given by name is examined the same way.
    if (!ScanTargets(list, targets, interrupted) || interrupt.Interrupted()) {
        host.Finish();
        return kExitInterrupted;
    }

    // Every valid archive, in path order, as a freshly scanned list with every row checked.
    QList<CXSelItem> selection;
    for (int i = 0; i < list.m_arrArchives.size(); ++i) {
        CXSelItem sel;
        sel.m_nArchive = i;
        sel.m_nRow = i;
        selection.append(sel);
    }
    qint64 pictures = 0;
    quint64 pictureBytes = 0;
    for (const CXSelItem& sel : selection) {
        pictures += list.m_arrArchives.at(sel.m_nArchive).m_nPhotoCount;
        pictureBytes += list.m_arrArchives.at(sel.m_nArchive).m_nPhotoBytes;
    }
    host.SetTotals(int(selection.size()), pictures, pictureBytes);

    CXTaskTimer timer;
    UnpackOperations ops = DefaultUnpackOperations();
    CXUnpackRun run(list, settings, host, ops);
    timer.Start();
    if (run.Start(selection, folder) == UnpackStart::NotEnoughSpace) {
        host.Finish();
        return kExitCancelled;
    }
    bool stopped = false;
    while (!run.WaitFor(50ms)) {
        if (interrupt.Interrupted() && !stopped) {
            // As Stop does: the current entry finishes, nothing more is written.
            stopped = true;
            run.Stop();
        }
    }
    run.Wait();
    timer.Stop();

    // A run that Ctrl-C stopped still tells what it did before exiting; it deletes nothing more.
    bool interruptedRun = interrupt.Interrupted() || run.End() == UnpackEnd::Stopped;
    if (!interruptedRun && (run.End() == UnpackEnd::Cancelled || run.End() == UnpackEnd::OutOfSpace)) {
        host.Finish();
        err << "zelvano-cli unpack: the run was cancelled after " << run.ArchivesProcessed() << " of "
            << selection.size() << " archives\n";
        return kExitCancelled;
    }

    // The deletion "After processing all archive(s)", as the desktop program does it at the run's end.
    if (!interruptedRun) {
        RunDeferredDeletion(
            list, run.Selection(), settings,
            [&host](const QString& question) { return host.ConfirmDeferred(question); }, &host, ops.deleteArchives);
        // A deletion question that Ctrl-C interrupted was answered No.
        interruptedRun = interrupt.Interrupted();
    }
    host.Finish();

    // A stopped run lists only the archives it reached.
    UnpackReportData data =
        MakeUnpackReportData(list, run.Selection(), settings, run.ArchivesProcessed(), interruptedRun);
    data.m_strScanPath = TargetsText(targets);
    data.m_tStarted = timer.m_tStart;
    data.m_tFinished = timer.m_tEnd;
    data.m_strElapsed = timer.GetElapsedText();

    int exitCode = kExitOk;
    // An archive that may hold pictures and could not be taken is a failure, like a failed entry.
    for (const CXNotTaken& entry : ArchivesNotTaken(list)) {
        if (entry.m_bMissed)
            exitCode = kExitFailure;
    }
    for (const CXSelItem& sel : run.Selection()) {
        const CXArchiveFile& a = list.m_arrArchives.at(sel.m_nArchive);
        if (!sel.m_bExtracted || sel.m_bDeleteFailed || !a.m_arrFailedItems.isEmpty())
            exitCode = kExitFailure;
    }
    const QString reportPath = parser.value(QStringLiteral("report"));
    if (!reportPath.isEmpty() && !WriteUnpackReport(reportPath, data)) {
        err << "zelvano-cli unpack: cannot write the report " << DisplayPath(reportPath) << "\n";
        exitCode = kExitFailure;
    }

    if (parser.isSet(QStringLiteral("json"))) {
        out << UnpackJson(data, list, run.Selection(), settings).toJson(QJsonDocument::Indented);
    } else {
        for (const QString& line : UnpackReportSummaryLines(data) + UnpackExportLines(data))
            out << line << "\n";
        for (const CXSelItem& sel : run.Selection()) {
            const CXArchiveFile& a = list.m_arrArchives.at(sel.m_nArchive);
            if (a.m_arrFailedItems.isEmpty())
                continue;
            out << "In archive: " << DisplayPath(a.m_strPath) << " ("
                << FormatQuantity(a.m_nErrors, QStringLiteral("error"), false) << ")\n";
            for (const CXArchiveItem& item : a.m_arrFailedItems)
                out << "   " << DisplayPath(item.m_strPath) << " -> " << FailedItemReason(item) << "\n";
        }
        for (const QString& line : UnpackFateLines(data))
            out << line << "\n";
        for (const CXNotTaken& entry : ArchivesNotTaken(list))
            out << "Not taken: " << DisplayPath(entry.m_strPath) << ": " << entry.m_strReason << "\n";
    }
    out.flush();
    return interruptedRun ? kExitInterrupted : exitCode;
}

} // namespace zelvano::cli
