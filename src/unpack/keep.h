#pragma once

#include <QString>
#include <QStringList>

// Why an archive stays on disk although deletion was chosen. The command line prints them after
// "Kept: ", the report lists them in a section of their own.
namespace zelvano::kept {
// "holds 3 other files that were not extracted (clip.mov, notes.txt, ...)"
QString OtherFiles(int count, const QStringList& firstNames);
QString FailedEntries(int count);
QString NotOpened();
QString Changed();
QString NotConfirmed();
QString Stopped();
QString DeleteFailed(bool recycle);
} // namespace zelvano::kept
