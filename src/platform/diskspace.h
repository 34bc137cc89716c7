#pragma once

#include <functional>
#include <QString>
#include <QtGlobal>

namespace zelvano::platform {

// What the system says of the volume that holds a folder.
struct DiskSpace
{
    bool m_bValid = false; // false when the volume could not be queried
    quint64 m_nFree = 0;   // every free byte of the volume, also those reserved for the administrator
    QString m_strRoot;     // the volume's root path, "/" separated (the drive on Windows)
};

// Queries the volume holding folder. An invalid answer has 0 free bytes.
DiskSpace QueryDiskSpace(const QString& folder);

// Replaces the query, so tests can play a nearly full disk; an empty function restores the system's.
void SetDiskSpaceQuery(std::function<DiskSpace(const QString&)> query);

} // namespace zelvano::platform

namespace zelvano::platform {

// How messages name the volume with this root: "Drive (C:\)" where volumes are drives, "Volume (/home)"
// elsewhere.
QString VolumeText(const QString& root);

} // namespace zelvano::platform
