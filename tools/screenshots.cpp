// Pictures of the desktop window for the README, made offscreen with the settings in a temporary home:
//   zelvano-screenshots OUTDIR DEMO_TREE
// Shows the window at 1000 x 700, scans DEMO_TREE and writes OUTDIR/scan-results.png (the Scan Results
// dialog as it opens), OUTDIR/scan-results-details.png (the same unfolded) and OUTDIR/main-window.png (the
// window with the found archives once the dialog is closed). `make screenshots` runs it on the demo tree.

#include "app/application.h"
#include "offscreenhome.h"
#include "ui/mainwindow.h"
#include "ui/scanresultsdialog.h"

#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
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

} // namespace

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
    return ok ? 0 : 1;
}
