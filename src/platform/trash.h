#pragma once

#include <QString>

namespace zelvano::platform {

// Moves a file to the user's trash (the freedesktop trash on Linux, the Recycle Bin on Windows), so it
// can be restored. True when the system took it.
bool MoveToTrash(const QString& path);

} // namespace zelvano::platform
