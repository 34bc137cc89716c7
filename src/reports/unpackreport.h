#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CXArchiveFile;
struct CXArchiveItem;

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
};

// Why a failed entry failed: the reason the extraction recorded (a different file in the way, a name that
// leads outside, an error code with a file left behind, an archive that did not open or go), except for a
// failed call that wrote nothing; else the first missing of written, right size, loads.
QString FailedItemReason(const CXArchiveItem& item);

// Lines 5 to 13 of the report: the labelled figures, from "Scan Path:" to "Number of Errors:".
QStringList UnpackReportSummaryLines(const UnpackReportData& data);
// The whole report, one entry per line, without line ends.
QStringList UnpackReportLines(const UnpackReportData& data);
// Replaces the file with the report, written one line at a time (CR LF). False when a line could not be
// written.
bool WriteUnpackReport(const QString& filePath, const UnpackReportData& data);
