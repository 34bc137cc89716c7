#pragma once

#include <functional>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CXArchiveList;
class CXArchiveFile;

// The figures of one scan as its report and its results show them.
struct ScanReportFigures
{
    QString m_strScanPath;
    qint64 m_tStarted = 0;  // seconds since 1970
    qint64 m_tFinished = 0; // seconds since 1970
    QString m_strElapsed;   // the run timer's elapsed text
    qint64 m_nZipCount = 0;
    qint64 m_nRarCount = 0;
    qint64 m_nSevenZCount = 0;
    qint64 m_nTotalFound = 0; // valid plus invalid
    qint64 m_nValid = 0;
    qint64 m_nInvalid = 0;
    qint64 m_nSkipped = 0;
    qint64 m_nTotalPhotos = 0;
    quint64 m_nSizeOnDisk = 0; // photo bytes
};

// The figures of the model after a scan. Total photos and size on disk sum over every found archive (the
// desktop window sums over its list rows instead and overwrites the two).
ScanReportFigures MakeScanReportFigures(const CXArchiveList& list, const QString& scanPath, qint64 started,
                                        qint64 finished, const QString& elapsed);

// The time texts of the report ("Sunday, March 07, 2021 @02:05:09 PM" in the C locale).
QString FormatReportTime(qint64 secondsSince1970);

// The summary lines: scan path to size on disk, each label left-aligned in 22 characters. The 7z count
// has its line only when the scan found a 7z archive.
QStringList ScanSummaryLines(const ScanReportFigures& figures);
// The line of one found archive: one space, its photo quantity left-aligned in 20 characters, its path.
QString ScanArchiveLine(const CXArchiveFile& archive);
// Every line of the report, in order, without line ends.
QStringList ScanReportLines(const ScanReportFigures& figures, const CXArchiveList& list);

// Writes the report to filePath, replacing a file that is there, one line at a time. afterLine (if set) is
// called after each line, so a window can stay responsive. Returns false when a line could not be written
// (the others are still written).
bool WriteScanReport(const QString& filePath, const ScanReportFigures& figures, const CXArchiveList& list,
                     const std::function<void()>& afterLine = {});

// The proposed report file name: "SCAN mm-dd-yyyy (start time in seconds).txt".
QString ProposedScanReportName(qint64 started);
