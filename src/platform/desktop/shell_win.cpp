#include "platform/desktop/shell.h"

#include <QDir>
#include <QProcess>

bool ShowInFileManager(const QString& path)
{
    // Explorer wants /select,"path" as one argument with its own quotes, which QProcess's quoting would
    // spoil: hand it over verbatim.
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer.exe"));
    explorer.setNativeArguments(QStringLiteral("/select,\"%1\"").arg(QDir::toNativeSeparators(path)));
    return explorer.startDetached();
}
