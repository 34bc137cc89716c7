#include "ui/unpackresultsdialog.h"

#include "common/format.h"
#include "reports/scanreport.h"
#include "reports/unpackreport.h"
#include "scan/archivelist.h"

#include <QDir>
#include <QHeaderView>
#include <QTreeWidget>

namespace {

// The sizes the dialog was laid out in: a wider label column for "Number Skipped (Duplicate):" and nine
// rows instead of twelve.
constexpr int kLabelColumnWidth = 150;
constexpr int kValueColumnWidth = 268;
constexpr int kSummaryMinHeight = 189;
constexpr int kErrorsColumnWidth = 60;
constexpr int kArchiveColumnWidth = 335;

} // namespace

CDLGUnpackResults::CDLGUnpackResults(const UnpackReportData& data, QWidget* parent)
    : CXResultsDialog(tr("Unpack Results"), tr("The unpack report could not be saved to \"%1\": %2."),
                      data.m_strScanPath, Layout{kLabelColumnWidth, kValueColumnWidth, kSummaryMinHeight}, parent),
      m_data(data)
{
    setObjectName(QStringLiteral("unpackResultsDialog"));

    // The value texts come from the same formatters as the report's summary lines, so the two never disagree.
    const UnpackReportData& d = m_data;
    QList<std::pair<QString, QString>> rows{
        {tr("Started:"), FormatReportTime(d.m_tStarted)},
        {tr("Finished:"), FormatReportTime(d.m_tFinished)},
        {tr("Elapsed Time:"), d.m_strElapsed},
        {tr("Archives Processed:"), FormatNumber(d.m_nArchivesProcessed)},
        {tr("Photos Extracted:"), FormatNumber(d.m_nExtracted)},
        {tr("Size on Disk:"), FormatByteSize(d.m_nBytesOnDisk)},
        {tr("Number Skipped (Duplicate):"), FormatNumber(d.m_nSkipped)},
        {tr("Number of Errors:"), FormatNumber(d.m_nErrors)},
    };
    // A run that met photo exports says which and how many of their pictures got their dates back.
    if (!d.m_arrExports.isEmpty()) {
        rows.append({tr("Photo Exports:"), d.m_arrExports.join(QStringLiteral(", "))});
        rows.append({tr("Dates Restored:"), FormatNumber(d.m_nDatesRestored)});
        rows.append({tr("No Date Found:"), FormatNumber(d.m_nNoDate)});
    }
    FillSummary(rows);

    QTreeWidget* details = Details();
    details->setColumnCount(2);
    details->setHeaderLabels({tr("Errors"), tr("Archives with Errors")});
    details->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    details->headerItem()->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    details->header()->setStretchLastSection(true);
    details->setColumnWidth(0, kErrorsColumnWidth);
    details->setColumnWidth(1, kArchiveColumnWidth);
    FillDetails();
    RefreshButtons();
}

void CDLGUnpackResults::FillDetails()
{
    if (m_data.m_pArchives == nullptr)
        return;
    // In the order of the found list, as the report's errors section; no placeholder when there is none.
    const QList<CXArchiveFile>& archives = *m_data.m_pArchives;
    QList<QTreeWidgetItem*> items;
    for (qsizetype index = 0; index < archives.size(); ++index) {
        const CXArchiveFile& archive = archives.at(index);
        if (archive.m_arrFailedItems.isEmpty())
            continue;
        auto* item = new QTreeWidgetItem({FormatNumber(archive.m_nErrors), archive.m_strFileName});
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setData(0, Qt::UserRole, index);
        const QString path = QDir::toNativeSeparators(archive.m_strPath);
        item->setToolTip(0, path);
        item->setToolTip(1, path);
        items << item;
    }
    Details()->addTopLevelItems(items);
}

QString CDLGUnpackResults::ProposedReportName() const
{
    return ProposedUnpackReportName(m_data.m_tStarted);
}

bool CDLGUnpackResults::WriteReport(const QString& path)
{
    return WriteUnpackReport(path, m_data);
}

bool CDLGUnpackResults::DetailsAvailable() const
{
    // Compared as unsigned: any count but 0 has something behind it.
    return m_data.m_nErrors != 0;
}

QString CDLGUnpackResults::ArchivePathOf(const QTreeWidgetItem* item) const
{
    if (m_data.m_pArchives == nullptr)
        return QString();
    const qsizetype index = item->data(0, Qt::UserRole).toLongLong();
    if (index < 0 || index >= m_data.m_pArchives->size())
        return QString();
    // An archive deleted since is still shown by its path: the file manager then opens its folder.
    return m_data.m_pArchives->at(index).m_strPath;
}
