#include "platform/diskspace.h"

#include <mutex>
#include <QStorageInfo>

namespace zelvano::platform {

namespace {

std::mutex g_queryMutex;
std::function<DiskSpace(const QString&)> g_query;

DiskSpace QuerySystem(const QString& folder)
{
    DiskSpace space;
    if (folder.isEmpty())
        return space;
    QStorageInfo info(folder);
    info.refresh();
    if (!info.isValid() || !info.isReady())
        return space;
    space.m_bValid = true;
    // The total of free bytes, not only those available to this user: the same figure on every system.
    const qint64 free = info.bytesFree();
    space.m_nFree = free > 0 ? quint64(free) : 0;
    space.m_strRoot = info.rootPath();
    return space;
}

} // namespace

DiskSpace QueryDiskSpace(const QString& folder)
{
    std::function<DiskSpace(const QString&)> query;
    {
        std::lock_guard lock(g_queryMutex);
        query = g_query;
    }
    return query ? query(folder) : QuerySystem(folder);
}

void SetDiskSpaceQuery(std::function<DiskSpace(const QString&)> query)
{
    std::lock_guard lock(g_queryMutex);
    g_query = std::move(query);
}

} // namespace zelvano::platform
