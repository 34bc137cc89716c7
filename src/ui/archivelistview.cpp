#include "ui/archivelistview.h"

#include "common/format.h"
#include "platform/desktop/shell.h"
#include "platform/files.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "ui/archivelistmodel.h"
#include "ui/statusstrip.h"

#include <algorithm>
#include <memory>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// A tree view draws no grid; the list has one, a light line at the right and the bottom of every cell.
class CXGridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The grid line takes the cell's last pixel row: the row is that much taller, so underscores and
    // descenders stay clear of it.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 2);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        // Halfway between the cell background and the palette's mid tone: light on a light palette and
        // still visible on a dark one.
        const QColor base = option.palette.color(QPalette::Base);
        const QColor mid = option.palette.color(QPalette::Mid);
        painter->save();
        painter->setPen(
            QColor((base.red() + mid.red()) / 2, (base.green() + mid.green()) / 2, (base.blue() + mid.blue()) / 2));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

// English has one form for exactly one and another for every other count; the plural source also carries the
// count, so a translation can give each of its own forms.
QString ArchiveCountText(qint64 count)
{
    return (count == 1 ? CXListCtrl::tr("%1 Archive") : CXListCtrl::tr("%1 Archives", nullptr, int(count)))
        .arg(FormatNumber(count));
}

QString PhotoCountText(qint64 count)
{
    return (count == 1 ? CXListCtrl::tr("%1 Photo") : CXListCtrl::tr("%1 Photos", nullptr, int(count)))
        .arg(FormatNumber(count));
}

// Rows are built from many archives: the status strip shows the name of one in this many, and the
// window's events are let through at most this often, so building stays fast and the window still paints.
constexpr int kStatusEveryRows = 256;
constexpr qint64 kEventsEveryMs = 25;
constexpr int kMinNameWidth = 50;

} // namespace

CXListCtrl::CXListCtrl(QWidget* parent)
    : QTreeView(parent), m_pModel(new CXArchiveTableModel(this)), m_pProxy(new CXArchiveSortProxy(this))
{
    setObjectName(QStringLiteral("archiveList"));
    m_pModel->setObjectName(QStringLiteral("archiveTableModel"));
    m_pProxy->setObjectName(QStringLiteral("archiveSortProxy"));
    m_pProxy->setSourceModel(m_pModel);
    setModel(m_pProxy);
    setItemDelegate(new CXGridDelegate(this));

    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(false);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // header clicks are handled here: they may be refused during an unpack run

    QHeaderView* head = header();
    head->setStretchLastSection(false);
    head->setSectionsMovable(false);
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    head->setSortIndicator(m_nSortColumn, Qt::AscendingOrder);
    connect(head, &QHeaderView::sectionClicked, this, &CXListCtrl::HeaderClicked);

    m_pModel->SetCheckGuard([this] { return !m_bChecksLocked || m_bWorkerListChange; });
    connect(m_pModel, &QAbstractItemModel::dataChanged, this, &CXListCtrl::ChecksChanged);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        const int action = m_pSettings ? m_pSettings->m_nDoubleClickAction : 0;
        if (action == 0)
            ShowSelectedInFileManager();
        else if (action == 1)
            OpenSelectedWithDefault();
    });

    m_fnShellCall = [](bool open, const QString& path) {
        return open ? OpenWithDefaultApplication(path) : ShowInFileManager(path);
    };
}

CXListCtrl::~CXListCtrl() = default;

void CXListCtrl::Attach(CXArchiveList* archives, CXSettings* settings, CXInformationST* status)
{
    m_pArchives = archives;
    m_pSettings = settings;
    m_pStatus = status;
}

