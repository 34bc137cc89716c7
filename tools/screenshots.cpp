// Pictures of the desktop window for the README, made offscreen with the settings in a temporary home:
//   zelvano-screenshots OUTDIR DEMO_TREE
// Shows the window at 1000 x 700, scans DEMO_TREE and writes OUTDIR/scan-results.png (the Scan Results
// dialog as it opens), OUTDIR/scan-results-details.png (the same unfolded) and OUTDIR/main-window.png (the
// window with the found archives once the dialog is closed). Then unpack runs, each on a fresh copy of the
// tree in a temporary folder (DEMO_TREE itself is never written to): OUTDIR/unpack-paused.png (the window
// during a paused run), OUTDIR/delete-question.png (the question before each archive is deleted, answered
// No), OUTDIR/deferred-question.png (the question before all are deleted at the end, answered No) and
// OUTDIR/unpack-results-details.png (the Unpack Results dialog unfolded, after a run in which one archive,
// damaged after the scan, failed). Last the Options dialog's three pages (OUTDIR/options-general.png,
// options-scanning.png, options-image-types.png), the help window at its start page (OUTDIR/help.png), the
// About box (OUTDIR/about.png) and the splash picture with ripples under the pointer (OUTDIR/splash.png).
// `make screenshots` runs it on the demo tree.

#include "app/application.h"
#include "offscreenhome.h"
#include "ui/aboutbox.h"
#include "ui/archivelistview.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/optionsdialog.h"
#include "ui/scanresultsdialog.h"
#include "ui/splashwindow.h"
#include "ui/statusstrip.h"
#include "ui/unpackresultsdialog.h"

#include <cstdio>
#include <functional>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The offscreen platform's notes that it cannot raise a window or pass on size hints say nothing here.
void DropPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Lets a widget lay itself out and paint before it is grabbed.
void Settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

bool Save(QWidget* widget, const QString& path)
{
    Settle();
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "zelvano-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), widget->width(), widget->height());
    return true;
}

// A copy of the demo tree for one unpack run, which writes pictures into it and may delete archives.
bool CopyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target)) {
            std::fprintf(stderr, "zelvano-screenshots: cannot copy %s to %s\n", qPrintable(source), qPrintable(target));
            return false;
        }
    }
    return true;
}

// Runs the event loop until done() holds or a minute has passed (nothing here may wait for ever).
bool WaitFor(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(60'000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Scans folder from the window (no results dialog) and checks every row found.
bool ScanCopy(CMainDialog& window, const QString& folder)
{
    window.Settings().m_bShowScanResults = 0;
    bool ended = false;
    const QMetaObject::Connection connection =
        QObject::connect(&window, &CMainDialog::scanEnded, &window, [&ended] { ended = true; });
    window.ScanFolderNow(folder);
    const bool ok = WaitFor([&] { return ended; });
    QObject::disconnect(connection);
    if (!ok || window.List()->RowCount() == 0) {
        std::fprintf(stderr, "zelvano-screenshots: the scan of %s %s\n", qPrintable(folder),
                     ok ? "found nothing" : "did not end");
        return false;
    }
    window.List()->CheckAll(true);
    return true;
}

// Unpacks the checked rows to the run's end. Each modal window that opens meanwhile goes to answer once,
// which must close it; false when the run did not end within a minute.
bool UnpackToEnd(CMainDialog& window, const std::function<void(QWidget*)>& answer)
{
    bool ended = false;
    const QMetaObject::Connection connection =
        QObject::connect(&window, &CMainDialog::unpackEnded, &window, [&ended] { ended = true; });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        answer(modal);
    });
    poll.start(20);
    window.StartUnpack();
    const bool ok = WaitFor([&] { return ended; });
    poll.stop();
    QObject::disconnect(connection);
    if (!ok) {
        std::fprintf(stderr, "zelvano-screenshots: the unpack run did not end within a minute\n");
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    }
    return ok;
}

// A modal window no shot expects: named, and closed so that nothing waits.
void Unexpected(QWidget* modal, bool& ok)
{
    const auto* box = qobject_cast<QMessageBox*>(modal);
    std::fprintf(stderr, "zelvano-screenshots: unexpected window %s: %s\n", qPrintable(modal->objectName()),
                 box ? qPrintable(box->text()) : "");
    modal->close();
    ok = false;
}

// Clicks the box's No: a QMessageBox's standard No, or the delete question's own button.
void AnswerNo(QWidget* modal)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    QAbstractButton* no = box ? box->button(QMessageBox::No) : nullptr;
    if (!no)
        no = modal->findChild<QPushButton*>(QStringLiteral("noButton"));
    if (no)
        no->click();
    else
        modal->close();
}

