#include "reports/unpackreport.h"

#include "common/format.h"
#include "reports/reportwriter.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"

#include <QDir>

namespace {

QString Field(const QString& label, const QString& value)
{
    return label.leftJustified(30) + value;
}

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

void AppendHeading(QStringList& lines, const QString& title)
{
    lines << QString() << ReportSeparatorLine() << title << ReportSeparatorLine() << QString();
}

// The path of a fate's archive; empty for an index outside the list.
QString FatePath(const UnpackReportData& data, const UnpackArchiveFate& fate)
{
    if (!data.m_pArchives || fate.m_nArchive < 0 || fate.m_nArchive >= data.m_pArchives->size())
        return QString();
    return Native(data.m_pArchives->at(fate.m_nArchive).m_strPath);
}

} // namespace

QString FailedItemReason(const CXArchiveItem& item)
{
    // An extraction call that failed and wrote nothing is the plain "can't be saved"; any other recorded
    // reason (a different file in the way, a name leading outside, an error code with a file left behind)
    // names the fault better than the flags that follow from it.
    const bool failedCallWroteNothing = !item.m_bExists && item.m_nResult != 0;
    if (!item.m_strReason.isEmpty() && !failedCallWroteNothing)
        return item.m_strReason;
    if (!item.m_bExists)
        return QStringLiteral("Image can't be saved");
    if (!item.m_bSizeMatches)
        return QStringLiteral("Uncompressed Filesize mismatch");
    if (!item.m_bLoads)
        return QStringLiteral("Image is invalid (damaged or corrupted)");
    return QString();
}

QStringList UnpackReportSummaryLines(const UnpackReportData& data)
{
    return {
        Field(QStringLiteral("Scan Path:"), Native(data.m_strScanPath)),
        Field(QStringLiteral("Started:"), FormatReportTime(data.m_tStarted)),
        Field(QStringLiteral("Finished:"), FormatReportTime(data.m_tFinished)),
        Field(QStringLiteral("Elapsed Time:"), data.m_strElapsed),
        Field(QStringLiteral("Archives Processed:"), FormatNumber(data.m_nArchivesProcessed)),
        Field(QStringLiteral("Photos Extracted:"), FormatNumber(data.m_nExtracted)),
        Field(QStringLiteral("Size on Disk:"), FormatByteSize(data.m_nBytesOnDisk)),
        Field(QStringLiteral("Number Skipped (Duplicate):"), FormatNumber(data.m_nSkipped)),
        Field(QStringLiteral("Number of Errors:"), FormatNumber(data.m_nErrors)),
    };
}

QStringList UnpackExportLines(const UnpackReportData& data)
{
    if (data.m_arrExports.isEmpty())
        return {};
    return {
        Field(QStringLiteral("Photo Exports:"), data.m_arrExports.join(QStringLiteral(", "))),
        Field(QStringLiteral("Dates Restored:"), FormatNumber(data.m_nDatesRestored)),
        Field(QStringLiteral("No Date Found:"), FormatNumber(data.m_nNoDate)),
    };
}

QStringList UnpackFateLines(const UnpackReportData& data)
{
    QStringList lines;
    for (const UnpackArchiveFate& fate : data.m_arrFates) {
        const QString path = FatePath(data, fate);
        if (path.isEmpty())
            continue;
        if (fate.m_nDeleted == ArchiveDeletion::Trash)
            lines << QStringLiteral("Deleted (trash): ") + path;
        else if (fate.m_nDeleted == ArchiveDeletion::Permanent)
            lines << QStringLiteral("Deleted (permanently): ") + path;
        else if (!fate.m_strKept.isEmpty())
            lines << QStringLiteral("Kept: %1: %2").arg(path, fate.m_strKept);
    }
    return lines;
}

QStringList UnpackReportLines(const UnpackReportData& data)
{
    QStringList lines;
    lines << ReportSeparatorLine() << QStringLiteral("Zelvano Unpack Report") << ReportSeparatorLine() << QString();
    lines << UnpackReportSummaryLines(data);
    lines << UnpackExportLines(data);

    static const QString indent(3, QLatin1Char(' '));
    if (data.m_nErrors != 0 && data.m_pArchives) {
        AppendHeading(lines, QStringLiteral("Archive Files with errors:"));
        for (const CXArchiveFile& archive : *data.m_pArchives) {
            if (archive.m_arrFailedItems.isEmpty())
                continue;
            lines << QStringLiteral("In archive: %1").arg(Native(archive.m_strPath));
            for (const CXArchiveItem& item : archive.m_arrFailedItems) {
                lines << indent + Native(item.m_strPath);
                lines << indent + QStringLiteral("-> ") + FailedItemReason(item);
                lines << QString();
            }
        }
    }

    // Archives that stayed although deletion was chosen, each with the reason.
    bool keptHeading = false;
    for (const UnpackArchiveFate& fate : data.m_arrFates) {
        const QString path = FatePath(data, fate);
        if (path.isEmpty() || fate.m_nDeleted != ArchiveDeletion::None || fate.m_strKept.isEmpty())
            continue;
        if (!keptHeading)
            AppendHeading(lines, QStringLiteral("Archive Files kept:"));
        keptHeading = true;
        lines << path << indent + QStringLiteral("-> ") + fate.m_strKept << QString();
    }

    if (!data.m_arrSelection.isEmpty() && data.m_pArchives) {
        AppendHeading(lines, QStringLiteral("Processed Archive Files:"));
        for (qint32 index : data.m_arrSelection) {
            if (index < 0 || index >= data.m_pArchives->size())
                continue;
            const CXArchiveFile& archive = data.m_pArchives->at(index);
            lines << QLatin1Char(' ') +
                         FormatQuantity(archive.m_nPhotoCount, QStringLiteral("Photo"), true).leftJustified(20) +
                         Native(archive.m_strPath);
        }
    }
    return lines;
}

bool WriteUnpackReport(const QString& filePath, const UnpackReportData& data)
{
    // An existing file that cannot be removed is written to after its content.
    RemoveReportFile(filePath);
    bool ok = true;
    for (const QString& line : UnpackReportLines(data))
        ok = AppendReportLine(filePath, line) && ok;
    return ok;
}

QString ProposedUnpackReportName(qint64 started)
{
    // The number is the run's start time, so saving twice from one run proposes the same name.
    return FormatTime(started, "UNPACK %m-%d-%Y") + QStringLiteral(" (") + QString::number(qint32(started)) +
           QStringLiteral(").txt");
}
