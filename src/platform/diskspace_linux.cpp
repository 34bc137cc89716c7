#include "platform/diskspace.h"

namespace zelvano::platform {

QString VolumeText(const QString& root)
{
    return QStringLiteral("Volume (%1)").arg(root);
}

} // namespace zelvano::platform
