#include "reports/scanreport.h"

#include "common/format.h"
#include "common/saturating.h"
#include "reports/reportwriter.h"
#include "scan/archivelist.h"

#include <QDir>

ScanReportFigures MakeScanReportFigures(const CXArchiveList& list, const QString& scanPath, qint64 started,
                                        qint64 finished, const QString& elapsed)
{
    ScanReportFigures f;
    f.m_strScanPath = scanPath;
    f.m_tStarted = started;
    f.m_tFinished = finished;
    f.m_strElapsed = elapsed;
    f.m_nZipCount = list.m_nZipCount;
    f.m_nRarCount = list.m_nRarCount;
    f.m_nSevenZCount = list.m_nSevenZCount;
    f.m_nValid = list.m_arrArchives.size();
    f.m_nInvalid = list.m_arrInvalid.size();
    f.m_nTotalFound = f.m_nValid + f.m_nInvalid;
    f.m_nSkipped = list.m_arrSkipped.size();
    for (const CXArchiveFile& a : list.m_arrArchives) {
        f.m_nTotalPhotos += a.m_nPhotoCount;
        f.m_nSizeOnDisk = SaturatingAdd(f.m_nSizeOnDisk, a.m_nPhotoBytes);
    }
    return f;
}

QString FormatReportTime(qint64 secondsSince1970)
{
    return FormatTime(secondsSince1970, "%A, %B %d, %Y @%I:%M:%S %p");
}

QStringList ScanSummaryLines(const ScanReportFigures& f)
{
    QStringList lines{
        ReportFieldLine(QStringLiteral("Scan Path:"), QDir::toNativeSeparators(f.m_strScanPath)),
        ReportFieldLine(QStringLiteral("Started:"), FormatReportTime(f.m_tStarted)),
        ReportFieldLine(QStringLiteral("Finished:"), FormatReportTime(f.m_tFinished)),
        ReportFieldLine(QStringLiteral("Elapsed Time:"), f.m_strElapsed),
        ReportFieldLine(QStringLiteral("Total Archives Found:"), FormatNumber(f.m_nTotalFound)),
        ReportFieldLine(QStringLiteral("Valid Archives:"), FormatNumber(f.m_nValid)),
        ReportFieldLine(QStringLiteral("Invalid Archives:"), FormatNumber(f.m_nInvalid)),
        ReportFieldLine(QStringLiteral("Skipped Archives:"), FormatNumber(f.m_nSkipped)),
        ReportFieldLine(QStringLiteral("Zip Archives:"), FormatNumber(f.m_nZipCount)),
        ReportFieldLine(QStringLiteral("RAR Archives:"), FormatNumber(f.m_nRarCount)),
    };
    // Reports of trees without 7z archives keep the lines they always had.
    if (f.m_nSevenZCount > 0)
        lines << ReportFieldLine(QStringLiteral("7z Archives:"), FormatNumber(f.m_nSevenZCount));
    lines << ReportFieldLine(QStringLiteral("Total Photos:"), FormatNumber(f.m_nTotalPhotos))
          << ReportFieldLine(QStringLiteral("Size on Disk:"), FormatByteSize(f.m_nSizeOnDisk));
    return lines;
}

QString ScanArchiveLine(const CXArchiveFile& archive)
{
    return QLatin1Char(' ') + FormatQuantity(archive.m_nPhotoCount, QStringLiteral("Photo"), true).leftJustified(20) +
           QDir::toNativeSeparators(archive.m_strPath);
}

namespace {

void AddSection(QStringList& lines, const QString& title)
{
    lines << QString() << ReportSeparatorLine() << title << ReportSeparatorLine() << QString();
}

} // namespace

QStringList ScanReportLines(const ScanReportFigures& figures, const CXArchiveList& list)
{
    QStringList lines;
    lines << ReportSeparatorLine() << QStringLiteral("Zelvano Scan Report") << ReportSeparatorLine() << QString();
    lines << ScanSummaryLines(figures);
    if (!list.m_arrSkipped.isEmpty()) {
        AddSection(lines,
                   QStringLiteral("Files Skipped - No matching image/documents found in the following archive(s)."));
        for (const QString& path : list.m_arrSkipped)
            lines << QDir::toNativeSeparators(path);
    }
    if (!list.m_arrInvalid.isEmpty()) {
        AddSection(lines, QStringLiteral("Invalid Archive Files:"));
        for (const CXFileItem& item : list.m_arrInvalid)
            lines << (item.m_strReason.isEmpty()
                          ? QDir::toNativeSeparators(item.m_strPath)
                          : QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(item.m_strPath), item.m_strReason));
    }
    if (!list.m_arrArchives.isEmpty()) {
        AddSection(lines, QStringLiteral("Valid Archive Files:"));
        for (const CXArchiveFile& archive : list.m_arrArchives)
            lines << ScanArchiveLine(archive);
    }
    return lines;
}

bool WriteScanReport(const QString& filePath, const ScanReportFigures& figures, const CXArchiveList& list,
                     const std::function<void()>& afterLine)
{
    // A file that cannot be removed is left alone: appending to it would mix two reports.
    if (!RemoveReportFile(filePath))
        return false;
    bool ok = true;
    for (const QString& line : ScanReportLines(figures, list)) {
        ok = AppendReportLine(filePath, line) && ok;
        if (afterLine)
            afterLine();
    }
    return ok;
}

QString ProposedScanReportName(qint64 started)
{
    return FormatTime(started, "SCAN %m-%d-%Y") + QStringLiteral(" (") + QString::number(qint32(started)) +
           QStringLiteral(").txt");
}