void CXListCtrl::SetupList()
{
    if (!m_pSettings)
        return;
    m_pModel->SetExtractTo(m_pSettings->m_nExtractTo);
    const int widths[CXArchiveTableModel::ColumnCount] = {
        m_pSettings->m_nColWidthName, m_pSettings->m_nColWidthType,   m_pSettings->m_nColWidthModified,
        m_pSettings->m_nColWidthSize, m_pSettings->m_nColWidthPhotos, m_pSettings->m_nColWidthExtract,
    };
    // The default widths were measured for a narrower font than most desktops use: a column still at its
    // default is widened to show its header and a typical text whole. Widths the user chose stay as they are.
    const CXSettings defaults;
    const int defaultWidths[CXArchiveTableModel::ColumnCount] = {
        defaults.m_nColWidthName, defaults.m_nColWidthType,   defaults.m_nColWidthModified,
        defaults.m_nColWidthSize, defaults.m_nColWidthPhotos, defaults.m_nColWidthExtract,
    };
    const QString samples[CXArchiveTableModel::ColumnCount] = {
        QString(),
        CXArchiveTableModel::tr("RAR archive"),
        QStringLiteral("12-31-2026  12:59:59 PM"),
        QStringLiteral("999 bytes"),
        QStringLiteral("99,999"),
        ExtractModeText(2),
    };
    const QFontMetrics body(font());
    const QFontMetrics head(header()->font());
    for (int column = 0; column < CXArchiveTableModel::ColumnCount; ++column) {
        int width = std::max(widths[column], 0);
        if (width == defaultWidths[column] && !samples[column].isEmpty()) {
            const QString title = m_pModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
            // Room for the cell's margins and for the header's sort arrow.
            const int fit = std::max(body.horizontalAdvance(samples[column]) + 16, head.horizontalAdvance(title) + 28);
            width = std::max(width, fit);
        }
        setColumnWidth(column, width);
    }
    const int column = m_pSettings->m_nSortColumn;
    m_nSortColumn = column >= 0 && column < CXArchiveTableModel::ColumnCount ? column : 0;
    m_bSortAscending = m_pSettings->m_bSortAscending != 0;
    ApplySort();
}

void CXListCtrl::ApplySort()
{
    const Qt::SortOrder order = m_bSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder;
    header()->setSortIndicator(m_nSortColumn, order);
    m_pProxy->sort(m_nSortColumn, order);
}

