#pragma once

#include <QString>
#include <QtGlobal>

// How the file system tells two paths apart.
namespace zelvano::platform {

// Case-sensitive where names differing only in case are different files (Linux), insensitive where they
// name one file (Windows).
Qt::CaseSensitivity FileNameCaseSensitivity();

// True when the two paths are the same text to the file system.
bool SamePathText(const QString& a, const QString& b);

} // namespace zelvano::platform
