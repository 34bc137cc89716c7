#include "platform/scanscope.h"

namespace zelvano::platform {

// The Recycle Bin keeps one "$Recycle.Bin" folder at the top of each volume, the user's own included.
QString UserTrashFolder()
{
    return {};
}

bool IsVolumeTrashName(const QString& name)
{
    return name.compare(QLatin1String("$Recycle.Bin"), Qt::CaseInsensitive) == 0;
}

} // namespace zelvano::platform
