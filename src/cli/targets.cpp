#include "cli/targets.h"

#include "cli/clicommon.h"
#include "common/workerhost.h"
#include "platform/scanscope.h"
#include "scan/archivelist.h"
#include "scan/examine.h"
#include "scan/scanrunner.h"
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>

using namespace std::chrono_literals;

namespace zelvano::cli {

namespace {

void AddNotTaken(CXArchiveList& list, const QString& path, const QString& reason, bool missed = false)
{
    const CXNotTaken entry{path, reason, missed};
    if (!list.m_arrNotTaken.contains(entry))
        list.m_arrNotTaken.append(entry);
}

// Adds an archive record; the type counts grow only for an archive not listed yet.
void AddFound(CXArchiveList& list, const CXArchiveFile& archive)
{
    const qsizetype before = list.m_arrArchives.size();
    list.AddArchive(archive);
    if (list.m_arrArchives.size() == before)
        return;
    if (archive.m_nArchiveType == kZipArchive)
        ++list.m_nZipCount;
    else if (archive.m_nArchiveType == kSevenZArchive)
        ++list.m_nSevenZCount;
    else
        ++list.m_nRarCount;
}

// Everything the scan of one folder found, into the list of the whole run.
void Merge(CXArchiveList& list, const CXArchiveList& part)
{
    for (const CXArchiveFile& archive : part.m_arrArchives)
        AddFound(list, archive);
    for (const CXFileItem& item : part.m_arrInvalid) {
        const bool known = std::any_of(list.m_arrInvalid.cbegin(), list.m_arrInvalid.cend(),
                                       [&](const CXFileItem& i) { return i.m_strPath == item.m_strPath; });
        if (!known)
            list.m_arrInvalid.append(item);
    }
    for (const QString& path : part.m_arrSkipped) {
        if (!list.m_arrSkipped.Contains(path))
            list.m_arrSkipped.InsertSorted(path);
    }
    for (const CXNotTaken& entry : part.m_arrNotTaken)
        AddNotTaken(list, entry.m_strPath, entry.m_strReason, entry.m_bMissed);
}

// One archive given by name, examined as the folder scan examines the archives it meets.
void ExamineOne(CXArchiveList& list, const QString& path, const platform::TrashFolders& trash)
{
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    // An archive an earlier run moved to the trash is not unpacked there again.
    if (trash.IsInTrash(QFileInfo(real.isEmpty() ? path : real).path())) {
        AddNotTaken(list, path, QStringLiteral("The archive is in a trash folder"));
        return;
    }
    if (!info.isFile()) {
        AddNotTaken(list, path, QStringLiteral("It is not a regular file"));
        return;
    }
    if (list.m_pHost)
        list.m_pHost->ScanProgress(info.path());
    static const CXSettings defaults;
    list.ExamineAndRecord(path, list.m_pSettings ? *list.m_pSettings : defaults);
}

// The folder scan's worker on one folder, stopped when interrupted. False when stopped.
bool ScanFolderInto(CXArchiveList& part, const QString& folder, const std::function<bool()>& interrupted)
{
    CXScanRunner runner(part);
    runner.Start(folder);
    NotifyRunStarted();
    while (!runner.WaitFor(100ms)) {
        if (interrupted()) {
            runner.Stop();
            return false;
        }
    }
    return !interrupted();
}

} // namespace

bool ResolveTargets(const QStringList& paths, const QString& command, QList<CXTarget>& targets, QTextStream& err)
{
    targets.clear();
    for (const QString& given : paths) {
        const QFileInfo info(given);
        const auto refuse = [&](const char* why) {
            err << "zelvano-cli " << command << ": " << given << ": " << why << "\n";
            return false;
        };
        if (!info.exists() && !info.isSymLink())
            return refuse("no such folder or archive");
        CXTarget target;
        target.m_strPath = QDir::cleanPath(info.absoluteFilePath());
        target.m_bFolder = info.isDir();
        if (!target.m_bFolder && GetArchiveType(target.m_strPath) == -1)
            return refuse("not a folder, nor a ZIP or RAR archive");
        targets.append(target);
    }
    return true;
}

bool ScanTargets(CXArchiveList& list, const QList<CXTarget>& targets, const std::function<bool()>& interrupted)
{
    list.ResetForScan();
    // One folder alone is scanned straight into the list, exactly as before there could be more.
    if (targets.size() == 1 && targets.first().m_bFolder)
        return ScanFolderInto(list, targets.first().m_strPath, interrupted);
    const platform::TrashFolders trash;
    for (const CXTarget& target : targets) {
        if (interrupted())
            return false;
        if (!target.m_bFolder) {
            ExamineOne(list, target.m_strPath, trash);
            continue;
        }
        CXArchiveList part;
        part.m_pSettings = list.m_pSettings;
        part.m_pHost = list.m_pHost;
        part.m_pPasswords = list.m_pPasswords;
        part.m_strImagePatterns = list.m_strImagePatterns;
        if (!ScanFolderInto(part, target.m_strPath, interrupted))
            return false;
        Merge(list, part);
    }
    return !interrupted();
}

QString TargetsText(const QList<CXTarget>& targets)
{
    QStringList paths;
    for (const CXTarget& target : targets)
        paths << target.m_strPath;
    return paths.join(QStringLiteral("; "));
}

QString FirstTargetFolder(const QList<CXTarget>& targets)
{
    if (targets.isEmpty())
        return QString();
    const CXTarget& first = targets.first();
    return first.m_bFolder ? first.m_strPath : QFileInfo(first.m_strPath).path();
}

} // namespace zelvano::cli
