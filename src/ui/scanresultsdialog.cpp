#include "ui/scanresultsdialog.h"

#include "common/format.h"
#include "common/textcompare.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"

#include <algorithm>
#include <numeric>
#include <QCoreApplication>
#include <QDir>
#include <QTreeWidget>
#include <vector>

namespace {

// The sizes the dialog was laid out in.
constexpr int kLabelColumnWidth = 130;
constexpr int kValueColumnWidth = 288;
constexpr int kSummaryMinHeight = 205;

} // namespace

CDLGScanResults::CDLGScanResults(const ScanReportFigures& figures, const CXArchiveList& archives, QWidget* parent)
    : CXResultsDialog(tr("Scan Results"), tr("The scan report could not be saved to \"%1\": %2."),
                      figures.m_strScanPath, Layout{kLabelColumnWidth, kValueColumnWidth, kSummaryMinHeight}, parent),
      m_figures(figures), m_archives(archives)
{
    setObjectName(QStringLiteral("scanResultsDialog"));

    const ScanReportFigures& f = m_figures;
    QList<std::pair<QString, QString>> rows{
        {tr("Started:"), FormatReportTime(f.m_tStarted)},
        {tr("Finished:"), FormatReportTime(f.m_tFinished)},
        {tr("Elapsed Time:"), f.m_strElapsed},
        {tr("Total Archives Found:"), FormatNumber(f.m_nTotalFound)},
        {tr("Valid Archives:"), FormatNumber(f.m_nValid)},
        {tr("Invalid Archives:"), FormatNumber(f.m_nInvalid)},
        {tr("Skipped Archives:"), FormatNumber(f.m_nSkipped)},
        {tr("Zip Archives:"), FormatNumber(f.m_nZipCount)},
        {tr("RAR Archives:"), FormatNumber(f.m_nRarCount)},
    };
    // As in the report: the 7z row only when the scan found a 7z archive.
    if (f.m_nSevenZCount > 0)
        rows.append({tr("7z Archives:"), FormatNumber(f.m_nSevenZCount)});
    rows.append({tr("Total Photos:"), FormatNumber(f.m_nTotalPhotos)});
    rows.append({tr("Size on Disk:"), FormatByteSize(f.m_nSizeOnDisk)});
    FillSummary(rows);

    QTreeWidget* details = Details();
    details->setColumnCount(1);
    details->setHeaderLabels({tr("Invalid Archives")});
    details->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    FillDetails();
    RefreshButtons();
}

void CDLGScanResults::FillDetails()
{
    QTreeWidget* details = Details();
    const QList<CXFileItem>& invalid = m_archives.m_arrInvalid;
    if (invalid.isEmpty()) {
        auto* item = new QTreeWidgetItem(details, {tr("No Invalid Archives...")});
        item->setData(0, Qt::UserRole, 0);
        details->setEnabled(false);
        return;
    }
    // Sorted by name, ignoring case first so that "b.zip" does not follow "Z.zip".
    std::vector<qsizetype> order(size_t(invalid.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&invalid](qsizetype a, qsizetype b) {
        const QString& nameA = invalid.at(a).m_strFileName;
        const QString& nameB = invalid.at(b).m_strFileName;
        const int noCase = CompareNoCase(nameA, nameB);
        return noCase != 0 ? noCase < 0 : nameA < nameB;
    });
    QList<QTreeWidgetItem*> items;
    items.reserve(invalid.size());
    for (qsizetype index : order) {
        const CXFileItem& file = invalid.at(index);
        // The reason, when the scan found one beyond "does not open", is what the user can act on.
        const QString text = file.m_strReason.isEmpty()
                                 ? file.m_strFileName
                                 : QStringLiteral("%1 (%2)").arg(file.m_strFileName, file.m_strReason);
        auto* item = new QTreeWidgetItem({text});
        item->setData(0, Qt::UserRole, index);
        item->setToolTip(0, QDir::toNativeSeparators(file.m_strPath));
        items << item;
    }
    details->addTopLevelItems(items);
}

QString CDLGScanResults::ProposedReportName() const
{
    return ProposedScanReportName(m_figures.m_tStarted);
}

bool CDLGScanResults::WriteReport(const QString& path)
{
    return WriteScanReport(path, m_figures, m_archives, [] { QCoreApplication::processEvents(); });
}

bool CDLGScanResults::DetailsAvailable() const
{
    return m_figures.m_nInvalid > 0;
}

QString CDLGScanResults::ArchivePathOf(const QTreeWidgetItem* item) const
{
    // The placeholder row of an empty list stands for no archive.
    const QList<CXFileItem>& invalid = m_archives.m_arrInvalid;
    if (invalid.isEmpty())
        return QString();
    const qsizetype index = item->data(0, Qt::UserRole).toLongLong();
    if (index < 0 || index >= invalid.size())
        return QString();
    return invalid.at(index).m_strPath;
}
