#include "platform/scanscope.h"

#include <QDir>

namespace zelvano::platform {

TrashFolders::TrashFolders() : m_strUserTrash(UserTrashFolder()) {}

bool TrashFolders::IsTrash(const QString& realPath) const
{
    if (!m_strUserTrash.isEmpty() && realPath.compare(m_strUserTrash, Qt::CaseSensitive) == 0)
        return true;
    QString name = realPath;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return IsVolumeTrashName(name.mid(name.lastIndexOf(QLatin1Char('/')) + 1));
}

bool TrashFolders::IsInTrash(const QString& realPath) const
{
    QString path = QDir::cleanPath(realPath);
    while (!path.isEmpty()) {
        if (IsTrash(path))
            return true;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        path.truncate(slash);
    }
    return false;
}

} // namespace zelvano::platform
