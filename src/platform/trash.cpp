#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zelvano::platform {

// Qt maps the trash of both systems. Two guards around it: the freedesktop trash lives in the data
// folder, which Qt does not create when it is missing; and when Qt cannot set up a trash folder at all
// it moves the file into "files" below the process's current directory. Such a move is undone.
bool MoveToTrash(const QString& path)
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));

    const QString original = QFileInfo(path).absoluteFilePath();
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    if (!inTrash.isEmpty() && QFileInfo(inTrash).isRelative()) {
        const QString stray = QFileInfo(inTrash).absoluteFilePath();
        QFile::rename(stray, original);
        const QFileInfo files(QFileInfo(stray).absolutePath());
        QFile::remove(files.absolutePath() + QStringLiteral("/info/") + QFileInfo(stray).fileName() +
                      QStringLiteral(".trashinfo"));
        QDir().rmdir(files.absolutePath() + QStringLiteral("/info")); // only when empty
        QDir().rmdir(files.absoluteFilePath());
        return false;
    }
    return true;
}

} // namespace zelvano::platform
