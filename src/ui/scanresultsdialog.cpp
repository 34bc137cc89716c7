#include "ui/scanresultsdialog.h"

#include "common/format.h"
#include "common/textcompare.h"
#include "platform/desktop/shell.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"

#include <algorithm>
#include <numeric>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

namespace {

// The sizes the dialog was laid out in, in pixels at 1x: the least it needs to show its texts whole.
constexpr int kLabelColumnWidth = 130;
constexpr int kValueColumnWidth = 288;
constexpr int kSummaryMinWidth = 420;
constexpr int kSummaryMinHeight = 205;
constexpr int kDetailsHeight = 180;
constexpr int kDetailsMinHeight = 90;
constexpr int kButtonMinWidth = 84;

const char* const kNoInvalidText = "No Invalid Archives...";

// The item view pads a cell's text on either side by the focus frame's margin and one pixel more.
int TextPadding(const QTreeWidget* list)
{
    return 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
}

QTreeWidgetItem* AddSummaryRow(QTreeWidget* list, const QString& label, const QString& value)
{
    auto* item = new QTreeWidgetItem(list, {label, value});
    item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    // Readable, but nothing to select or edit.
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

CDLGScanResults::CDLGScanResults(const ScanReportFigures& figures, const CXArchiveList& archives, QWidget* parent)
    : QDialog(parent), m_figures(figures), m_archives(archives), m_nDetailsHeight(kDetailsHeight)
{
    setObjectName(QStringLiteral("scanResultsDialog"));
    setWindowTitle(QStringLiteral("Scan Results"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    m_pSummary = new QTreeWidget(this);
    m_pSummary->setObjectName(QStringLiteral("summaryList"));
    m_pSummary->setColumnCount(2);
    m_pSummary->setHeaderLabels({QStringLiteral("Field Name"), QStringLiteral("Field Value")});
    m_pSummary->setHeaderHidden(true);
    m_pSummary->setRootIsDecorated(false);
    m_pSummary->setIndentation(0);
    m_pSummary->setUniformRowHeights(true);
    m_pSummary->setSelectionMode(QAbstractItemView::NoSelection);
    m_pSummary->setFocusPolicy(Qt::NoFocus);
    m_pSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pSummary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pSummary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pSummary->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    m_pSummary->header()->setStretchLastSection(true);
    m_pSummary->setColumnWidth(0, kLabelColumnWidth);
    m_pSummary->setColumnWidth(1, kValueColumnWidth);
    FillSummary();

    m_pDetailsButton = new QPushButton(QStringLiteral("Show Details"), this);
    m_pDetailsButton->setObjectName(QStringLiteral("detailsButton"));
    m_pSaveButton = new QPushButton(QStringLiteral("Save Report"), this);
    m_pSaveButton->setObjectName(QStringLiteral("saveReportButton"));
    m_pDoneButton = new QPushButton(QStringLiteral("Done"), this);
    m_pDoneButton->setObjectName(QStringLiteral("doneButton"));
    m_pDoneButton->setDefault(true);
    for (QPushButton* button : {m_pDetailsButton, m_pSaveButton, m_pDoneButton})
        button->setMinimumWidth(kButtonMinWidth);

    m_pDetails = new QTreeWidget(this);
    m_pDetails->setObjectName(QStringLiteral("detailsList"));
    m_pDetails->setColumnCount(1);
    m_pDetails->setHeaderLabels({QStringLiteral("Invalid Archives")});
    m_pDetails->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    m_pDetails->header()->setSectionsClickable(false);
    m_pDetails->setRootIsDecorated(false);
    m_pDetails->setIndentation(0);
    m_pDetails->setUniformRowHeights(true);
    m_pDetails->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pDetails->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pDetails->setAllColumnsShowFocus(true);
    m_pDetails->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pDetails->setMinimumHeight(kDetailsMinHeight);
    m_pDetails->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    FillDetails();
    m_pDetails->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pDetailsButton);
    buttons->addWidget(m_pSaveButton);
    buttons->addWidget(m_pDoneButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addLayout(buttons);
    layout->addWidget(m_pDetails, 1);
    // Takes the height the user adds while the details are folded, so the summary and buttons stay put.
    layout->addStretch(0);

    m_pDetailsButton->setEnabled(m_figures.m_nInvalid > 0);

    connect(m_pDetailsButton, &QPushButton::clicked, this, &CDLGScanResults::ToggleDetails);
    connect(m_pSaveButton, &QPushButton::clicked, this, &CDLGScanResults::SaveReport);
    connect(m_pDoneButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pDetails, &QTreeWidget::itemDoubleClicked, this, &CDLGScanResults::ShowInFileManagerFor);
    connect(m_pSummary->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column == 1)
            ShowScanPath(width);
    });

    m_chooseReportPath = [this](const QString& proposedPath) {
        QFileDialog dialog(this, QStringLiteral("Save As"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("Text Files (*.txt)"));
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setDirectory(QFileInfo(proposedPath).absolutePath());
        dialog.selectFile(proposedPath);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    m_openReport = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    m_showInFileManager = [](const QString& path) { ShowInFileManager(path); };
}

void CDLGScanResults::FillSummary()
{
    const ScanReportFigures& f = m_figures;
    AddSummaryRow(m_pSummary, QStringLiteral("Scan Path:"), QString());
    AddSummaryRow(m_pSummary, QStringLiteral("Started:"), FormatReportTime(f.m_tStarted));
    AddSummaryRow(m_pSummary, QStringLiteral("Finished:"), FormatReportTime(f.m_tFinished));
    AddSummaryRow(m_pSummary, QStringLiteral("Elapsed Time:"), f.m_strElapsed);
    AddSummaryRow(m_pSummary, QStringLiteral("Total Archives Found:"), FormatNumber(f.m_nTotalFound));
    AddSummaryRow(m_pSummary, QStringLiteral("Valid Archives:"), FormatNumber(f.m_nValid));
    AddSummaryRow(m_pSummary, QStringLiteral("Invalid Archives:"), FormatNumber(f.m_nInvalid));
    AddSummaryRow(m_pSummary, QStringLiteral("Skipped Archives:"), FormatNumber(f.m_nSkipped));
    AddSummaryRow(m_pSummary, QStringLiteral("Zip Archives:"), FormatNumber(f.m_nZipCount));
    AddSummaryRow(m_pSummary, QStringLiteral("RAR Archives:"), FormatNumber(f.m_nRarCount));
    AddSummaryRow(m_pSummary, QStringLiteral("Total Photos:"), FormatNumber(f.m_nTotalPhotos));
    AddSummaryRow(m_pSummary, QStringLiteral("Size on Disk:"), FormatByteSize(f.m_nSizeOnDisk));
    m_pSummary->topLevelItem(0)->setToolTip(1, QDir::toNativeSeparators(f.m_strScanPath));
    ShowScanPath(kValueColumnWidth);

    // The labels show whole, also in a font wider than the one the sizes were chosen for.
    int labelWidth = kLabelColumnWidth;
    for (int row = 0; row < m_pSummary->topLevelItemCount(); ++row)
        labelWidth =
            std::max(labelWidth, m_pSummary->fontMetrics().horizontalAdvance(m_pSummary->topLevelItem(row)->text(0)) +
                                     TextPadding(m_pSummary) + 8);
    m_pSummary->setColumnWidth(0, labelWidth);

    // Every row shows without a scroll bar.
    const int rows = m_pSummary->topLevelItemCount();
    const int rowHeight = std::max(m_pSummary->sizeHintForRow(0), m_pSummary->fontMetrics().height());
    const int height = rows * rowHeight + 2 * m_pSummary->frameWidth();
    m_pSummary->setMinimumWidth(
        std::max(kSummaryMinWidth, labelWidth + kValueColumnWidth + 2 * m_pSummary->frameWidth()));
    m_pSummary->setFixedHeight(std::max(height, kSummaryMinHeight));
}

void CDLGScanResults::ShowScanPath(int columnWidth)
{
    QTreeWidgetItem* row = m_pSummary->topLevelItem(0);
    if (row == nullptr)
        return;
    const int padding = TextPadding(m_pSummary);
    const QString full = QDir::toNativeSeparators(m_figures.m_strScanPath);
    row->setText(1, m_pSummary->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(columnWidth - padding, 0)));
}

void CDLGScanResults::FillDetails()
{
    const QList<CXFileItem>& invalid = m_archives.m_arrInvalid;
    if (invalid.isEmpty()) {
        auto* item = new QTreeWidgetItem(m_pDetails, {QString::fromLatin1(kNoInvalidText)});
        item->setData(0, Qt::UserRole, 0);
        m_pDetails->setEnabled(false);
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
        auto* item = new QTreeWidgetItem({file.m_strFileName});
        item->setData(0, Qt::UserRole, index);
        item->setToolTip(0, QDir::toNativeSeparators(file.m_strPath));
        items << item;
    }
    m_pDetails->addTopLevelItems(items);
}

QString CDLGScanResults::ProposedReportPath() const
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QDir(folder).filePath(ProposedScanReportName(m_figures.m_tStarted));
}

void CDLGScanResults::ToggleDetails()
{
    auto* box = layout();
    const int gap = box->spacing();
    if (!m_bDetailsShown) {
        const int grow = m_nDetailsHeight + gap;
        const int newHeight = height() + grow;
        m_pDetails->show();
        box->activate();
        resize(width(), newHeight);
    } else {
        m_nDetailsHeight = m_pDetails->height();
        const int newHeight = height() - m_nDetailsHeight - gap;
        m_pDetails->hide();
        box->activate();
        resize(width(), newHeight);
    }
    m_bDetailsShown = !m_bDetailsShown;
    m_pDetailsButton->setText(m_bDetailsShown ? QStringLiteral("Hide Details") : QStringLiteral("Show Details"));
}

void CDLGScanResults::ShowInFileManagerFor(QTreeWidgetItem* item)
{
    if (item == nullptr || m_archives.m_arrInvalid.isEmpty())
        return;
    const qsizetype index = item->data(0, Qt::UserRole).toLongLong();
    if (index < 0 || index >= m_archives.m_arrInvalid.size())
        return;
    if (m_showInFileManager)
        m_showInFileManager(m_archives.m_arrInvalid.at(index).m_strPath);
    m_pDetails->setFocus();
}

void CDLGScanResults::SetButtonsEnabled(bool enabled)
{
    m_pDoneButton->setEnabled(enabled);
    m_pSaveButton->setEnabled(enabled);
    m_pDetailsButton->setEnabled(enabled && m_figures.m_nInvalid > 0);
}

void CDLGScanResults::SaveReport()
{
    if (m_bWriting || !m_chooseReportPath)
        return;
    const QString path = m_chooseReportPath(ProposedReportPath());
    if (path.isEmpty())
        return;

    // The window stays responsive while a long report is written; the disabled buttons keep it from
    // starting a second report or closing meanwhile.
    m_bWriting = true;
    SetButtonsEnabled(false);
    QCoreApplication::processEvents();
    const bool written = WriteScanReport(path, m_figures, m_archives, [] { QCoreApplication::processEvents(); });
    if (written && m_openReport)
        m_openReport(path);
    QCoreApplication::processEvents();
    m_bWriting = false;
    SetButtonsEnabled(true);
    if (!written)
        ShowReportError(path);
    activateWindow();
    setFocus();
}

void CDLGScanResults::ShowReportError(const QString& path)
{
    // The writer only says that a line failed; opening the file once more names the reason.
    QString reason;
    const bool existed = QFileInfo::exists(path);
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        reason = probe.errorString();
    } else {
        probe.close();
        if (!existed)
            QFile::remove(path);
    }
    if (reason.isEmpty())
        reason = QStringLiteral("the file could not be written");

    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Zelvano"),
        QStringLiteral("The scan report could not be saved to \"%1\": %2.").arg(QDir::toNativeSeparators(path), reason),
        QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("reportErrorBox"));
    box.exec();
}

void CDLGScanResults::reject()
{
    if (m_bWriting)
        return;
    QDialog::reject();
}
