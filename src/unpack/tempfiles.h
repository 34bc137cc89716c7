#pragma once

#include <QString>
#include <QtGlobal>

// The temporary files an entry is written to before it takes its final name. Their names are hidden
// and carry no picture or archive extension, so no scan and no extraction takes one for a picture:
// ".zelvano-PID-N.partial", where PID is the writing process, so a later run can tell a leftover of a
// killed run from a file another run is still writing.

// A fresh temporary path in folder (which must exist).
QString NewTempPath(const QString& folder);
// True when name is one of our temporary names; pid receives the process that made it.
bool IsTempName(const QString& name, qint64* pid = nullptr);
// Removes the temporary files in folder whose process is no longer running. Returns how many.
int RemoveStaleTempFiles(const QString& folder);
