#include "platform/diskspace.h"

#include <QDir>

namespace zelvano::platform {

QString VolumeText(const QString& root)
{
    return QStringLiteral("Drive (%1)").arg(QDir::toNativeSeparators(root));
}

} // namespace zelvano::platform
