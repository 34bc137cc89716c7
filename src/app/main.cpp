#include "app/application.h"
#include "app/singleinstance.h"
#include "platform/desktop/termination.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QSessionManager>
#include <QTextStream>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SetupApplication(app);
    const StartArguments start = ParseStartArguments(QCoreApplication::arguments());
    if (!start.ok)
        return start.exitCode;

    // A second start hands its arguments to the running program, which comes forward, and ends here.
    CXSingleInstance instance;
    if (!instance.Create(QCoreApplication::arguments()))
        return 0;

    CMainDialog window;
    QObject::connect(&instance, &CXSingleInstance::wakeUp, &window, [&window](const QStringList& arguments) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const StartArguments handed = ParseStartArguments(arguments, outStream, errStream);
        window.WakeUp(handed.ok ? handed.folder : QString());
    });
    QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
    // Asked to end by the system (SIGTERM, a logout): a run stops cleanly, the settings are saved, exit 0.
    WatchTermination(&window, [&window] {
        window.Shutdown();
        QCoreApplication::exit(0);
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.Shutdown(); });
    if (start.splash)
        window.ShowSplash();
    window.Initialize();
    window.show();
    if (!start.folder.isEmpty())
        QTimer::singleShot(0, &window, [&window, folder = start.folder] { window.ScanFolderNow(folder); });
    return QApplication::exec();
}
