#pragma once

#include <functional>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

class CXArchiveList;

namespace zelvano::cli {

// One path a command was given to work on: a folder, searched with every folder below it, or one archive.
struct CXTarget
{
    QString m_strPath; // absolute, clean, "/" separated
    bool m_bFolder = true;
};

// Checks the paths of the command line: each must be a folder or a file named like a ZIP or RAR archive.
// On the first that is not, prints "zelvano-cli COMMAND: PATH: why" to err and returns false.
bool ResolveTargets(const QStringList& paths, const QString& command, QList<CXTarget>& targets, QTextStream& err);

// Fills list (emptied first) as one scan of all targets: each folder as the folder scan searches it, each
// archive examined as the scan examines the archives it meets, an archive found twice listed once. The list
// must carry its settings, image patterns and host. Returns false when interrupted() turned true on the way.
bool ScanTargets(CXArchiveList& list, const QList<CXTarget>& targets, const std::function<bool()>& interrupted);

// The targets for a report's scan path: the one path, or the paths separated by "; ".
QString TargetsText(const QList<CXTarget>& targets);
// The folder whose volume receives the pictures of the first target.
QString FirstTargetFolder(const QList<CXTarget>& targets);

} // namespace zelvano::cli
