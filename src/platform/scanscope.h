#pragma once

#include <QList>
#include <QString>

// Where a scan must not go, and what the system's directory listing hides from it.
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

// An entry of a folder whose name the system's text decoding cannot read, so a listing through Qt
// leaves it out.
struct UnreadableEntry
{
    QString m_strName;      // the name as far as it reads, each undecodable byte shown as U+FFFD
    bool m_bFolder = false; // a folder, or a link to one
};

// The entries of folder whose names are no valid text; empty when the folder cannot be read.
QList<UnreadableEntry> ListUnreadableEntries(const QString& folder);

} // namespace zelvano::platform