// Overwrites a stretch in the middle of the largest ZIP under folder, so that an entry fails to unpack.
bool DamageOneArchive(const QString& folder)
{
    QString largest;
    qint64 size = 0;
    QDirIterator it(folder, {QStringLiteral("*.zip")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.size() > size) {
            size = info.size();
            largest = info.filePath();
        }
    }
    QFile file(largest);
    if (largest.isEmpty() || !file.open(QIODevice::ReadWrite) || !file.seek(size / 2) ||
        file.write(QByteArray(256, '\x5a')) != 256) {
        std::fprintf(stderr, "zelvano-screenshots: no ZIP archive to damage in %s\n", qPrintable(folder));
        return false;
    }
    return true;
}

// The unpack shots, each run on a fresh copy of tree; the window keeps its size between them.
bool UnpackShots(CMainDialog& window, const QString& outDir, const QString& tree)
{
    QTemporaryDir copies(QDir::tempPath() + QStringLiteral("/zelvano-demo-XXXXXX"));
    if (!copies.isValid()) {
        std::fprintf(stderr, "zelvano-screenshots: no temporary folder\n");
        return false;
    }
    bool ok = true;
    int copyNumber = 0;
    const auto freshCopy = [&] {
        const QString path = copies.filePath(QStringLiteral("Photos %1").arg(++copyNumber));
        return CopyTree(tree, path) && ScanCopy(window, path) ? path : QString();
    };
    CXSettings& settings = window.Settings();
    settings.m_bShowUnpackResults = 0;
    settings.m_nAfterExtraction = AfterDoNothing;

    // A paused run: paused as soon as the progress shows a second archive (the first one's bytes written), so
    // that the small demo tree does not end first.
    if (freshCopy().isEmpty())
        return false;
    bool ended = false;
    const QMetaObject::Connection connection =
        QObject::connect(&window, &CMainDialog::unpackEnded, &window, [&ended] { ended = true; });
    window.StartUnpack();
    WaitFor([&] {
        const QString progress = window.StatusStrip()->SecondaryText();
        return ended ||
               (progress.startsWith(QLatin1String("Archive ")) && !progress.startsWith(QLatin1String("Archive 1 ")));
    });
    window.PauseUnpack();
    if (ended || !window.IsUnpackPaused()) {
        std::fprintf(stderr, "zelvano-screenshots: the unpack run could not be paused\n");
        ok = false;
    } else {
        ok = Save(&window, outDir + QStringLiteral("/unpack-paused.png")) && ok;
    }
    // Stopped without the question; a stopped run deletes nothing and shows no results.
    settings.m_bConfirmCancelUnpack = 0;
    window.StopUnpack();
    ok = WaitFor([&] { return ended; }) && ok;
    QObject::disconnect(connection);

    // The question before each archive is deleted: the first one (more follow, all five buttons) is shown.
    settings.m_nAfterExtraction = AfterDeletePermanently;
    settings.m_nWhenToDelete = DeleteAfterEach;
    settings.m_bConfirmDelete = 1;
    bool asked = false;
    ok = !freshCopy().isEmpty() && UnpackToEnd(window, [&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("deleteQuestionBox"))
            return Unexpected(modal, ok);
        if (!asked)
            ok = Save(modal, outDir + QStringLiteral("/delete-question.png")) && ok;
        asked = true;
        AnswerNo(modal);
    }) && ok;
    if (!asked) {
        std::fprintf(stderr, "zelvano-screenshots: no delete question showed\n");
        ok = false;
    }

    // The one question before every archive is deleted at the run's end.
    settings.m_nWhenToDelete = DeleteAfterAll;
    asked = false;
    ok = !freshCopy().isEmpty() && UnpackToEnd(window, [&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("confirmBox") || asked)
            return Unexpected(modal, ok);
        ok = Save(modal, outDir + QStringLiteral("/deferred-question.png")) && ok;
        asked = true;
        AnswerNo(modal);
    }) && ok;
    if (!asked) {
        std::fprintf(stderr, "zelvano-screenshots: the deferred delete question did not show\n");
        ok = false;
    }

    // The Unpack Results dialog after a run in which an archive damaged after the scan failed.
    settings.m_nAfterExtraction = AfterDoNothing;
    settings.m_bShowUnpackResults = 1;
    bool shown = false;
    const QString damaged = freshCopy();
    ok = !damaged.isEmpty() && DamageOneArchive(damaged) && UnpackToEnd(window, [&](QWidget* modal) {
        auto* dialog = qobject_cast<CDLGUnpackResults*>(modal);
        if (!dialog || shown)
            return Unexpected(modal, ok);
        shown = true;
        if (!dialog->DetailsShown())
            dialog->ToggleDetails();
        ok = Save(dialog, outDir + QStringLiteral("/unpack-results-details.png")) && ok;
        dialog->accept();
    }) && ok;
    if (!shown) {
        std::fprintf(stderr, "zelvano-screenshots: the Unpack Results dialog did not show\n");
        ok = false;
    }
    return ok;
}

} // namespace

