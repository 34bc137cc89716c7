#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CXArchiveFile;
struct CXArchiveItem;

// How an archive of a run that chose deletion left the disk.
enum class ArchiveDeletion
{
    None,      // still there (see the kept reason)
    Trash,     // moved to the trash
    Permanent, // deleted permanently
};

// What became of one archive of a run that chose deletion: deleted, or kept with the reason.
struct UnpackArchiveFate
{
    qint32 m_nArchive = -1; // index into UnpackReportData::m_pArchives
    ArchiveDeletion m_nDeleted = ArchiveDeletion::None;
    QString m_strKept; // why it was kept although deletion was chosen; empty when deleted
};

// What the unpack report shows of one run.
struct UnpackReportData
{
    QString m_strScanPath;
    qint64 m_tStarted = 0;  // seconds since 1970
    qint64 m_tFinished = 0; // seconds since 1970
    QString m_strElapsed;   // "H:MM:SS"
    qint32 m_nArchivesProcessed = 0;
    qint32 m_nExtracted = 0;
    quint64 m_nBytesOnDisk = 0;
    qint32 m_nSkipped = 0;
    qint32 m_nErrors = 0;
    const QList<CXArchiveFile>* m_pArchives = nullptr; // every found archive, in list order
    QList<qint32> m_arrSelection;                      // the run's archives (indices into it), in order
    QList<UnpackArchiveFate> m_arrFates;               // in run order; empty when nothing was to be deleted
    // Google Takeout exports among the run's archives: their folder names ("Takeout 2024-06-01"), and
    // over their parts the pictures dated from their sidecars and those without one.
    QStringList m_arrExports;
    qint32 m_nDatesRestored = 0;
    qint32 m_nNoDate = 0;
};

// Why a failed entry failed: the reason the extraction recorded (a different file in the way, a name that
// leads outside, an error code with a file left behind, an archive that did not open or go), except for a
// failed call that wrote nothing; else the first missing of written, right size, loads.
QString FailedItemReason(const CXArchiveItem& item);

// Lines 5 to 13 of the report: the labelled figures, from "Scan Path:" to "Number of Errors:".
QStringList UnpackReportSummaryLines(const UnpackReportData& data);
// The photo export lines, after the summary: "Photo Exports:", "Dates Restored:" and "No Date Found:";
// none when the run held no export.
QStringList UnpackExportLines(const UnpackReportData& data);
// One line per archive deleted or kept, in run order: "Deleted (trash): PATH", "Deleted (permanently): PATH",
// "Kept: PATH: REASON". Archives with neither a deletion nor a reason give no line.
QStringList UnpackFateLines(const UnpackReportData& data);
// The whole report, one entry per line, without line ends.
QStringList UnpackReportLines(const UnpackReportData& data);
// Replaces the file with the report, written one line at a time (CR LF). False when a line could not be
// written.
bool WriteUnpackReport(const QString& filePath, const UnpackReportData& data);

// The proposed report file name: "UNPACK mm-dd-yyyy (start time in seconds).txt".
QString ProposedUnpackReportName(qint64 started);
