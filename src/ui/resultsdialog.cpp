#include "ui/resultsdialog.h"

#include "platform/desktop/shell.h"

#include <algorithm>
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

namespace {

constexpr int kSummaryMinWidth = 420;
constexpr int kDetailsHeight = 180;
constexpr int kDetailsMinHeight = 90;
constexpr int kButtonMinWidth = 84;

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

CXResultsDialog::CXResultsDialog(const QString& caption, const QString& saveErrorText, const QString& scanPath,
                                 const Layout& sizes, QWidget* parent)
    : QDialog(parent), m_strSaveErrorText(saveErrorText), m_strScanPath(scanPath), m_sizes(sizes),
      m_nDetailsHeight(kDetailsHeight)
{
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    m_pSummary = new QTreeWidget(this);
    m_pSummary->setObjectName(QStringLiteral("summaryList"));
    m_pSummary->setColumnCount(2);
    m_pSummary->setHeaderLabels({tr("Field Name"), tr("Field Value")});
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
    m_pSummary->setColumnWidth(0, m_sizes.m_nLabelColumnWidth);
    m_pSummary->setColumnWidth(1, m_sizes.m_nValueColumnWidth);

    m_pDetailsButton = new QPushButton(tr("Show Details"), this);
    m_pDetailsButton->setObjectName(QStringLiteral("detailsButton"));
    m_pSaveButton = new QPushButton(tr("Save Report"), this);
    m_pSaveButton->setObjectName(QStringLiteral("saveReportButton"));
    m_pDoneButton = new QPushButton(tr("Done"), this);
    m_pDoneButton->setObjectName(QStringLiteral("doneButton"));
    m_pDoneButton->setDefault(true);
    for (QPushButton* button : {m_pDetailsButton, m_pSaveButton, m_pDoneButton})
        button->setMinimumWidth(kButtonMinWidth);

    // The columns and rows are the derived dialog's; the behaviour is common.
    m_pDetails = new QTreeWidget(this);
    m_pDetails->setObjectName(QStringLiteral("detailsList"));
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

    connect(m_pDetailsButton, &QPushButton::clicked, this, &CXResultsDialog::ToggleDetails);
    connect(m_pSaveButton, &QPushButton::clicked, this, &CXResultsDialog::SaveReport);
    connect(m_pDoneButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pDetails, &QTreeWidget::itemDoubleClicked, this, &CXResultsDialog::ShowInFileManagerFor);
    connect(m_pSummary->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column == 1)
            ShowScanPath(width);
    });

    m_chooseReportPath = [this](const QString& proposedPath) {
        QFileDialog dialog(this, tr("Save As"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(tr("Text Files (*.txt)"));
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

void CXResultsDialog::FillSummary(const QList<std::pair<QString, QString>>& figures)
{
    AddSummaryRow(m_pSummary, tr("Scan Path:"), QString());
    for (const auto& [label, value] : figures)
        AddSummaryRow(m_pSummary, label, value);
    m_pSummary->topLevelItem(0)->setToolTip(1, QDir::toNativeSeparators(m_strScanPath));

    // The labels and the values (but the compacted path) show whole, also in a font wider than the one the
    // sizes were chosen for.
    const QFontMetrics metrics = m_pSummary->fontMetrics();
    const int padding = TextPadding(m_pSummary) + 8;
    int labelWidth = m_sizes.m_nLabelColumnWidth;
    int valueWidth = m_sizes.m_nValueColumnWidth;
    for (int row = 0; row < m_pSummary->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_pSummary->topLevelItem(row);
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(item->text(0)) + padding);
        if (row > 0)
            valueWidth = std::max(valueWidth, metrics.horizontalAdvance(item->text(1)) + padding);
    }
    m_pSummary->setColumnWidth(0, labelWidth);
    m_pSummary->setColumnWidth(1, valueWidth);
    ShowScanPath(valueWidth);

    // Every row shows without a scroll bar.
    const int rows = m_pSummary->topLevelItemCount();
    const int rowHeight = std::max(m_pSummary->sizeHintForRow(0), m_pSummary->fontMetrics().height());
    const int height = rows * rowHeight + 2 * m_pSummary->frameWidth();
    m_pSummary->setMinimumWidth(std::max(kSummaryMinWidth, labelWidth + valueWidth + 2 * m_pSummary->frameWidth()));
    m_pSummary->setFixedHeight(std::max(height, m_sizes.m_nSummaryMinHeight));
}

void CXResultsDialog::ShowScanPath(int columnWidth)
{
    QTreeWidgetItem* row = m_pSummary->topLevelItem(0);
    if (row == nullptr)
        return;
    const int padding = TextPadding(m_pSummary);
    const QString full = QDir::toNativeSeparators(m_strScanPath);
    row->setText(1, m_pSummary->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(columnWidth - padding, 0)));
}

QString CXResultsDialog::ProposedReportPath() const
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QDir(folder).filePath(ProposedReportName());
}

void CXResultsDialog::ToggleDetails()
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
    m_pDetailsButton->setText(m_bDetailsShown ? tr("Hide Details") : tr("Show Details"));
}

void CXResultsDialog::ShowInFileManagerFor(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    const QString path = ArchivePathOf(item);
    if (path.isEmpty())
        return;
    if (m_showInFileManager)
        m_showInFileManager(path);
    m_pDetails->setFocus();
}

void CXResultsDialog::SetButtonsEnabled(bool enabled)
{
    m_pDoneButton->setEnabled(enabled);
    m_pSaveButton->setEnabled(enabled);
    m_pDetailsButton->setEnabled(enabled && DetailsAvailable());
}

void CXResultsDialog::RefreshButtons()
{
    SetButtonsEnabled(!m_bWriting);
}

void CXResultsDialog::SaveReport()
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
    const bool written = WriteReport(path);
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

void CXResultsDialog::ShowReportError(const QString& path)
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
        reason = tr("the file could not be written");

    QMessageBox box(QMessageBox::Warning, tr("Zelvano"), m_strSaveErrorText.arg(QDir::toNativeSeparators(path), reason),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("reportErrorBox"));
    box.exec();
}

void CXResultsDialog::reject()
{
    if (m_bWriting)
        return;
    QDialog::reject();
}
