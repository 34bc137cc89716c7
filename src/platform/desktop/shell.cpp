#include "platform/desktop/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool OpenWithDefaultApplication(const QString& path)
{
    // An archive whose folder has gone away is not handed to the desktop: it would only show an error.
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
