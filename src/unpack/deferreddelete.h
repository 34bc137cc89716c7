#pragma once

#include "unpack/unpackrun.h"

#include <functional>
#include <QList>
#include <QString>
#include <QStringList>

class CXArchiveList;
class CXSettings;
class CXWorkerHost;

// The deletion "After processing all archive(s)": once a run has ended without being stopped, one
// question lists the archives to delete and one operation deletes them.
struct DeferredDeletionPlan
{
    QStringList m_arrPaths; // sorted and unique, ignoring case
    QString m_strQuestion;  // empty when there is nothing to delete
};

// The archives of the selection whose every entry this run accounted for (see WhyKept) and that are
// still the files unpacked, with the question naming the first four in selection order. Without settings
// the defaults hold (archives that hold other files stay).
DeferredDeletionPlan PlanDeferredDeletion(const CXArchiveList& list, const QList<CXSelItem>& selection,
                                          const CXSettings* settings = nullptr);

struct DeferredDeletionResult
{
    bool m_bAsked = false;     // the question was put to the user
    bool m_bConfirmed = false; // the deletion was carried out
    int m_nDeleted = 0;        // archives gone afterwards
    int m_nFailed = 0;         // archives that were to go but are still there (recorded as failed)
};

// Runs the deferred deletion when the options choose it (deletion on, timing "after all"). confirm puts
// the question (it is not called when confirmation is off); host, when given, shows the status and drops
// the rows of deleted archives. Deleted archives are marked removed; an archive that was to go but is
// still there keeps its row and gets a failed record, so the results count it.
DeferredDeletionResult RunDeferredDeletion(CXArchiveList& list, QList<CXSelItem>& selection, const CXSettings& settings,
                                           const std::function<bool(const QString&)>& confirm, CXWorkerHost* host,
                                           const std::function<bool(const QStringList&, bool)>& deleteArchives);
