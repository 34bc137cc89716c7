#include "unpack/unpackresults.h"

#include "scan/archivelist.h"
#include "settings/settings.h"
#include "takeout/exportname.h"
#include "unpack/destination.h"

QList<UnpackArchiveFate> ArchiveFates(const QList<CXSelItem>& selection, const CXSettings& options)
{
    QList<UnpackArchiveFate> fates;
    if (options.m_nAfterExtraction == AfterDoNothing)
        return fates;
    const bool trash = options.m_nAfterExtraction == AfterDeleteToTrash;
    for (const CXSelItem& sel : selection) {
        UnpackArchiveFate fate;
        fate.m_nArchive = sel.m_nArchive;
        if (sel.m_bDeleted)
            fate.m_nDeleted = trash ? ArchiveDeletion::Trash : ArchiveDeletion::Permanent;
        else
            fate.m_strKept = sel.m_strKept;
        fates.append(fate);
    }
    return fates;
}

UnpackReportData MakeUnpackReportData(const CXArchiveList& list, const QList<CXSelItem>& selection,
                                      const CXSettings& options, int archivesProcessed, bool stopped)
{
    const UnpackTotals totals = SumUnpackFigures(list, selection);
    UnpackReportData data;
    data.m_nArchivesProcessed = archivesProcessed;
    data.m_nExtracted = totals.m_nExtracted;
    data.m_nBytesOnDisk = totals.m_nBytesOnDisk;
    data.m_nSkipped = totals.m_nSkipped;
    data.m_nErrors = totals.m_nErrors;
    data.m_nDatesRestored = totals.m_nDatesRestored;
    data.m_nNoDate = totals.m_nNoDate;
    data.m_pArchives = &list.m_arrArchives;
    for (const CXSelItem& sel : selection) {
        if (sel.m_bProcessed || !stopped)
            data.m_arrSelection.append(sel.m_nArchive);
        if (sel.m_nArchive < 0 || sel.m_nArchive >= list.m_arrArchives.size())
            continue;
        const CXArchiveFile& archive = list.m_arrArchives.at(sel.m_nArchive);
        if (IsExportPart(options, archive)) {
            const QString name = TakeoutFolderName(archive.m_strExportKey);
            if (!data.m_arrExports.contains(name))
                data.m_arrExports << name;
        }
    }
    data.m_arrFates = ArchiveFates(selection, options);
    return data;
}
