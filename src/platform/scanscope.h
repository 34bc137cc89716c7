#pragma once

#include <QString>

// Where a scan must not go.
namespace zelvano::platform {

// The folder that holds the user's own trash (its path without links when it exists), or empty when the
// system keeps no such folder.
QString UserTrashFolder();

// True for a folder name the system gives the trash folder of a volume.
bool IsVolumeTrashName(const QString& name);

// Trash folders hold what the user threw away: a scan that entered one would find archives moved there
// by an earlier run and unpack them into the trash. Built once per scan.
class TrashFolders
{
public:
    TrashFolders();

    // True when the folder is a trash folder: the user's trash or a volume's by its name. realPath is
    // the folder's path without links (or its path when that is unknown), "/" separated.
    bool IsTrash(const QString& realPath) const;
    // True when the folder or any folder above it is a trash folder.
    bool IsInTrash(const QString& realPath) const;

private:
    QString m_strUserTrash;
};

} // namespace zelvano::platform
