#include "platform/trash.h"

#include <QFile>

namespace zelvano::platform {

// Qt maps the trash of both systems; should one of them need its own code, it goes into a trash_<os>.cpp.
bool MoveToTrash(const QString& path)
{
    return QFile::moveToTrash(path);
}

} // namespace zelvano::platform
