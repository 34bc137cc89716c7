#include "unpack/deferreddelete.h"

#include "common/format.h"
#include "common/sstringarray.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/keep.h"

#include <algorithm>
#include <QDir>
#include <QFileInfo>

namespace {

bool PathIsGone(const QString& path)
{
    const QFileInfo info(path);
    return !info.exists() && !info.isSymLink();
}

} // namespace

DeferredDeletionPlan PlanDeferredDeletion(const CXArchiveList& list, const QList<CXSelItem>& selection,
                                          const CXSettings* settings)
{
    static const CXSettings defaults;
    DeferredDeletionPlan plan;
    CXSStringArray paths;
    QString text;
    int listed = 0;
    for (const CXSelItem& sel : selection) {
        if (sel.m_nArchive < 0 || sel.m_nArchive >= list.m_arrArchives.size())
            continue;
        const CXArchiveFile& archive = list.m_arrArchives.at(sel.m_nArchive);
        // Only what this run unpacked in full: an archive that did not open leaves no failed entry behind.
        if (!sel.m_bExtracted || sel.m_bDeleted || !WhyKept(sel, archive, settings ? *settings : defaults).isEmpty())
            continue;
        if (paths.Contains(archive.m_strPath))
            continue;
        paths.InsertSorted(archive.m_strPath);
        if (listed < 4) {
            text += QDir::toNativeSeparators(archive.m_strPath) + QLatin1Char('\n');
            ++listed;
        }
    }
    const qsizetype count = paths.size();
    if (count == 0)
        return plan;
    if (count > 4) {
        text += QStringLiteral("\n..and %1 (total of %2 archives).")
                    .arg(FormatQuantity(count - 4, QStringLiteral("other"), false), FormatNumber(count));
    }
    plan.m_arrPaths = paths.toStringList();
    plan.m_strQuestion = QStringLiteral("Are you sure you want to delete the following %1?\n\n%2")
                             .arg(FormatQuantity(qMin<qsizetype>(count, 4), QStringLiteral("Archive"), false), text);
    return plan;
}

DeferredDeletionResult RunDeferredDeletion(CXArchiveList& list, QList<CXSelItem>& selection, const CXSettings& settings,
                                           const std::function<bool(const QString&)>& confirm, CXWorkerHost* host,
                                           const std::function<bool(const QStringList&, bool)>& deleteArchives)
{
    DeferredDeletionResult result;
    if ((settings.m_nAfterExtraction != AfterDeletePermanently && settings.m_nAfterExtraction != AfterDeleteToTrash) ||
        settings.m_nWhenToDelete != DeleteAfterAll)
        return result;
    // Every archive that stays says why.
    const auto explainKept = [&](const QString& otherwise) {
        for (CXSelItem& sel : selection) {
            if (sel.m_bDeleted || !sel.m_strKept.isEmpty() || sel.m_nArchive < 0 ||
                sel.m_nArchive >= list.m_arrArchives.size())
                continue;
            const QString why = WhyKept(sel, list.m_arrArchives.at(sel.m_nArchive), settings);
            sel.m_strKept = why.isEmpty() ? otherwise : why;
        }
    };
    const DeferredDeletionPlan plan = PlanDeferredDeletion(list, selection, &settings);
    if (plan.m_arrPaths.isEmpty()) {
        explainKept(zelvano::kept::NotConfirmed());
        return result;
    }
    if (settings.m_bConfirmDelete) {
        result.m_bAsked = true;
        if (!confirm || !confirm(plan.m_strQuestion)) {
            explainKept(zelvano::kept::NotConfirmed());
            return result;
        }
    }
    result.m_bConfirmed = true;

    const bool recycle = settings.m_nAfterExtraction == AfterDeleteToTrash;
    if (host)
        host->StatusState(recycle ? 9 : 8);

    // Just before the deletion: each archive must still be the file unpacked, and its pictures durable.
    CXSStringArray planned;
    QStringList paths;
    QList<QStringList> sets; // volume sets, each deleted whole on its own
    QStringList onDisk;
    for (CXSelItem& sel : selection) {
        if (sel.m_nArchive < 0 || sel.m_nArchive >= list.m_arrArchives.size() || sel.m_bDeleted)
            continue;
        const CXArchiveFile& archive = list.m_arrArchives.at(sel.m_nArchive);
        if (!plan.m_arrPaths.contains(archive.m_strPath) || planned.Contains(archive.m_strPath))
            continue;
        const QString why = WhyKept(sel, archive, settings);
        if (!why.isEmpty()) {
            sel.m_strKept = why;
            continue;
        }
        planned.InsertSorted(archive.m_strPath);
        if (archive.m_arrVolumes.isEmpty())
            paths.append(archive.m_strPath);
        else
            sets.append(archive.AllVolumes());
        onDisk += sel.m_arrOnDisk;
    }
    // Pictures that could not be flushed keep every archive: which of them they belong to is not known.
    if (!zelvano::platform::MakeDurable(onDisk)) {
        paths.clear();
        sets.clear();
    }
    // Its answer says little (a permanent deletion stops at the first failure): each path is looked at.
    bool allGone = true;
    if (!paths.isEmpty()) {
        (void)deleteArchives(paths, recycle);
        allGone = std::all_of(paths.cbegin(), paths.cend(), PathIsGone);
    }
    // A set goes volume by volume, never in part where it can be helped; a permanent deletion that left
    // something stops before the next one, as it does for single archives.
    for (const QStringList& set : std::as_const(sets)) {
        if (!recycle && !allGone)
            break;
        const QStringList left =
            DeleteVolumes(set, recycle, [&](const QString& path, bool trash) { return deleteArchives({path}, trash); });
        allGone = allGone && left.isEmpty();
    }
    for (CXSelItem& sel : selection) {
        if (sel.m_nArchive < 0 || sel.m_nArchive >= list.m_arrArchives.size())
            continue;
        CXArchiveFile& archive = list.m_arrArchives[sel.m_nArchive];
        if (sel.m_bDeleted || !sel.m_bExtracted || !planned.Contains(archive.m_strPath))
            continue;
        QStringList left;
        for (const QString& path : archive.AllVolumes()) {
            if (!PathIsGone(path))
                left << path;
        }
        if (left.isEmpty()) {
            archive.m_bRemoved = 1;
            sel.m_bDeleted = true;
            if (host)
                host->RemoveArchiveRow(sel.m_nArchive);
            ++result.m_nDeleted;
        } else if (!sel.m_bDeleteFailed) {
            RecordDeleteFailure(archive, recycle, left);
            sel.m_bDeleteFailed = true;
            sel.m_strKept = zelvano::kept::DeleteFailed(recycle);
            ++result.m_nFailed;
        }
    }
    explainKept(zelvano::kept::NotConfirmed());
    return result;
}