// Grabs the modal dialog `open` shows with `shoot`, which closes it; false when none showed within 10 s.
bool ShootModal(const std::function<void()>& open, const std::function<void(QWidget*)>& shoot)
{
    bool seen = false;
    QTimer poll;
    QTimer::singleShot(10'000, &poll, [&] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || seen)
            return;
        seen = true;
        poll.stop();
        shoot(modal);
    });
    poll.start(20);
    open();
    if (!seen)
        std::fprintf(stderr, "zelvano-screenshots: a dialog did not show\n");
    return seen;
}

bool DialogShots(CMainDialog& window, const QString& outDir)
{
    bool ok = true;
    ok = ShootModal([&] { window.ShowOptions(); },
                    [&](QWidget* modal) {
                        auto* tabs = modal->findChild<QTabWidget*>(QStringLiteral("optionsTabs"));
                        const char* names[] = {"options-general", "options-scanning", "options-image-types"};
                        for (int page = 0; tabs && page < 3; ++page) {
                            tabs->setCurrentIndex(page);
                            ok = Save(modal, outDir + QStringLiteral("/%1.png").arg(QLatin1String(names[page]))) && ok;
                        }
                        ok = tabs && ok;
                        qobject_cast<QDialog*>(modal)->reject();
                    }) &&
         ok;
    window.ShowHelp();
    if (CXHelpWindow* help = window.HelpWindow()) {
        help->resize(760, 560);
        ok = Save(help, outDir + QStringLiteral("/help.png")) && ok;
        help->close();
    } else {
        ok = false;
    }
    ok = ShootModal([&] { window.ShowAbout(); },
                    [&](QWidget* modal) {
                        ok = Save(modal, outDir + QStringLiteral("/about.png")) && ok;
                        qobject_cast<QDialog*>(modal)->accept();
                    }) &&
         ok;

    // The splash with a few drops along a stroke of the pointer, some steps after.
    auto* splash = new CXSplashWindow; // deletes itself when closed
    splash->SetDisplayTime(60'000);
    if (!splash->Start()) {
        delete splash;
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        const QPointF at(splash->width() * (0.25 + 0.06 * i), splash->height() * (0.35 + 0.03 * i));
        QMouseEvent move(QEvent::MouseMove, at, splash->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(splash, &move);
        QEventLoop wait;
        QTimer::singleShot(CXSplashWindow::kEffectInterval * 2, &wait, &QEventLoop::quit);
        wait.exec();
    }
    ok = Save(splash, outDir + QStringLiteral("/splash.png")) && ok;
    splash->close();
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zelvano-screenshots OUTDIR DEMO_TREE\n");
        return 2;
    }
    // The window loads and saves its settings: never the user's.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "zelvano-screenshots: no temporary folder\n");
        return 1;
    }
    UseOffscreenHome(home.path());

    qInstallMessageHandler(DropPlatformNotes);
    QApplication app(argc, argv);
    SetupApplication(app);
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString tree = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    if (!QDir(tree).exists()) {
        std::fprintf(stderr, "zelvano-screenshots: %s is not a folder\n", qPrintable(tree));
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "zelvano-screenshots: cannot make %s\n", qPrintable(outDir));
        return 1;
    }

    CMainDialog window;
    window.Initialize();
    window.Settings().m_bShowScanResults = 1;
    window.resize(1000, 700);
    window.show();
    Settle();

    // The results dialog is modal: it is grabbed, unfolded, grabbed again and closed from here.
    bool ok = true;
    bool dialogSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        auto* dialog = qobject_cast<CDLGScanResults*>(QApplication::activeModalWidget());
        if (!dialog || dialogSeen)
            return;
        dialogSeen = true;
        poll.stop();
        ok = Save(dialog, outDir + QStringLiteral("/scan-results.png")) && ok;
        dialog->ToggleDetails();
        ok = Save(dialog, outDir + QStringLiteral("/scan-results-details.png")) && ok;
        dialog->accept();
    });
    poll.start(20);

    QEventLoop loop;
    bool ended = false;
    QObject::connect(&window, &CMainDialog::scanEnded, &loop, [&] {
        ended = true;
        loop.quit();
    });
    // Nothing here may wait for ever.
    QTimer::singleShot(60'000, &loop, [&] {
        std::fprintf(stderr, "zelvano-screenshots: the scan did not end within a minute\n");
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        loop.quit();
    });
    window.ScanFolderNow(tree);
    if (!ended && window.IsScanning())
        loop.exec();
    if (!ended || !dialogSeen) {
        std::fprintf(stderr, "zelvano-screenshots: %s\n",
                     ended ? "the Scan Results dialog did not show" : "the scan did not end");
        return 1;
    }
    ok = Save(&window, outDir + QStringLiteral("/main-window.png")) && ok;
    ok = UnpackShots(window, outDir, tree) && ok;
    ok = DialogShots(window, outDir) && ok;
    return ok ? 0 : 1;
}
