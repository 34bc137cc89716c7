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

// Windows stores names as UTF-16, which Qt reads whole.
QList<UnreadableEntry> ListUnreadableEntries(const QString& folder)
{
    (void)folder;
    return {};
}

} // namespace zelvano::platform
