#pragma once

#include "reports/unpackreport.h"
#include "unpack/unpackrun.h"

#include <QList>

class CXArchiveList;
class CXSettings;

// What became of each archive of a run that chose deletion (deleted, or kept with the reason); nothing when
// the run deleted nothing by choice.
QList<UnpackArchiveFate> ArchiveFates(const QList<CXSelItem>& selection, const CXSettings& options);

// The results of a run that has ended, as its report and the results dialog show them: the figures summed over
// the selection, the run's archives (only those it reached when it was stopped) and their fates. The scan
// path and the times are the caller's.
UnpackReportData MakeUnpackReportData(const CXArchiveList& list, const QList<CXSelItem>& selection,
                                      const CXSettings& options, int archivesProcessed, bool stopped);