void CXListCtrl::HeaderClicked(int section)
{
    if (m_bSortingAllowed && section >= 0 && section < CXArchiveTableModel::ColumnCount) {
        if (section == m_nSortColumn) {
            m_bSortAscending = !m_bSortAscending;
        } else {
            m_nSortColumn = section;
            m_bSortAscending = true;
        }
    }
    // Also when refused: the header may have moved its arrow on the click; put it back.
    ApplySort();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void CXListCtrl::SetSortingAllowed(bool allowed)
{
    m_bSortingAllowed = allowed;
}

int CXListCtrl::SortColumn() const
{
    return m_nSortColumn;
}

bool CXListCtrl::SortAscending() const
{
    return m_bSortAscending;
}

QList<int> CXListCtrl::ColumnWidths() const
{
    QList<int> widths;
    for (int column = 0; column < CXArchiveTableModel::ColumnCount; ++column)
        widths.append(columnWidth(column));
    return widths;
}

void CXListCtrl::SetStatusMainText(const QString& text)
{
    if (m_pStatus)
        m_pStatus->SetMainText(text);
}

int CXListCtrl::RebuildList(bool fresh)
{
    // The events let through below must not start a second rebuild inside this one.
    if (!m_pArchives || !m_pSettings || m_bUpdatingList)
        return 0;

    // Rows are in found-archive order, so the remembered indexes come out sorted.
    QList<int> remembered;
    for (const CXArchiveRow& row : m_pModel->Rows()) {
        if (row.m_bChecked)
            remembered.append(row.m_nModelIndex);
    }

    m_bUpdatingList = true;
    if (m_pStatus)
        m_pStatus->SetState(2);
    m_pModel->Clear();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const int nameDisplay = m_pSettings->m_nNameDisplay;
    const int extractTo = m_pSettings->m_nExtractTo;
    const bool autoCheck = m_pSettings->m_bAutoCheckFound != 0;
    const QList<CXArchiveFile>& archives = m_pArchives->m_arrArchives;
    QList<CXArchiveRow> rows;
    rows.reserve(archives.size());
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (int i = 0; i < archives.size(); ++i) {
        const CXArchiveFile& archive = archives.at(i);
        // Filter 1 shows the ZIP archives only, 2 the RAR ones, 3 the 7z ones.
        if (m_nFilter != 0 && archive.m_nArchiveType != m_nFilter - 1)
            continue;
        if (archive.m_nPhotoCount == -1 || archive.m_bRemoved)
            continue;
        if (rows.size() % kStatusEveryRows == 0)
            SetStatusMainText(archive.m_strFileName);
        if (sinceEvents.elapsed() >= kEventsEveryMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceEvents.restart();
        }

        CXArchiveRow row;
        row.m_nModelIndex = i;
        row.m_strPath = archive.m_strPath;
        row.m_strFileName = archive.m_strFileName;
        row.m_strName =
            CXArchiveTableModel::NameText(archive.m_strPath, archive.m_strFileName, nameDisplay, m_strSourceFolder);
        row.m_strNameKey = CXArchiveTableModel::NameSortKey(row.m_strName);
        row.m_strType = CXArchiveTableModel::TypeText(archive.m_strPath, archive.m_nArchiveType);
        // The time and size shown are the file's now; a file that is gone shows zeros. One call to the
        // system per row (a QFileInfo and its local-time conversion cost most of a 20,000-row build).
        const zelvano::platform::FileIdentity file = zelvano::platform::IdentifyFile(archive.m_strPath);
        if (file.m_bValid) {
            row.m_tmModified = file.m_nModifiedNs >= 0 ? file.m_nModifiedNs / 1000000000
                                                       : -((-file.m_nModifiedNs + 999999999) / 1000000000);
            row.m_nSize = quint64(file.m_nSize);
        }
        row.m_nPhotos = archive.m_nPhotoCount;
        row.m_nPhotoBytes = archive.m_nPhotoBytes;
        row.m_nArchiveType = archive.m_nArchiveType;
        row.m_nSmartMode = archive.m_nSmartMode;
        row.m_nMode = extractTo != 0 ? extractTo : archive.m_nSmartMode;
        row.m_bChecked = fresh ? autoCheck : std::binary_search(remembered.cbegin(), remembered.cend(), i);
        rows.append(std::move(row));
    }
    const int added = int(rows.size());
    m_nActiveArchives = m_pArchives->CountActiveArchives();
    m_nZipCount = m_pArchives->m_nZipCount;
    m_nRarCount = m_pArchives->m_nRarCount;
    m_nSevenZCount = m_pArchives->m_nSevenZCount;

    m_pModel->SetExtractTo(extractTo);
    m_pModel->SetRows(std::move(rows));
    ApplySort();
    m_bUpdatingList = false;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    setFocus();
    if (added > 0) {
        const QModelIndex first = m_pProxy->index(0, 0);
        setCurrentIndex(first);
        scrollTo(first);
    }
    AutoSizeNameColumn();
    if (m_pStatus) {
        m_pStatus->SetState(0);
        m_pStatus->ClearTexts();
    }
    Q_EMIT checksChanged();
    return added;
}

void CXListCtrl::ClearList()
{
    m_pModel->Clear();
    m_nActiveArchives = 0;
    m_nZipCount = 0;
    m_nRarCount = 0;
    m_nSevenZCount = 0;
}

int CXListCtrl::RowCount() const
{
    return m_pModel->rowCount();
}

CXListCtrl::CheckedTotals CXListCtrl::CountChecked() const
{
    CheckedTotals totals;
    for (const CXArchiveRow& row : m_pModel->Rows()) {
        if (!row.m_bChecked)
            continue;
        ++totals.m_nRows;
        totals.m_nPhotoBytes += row.m_nPhotoBytes;
        totals.m_nPhotos += row.m_nPhotos;
    }
    return totals;
}

CXListCtrl::CheckedTotals CXListCtrl::CountAll() const
{
    CheckedTotals totals;
    for (const CXArchiveRow& row : m_pModel->Rows()) {
        ++totals.m_nRows;
        totals.m_nPhotoBytes += row.m_nPhotoBytes;
        totals.m_nPhotos += row.m_nPhotos;
    }
    return totals;
}

int CXListCtrl::FindRowByModelIndex(int archiveIndex) const
{
    const int source = m_pModel->FindModelIndex(archiveIndex);
    if (source < 0)
        return -1;
    return m_pProxy->mapFromSource(m_pModel->index(source, 0)).row();
}

QList<int> CXListCtrl::CheckedModelIndexes() const
{
    QList<int> indexes;
    const int rows = m_pProxy->rowCount();
    for (int r = 0; r < rows; ++r) {
        const CXArchiveRow& row = m_pModel->Row(m_pProxy->mapToSource(m_pProxy->index(r, 0)).row());
        if (row.m_bChecked)
            indexes.append(row.m_nModelIndex);
    }
    return indexes;
}

void CXListCtrl::UpdateStatusTexts()
{
    if (!m_pStatus)
        return;
    const CheckedTotals checked = CountChecked();
    if (checked.m_nRows > 0) {
        m_pStatus->SetSecondaryText(tr("%1 / %2 Selected (%3 / %4)")
                                        .arg(FormatNumber(checked.m_nRows), ArchiveCountText(RowCount()),
                                             PhotoCountText(checked.m_nPhotos), FormatByteSize(checked.m_nPhotoBytes)));
    } else {
        m_pStatus->ClearTexts();
    }
    if (m_nActiveArchives <= 0)
        return;
    const QString found = FormatNumber(m_nActiveArchives);
    if (m_nFilter == 1 && m_nSevenZCount > 0)
        m_pStatus->SetMainText(tr("Photo Archives Found: %1 (%2 RAR and 7z Archives not shown)")
                                   .arg(found, FormatNumber(m_nRarCount + m_nSevenZCount)));
    else if (m_nFilter == 1)
        m_pStatus->SetMainText(
            tr("Photo Archives Found: %1 (%2 RAR Archives not shown)").arg(found, FormatNumber(m_nRarCount)));
    else if (m_nFilter == 2 && m_nSevenZCount > 0)
        m_pStatus->SetMainText(tr("Photo Archives Found: %1 (%2 ZIP and 7z Archives not shown)")
                                   .arg(found, FormatNumber(m_nZipCount + m_nSevenZCount)));
    else if (m_nFilter == 2)
        m_pStatus->SetMainText(
            tr("Photo Archives Found: %1 (%2 ZIP Archives not shown)").arg(found, FormatNumber(m_nZipCount)));
    else if (m_nFilter == 3)
        m_pStatus->SetMainText(tr("Photo Archives Found: %1 (%2 ZIP and RAR Archives not shown)")
                                   .arg(found, FormatNumber(m_nZipCount + m_nRarCount)));
    else
        m_pStatus->SetMainText(tr("Photo Archives Found: %1").arg(found));
}

void CXListCtrl::AutoSizeNameColumn()
{
    if (!m_pSettings || !m_pSettings->m_bAutoSizeNameColumn)
        return;
    int others = 0;
    for (int column = 1; column < CXArchiveTableModel::ColumnCount; ++column)
        others += columnWidth(column);
    // When the other columns take the whole width, the name keeps a sliver rather than vanishing.
    const int width = std::max(viewport()->width() - others, kMinNameWidth);
    if (width != columnWidth(0))
        setColumnWidth(0, width);
}

void CXListCtrl::CheckAll(bool checked)
{
    if (m_bChecksLocked && !m_bWorkerListChange)
        return;
    m_bUpdatingList = true;
    m_pModel->SetAllChecked(checked);
    m_bUpdatingList = false;
    viewport()->update();
    Q_EMIT checksChanged();
}

void CXListCtrl::EnsureModelIndexVisible(int archiveIndex)
{
    // The archive being worked on is the selected row, in view.
    const int row = FindRowByModelIndex(archiveIndex);
    if (row >= 0) {
        setCurrentIndex(m_pProxy->index(row, 0));
        scrollTo(m_pProxy->index(row, 0));
    }
}

void CXListCtrl::UncheckModelIndex(int archiveIndex)
{
    const int source = m_pModel->FindModelIndex(archiveIndex);
    if (source < 0)
        return;
    const bool wasWorkerChange = m_bWorkerListChange;
    m_bWorkerListChange = true;
    m_pModel->setData(m_pModel->index(source, 0), Qt::Unchecked, Qt::CheckStateRole);
    m_bWorkerListChange = wasWorkerChange;
}

void CXListCtrl::RemoveModelIndex(int archiveIndex)
{
    const int source = m_pModel->FindModelIndex(archiveIndex);
    if (source < 0)
        return;
    m_pModel->removeRows(source, 1);
    // A removed archive was deleted from disk: it no longer counts as found.
    if (m_nActiveArchives > 0)
        --m_nActiveArchives;
}

void CXListCtrl::RewriteExtractColumn()
{
    if (!m_pSettings)
        return;
    m_bUpdatingList = true;
    m_pModel->SetExtractTo(m_pSettings->m_nExtractTo);
    ApplySort(); // the selection follows its row through the sort
    m_bUpdatingList = false;
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void CXListCtrl::RewriteNameColumn()
{
    if (!m_pSettings)
        return;
    m_bUpdatingList = true;
    m_pModel->SetNameDisplay(m_pSettings->m_nNameDisplay, m_strSourceFolder);
    ApplySort();
    m_bUpdatingList = false;
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

QString CXListCtrl::SelectedPath() const
{
    if (!selectionModel())
        return {};
    const QModelIndexList selected = selectionModel()->selectedRows(0);
    if (selected.isEmpty())
        return {};
    const QModelIndex source = m_pProxy->mapToSource(selected.first());
    return source.isValid() ? m_pModel->Row(source.row()).m_strPath : QString();
}

QString CXListCtrl::ExtractHeaderText(int extractTo)
{
    if (extractTo == 0)
        return tr("Smart Extraction\u2122");
    return tr("Extract To...");
}

QString CXListCtrl::ExtractModeText(int mode)
{
    if (mode == 1)
        return tr("Extract to Here");
    if (mode == 2)
        return tr("Extract to Folder");
    return {};
}

QMenu* CXListCtrl::CreateContextMenu()
{
    if (RowCount() == 0 || m_bChecksLocked)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("listMenu"));
    auto add = [this](QMenu* to, const QString& text, const char* name, auto handler) {
        QAction* action = to->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    add(menu, tr("Check All"), "checkAllAction", [this] { CheckAll(true); });
    add(menu, tr("Uncheck All"), "uncheckAllAction", [this] { CheckAll(false); });
    menu->addSeparator();
    add(menu, tr("Open with Default Application"), "openDefaultAction", [this] { OpenSelectedWithDefault(); });
    add(menu, tr("Show in File Manager"), "showInFileManagerAction", [this] { ShowSelectedInFileManager(); });
    menu->addSeparator();

    QMenu* filter = menu->addMenu(tr("Filter"));
    filter->setObjectName(QStringLiteral("filterMenu"));
    QAction* all = add(filter, tr("Show All"), "showAllAction", [this] { ChooseFilter(0); });
    all->setCheckable(true);
    all->setChecked(m_nFilter == 0);
    filter->addSeparator();
    // Choosing one type only makes sense when another one is there too.
    const int counts[] = {m_nZipCount, m_nRarCount, m_nSevenZCount};
    const int typesPresent = int(std::count_if(std::begin(counts), std::end(counts), [](int n) { return n > 0; }));
    const auto typeAction = [&](const QString& text, const char* name, int choice) {
        QAction* action = add(filter, text, name, [this, choice] { ChooseFilter(choice); });
        const bool usable = typesPresent >= 2 && counts[choice - 1] > 0;
        action->setCheckable(true);
        action->setEnabled(usable);
        action->setChecked(usable && m_nFilter == choice);
    };
    typeAction(tr("Show *.zip files"), "showZipAction", 1);
    typeAction(tr("Show *.rar files"), "showRarAction", 2);
    // Only offered when the list holds a 7z archive, so the menu of ZIP and RAR lists stays as it was.
    if (m_nSevenZCount > 0)
        typeAction(tr("Show *.7z files"), "showSevenZAction", 3);
    menu->addSeparator();
    add(menu, tr("Clear List"), "clearListAction", [this] { Q_EMIT clearListRequested(); });
    return menu;
}

void CXListCtrl::ChooseFilter(int filter)
{
    m_nFilter = filter;
    RebuildList(false);
}

void CXListCtrl::OpenSelectedWithDefault()
{
    RunShell(true);
}

void CXListCtrl::ShowSelectedInFileManager()
{
    RunShell(false);
}

void CXListCtrl::RunShell(bool open)
{
    const QString path = SelectedPath();
    if (path.isEmpty() || !m_fnShellCall)
        return;
    if (open)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_fnShellCall(open, path);
    if (open)
        QApplication::restoreOverrideCursor();
    setFocus();
}

void CXListCtrl::ChecksChanged(const QModelIndex&, const QModelIndex&, const QList<int>& roles)
{
    if (roles.contains(Qt::CheckStateRole) && !m_bUpdatingList)
        Q_EMIT checksChanged();
}

void CXListCtrl::ToggleCurrentCheck()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex cell = current.siblingAtColumn(0);
    const bool checked = cell.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    model()->setData(cell, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void CXListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        ToggleCurrentCheck();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CXListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(CreateContextMenu());
    if (!menu)
        return;
    menu->exec(event->globalPos());
}

void CXListCtrl::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    AutoSizeNameColumn();
}

bool CXListCtrl::viewportEvent(QEvent* event)
{
    const bool handled = QTreeView::viewportEvent(event);
    // The viewport also narrows when the vertical scroll bar appears.
    if (event->type() == QEvent::Resize)
        AutoSizeNameColumn();
    return handled;
}
