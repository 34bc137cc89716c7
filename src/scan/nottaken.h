#pragma once

#include "scan/archivelist.h"

#include <QList>

// Why a file named like an archive did not open: the reason the scan gave (a missing volume, a split
// ZIP set), else its own for the open code.
QString InvalidArchiveReason(const CXFileItem& item);
// Why an archive of this type (0 ZIP, 1 RAR, 2 7z) did not open, from its reader's open result.
QString OpenFailureReason(int type, int error);

// Everything a scan met and did not take, with the reason: the archives that did not open, those with no
// picture of an enabled type, and what the walk itself passed over (trash, links out, ...), in that order.
// m_bMissed marks what may hold pictures the run cannot reach: an archive that did not open (an
// incomplete volume set too), a name that cannot be read.
QList<CXNotTaken> ArchivesNotTaken(const CXArchiveList& list);
