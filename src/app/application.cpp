#include "app/application.h"

#include <cstdio>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QTextStream>
#include <QUrl>

// The resources live in a static library: without this call the linker may drop them.
static void InitResources()
{
    Q_INIT_RESOURCE(zelvano);
}

void SetupApplication(QApplication& app)
{
    InitResources();
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrelworks"));
    QCoreApplication::setApplicationName(QStringLiteral("Zelvano"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVANO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelvano"));
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/zelvano.svg")));
}

StartArguments ParseStartArguments(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds ZIP and RAR photo archives in a folder tree and unpacks their pictures."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("Start without the splash picture."));
    parser.addOption(noSplash);
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder to scan at once."),
                                 QStringLiteral("[FOLDER]"));

    StartArguments result;
    const auto fail = [&](const QString& message) {
        err << "zelvano: " << message << "\n" << parser.helpText();
        err.flush();
        result.ok = false;
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        out << parser.helpText();
        out.flush();
        result.ok = false;
        return result;
    }
    if (parser.isSet(version)) {
        out << "zelvano " << ZELVANO_VERSION << "\n";
        out.flush();
        result.ok = false;
        return result;
    }
    result.splash = !parser.isSet(noSplash);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return fail(QStringLiteral("Only one folder can be given."));
    if (positional.isEmpty() || positional.first().isEmpty())
        return result;

    // A desktop that passes a URL instead of a path still means the local folder.
    QString path = positional.first();
    if (path.startsWith(QStringLiteral("file:"))) {
        const QUrl url(path);
        if (url.isLocalFile())
            path = url.toLocalFile();
    }
    const QFileInfo info(path);
    if (!info.isDir()) {
        err << "zelvano: " << (info.exists() ? "Not a folder: " : "No such folder: ") << path << "\n";
        err.flush();
        return result;
    }
    result.folder = QDir::cleanPath(info.absoluteFilePath());
    return result;
}

StartArguments ParseStartArguments(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return ParseStartArguments(arguments, out, err);
}
