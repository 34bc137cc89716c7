#include "platform/scanscope.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace zelvano::platform {

// The freedesktop trash of the user's own files.
QString UserTrashFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString trash = data + QStringLiteral("/Trash");
    const QString real = QFileInfo(trash).canonicalFilePath();
    return real.isEmpty() ? trash : real;
}

// A volume's trash is ".Trash" (shared, one folder per user inside) or ".Trash-" and the user's number.
bool IsVolumeTrashName(const QString& name)
{
    if (name == QLatin1String(".Trash"))
        return true;
    if (!name.startsWith(QLatin1String(".Trash-")) || name.size() == 7)
        return false;
    for (qsizetype i = 7; i < name.size(); ++i) {
        if (!name.at(i).isDigit() || name.at(i).unicode() > 0x7F)
            return false;
    }
    return true;
}

} // namespace zelvano::platform
