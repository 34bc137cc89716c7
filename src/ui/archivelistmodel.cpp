#include "ui/archivelistmodel.h"

#include "common/format.h"
#include "scan/archivelist.h"
#include "takeout/exportname.h"
#include "ui/archivelistview.h"

#include <algorithm>
#include <QDir>
#include <QHash>
#include <QMimeDatabase>

CXArchiveTableModel::CXArchiveTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int CXArchiveTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_arrRows.size());
}

int CXArchiveTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CXArchiveTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_arrRows.size())
        return {};
    const CXArchiveRow& row = m_arrRows.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case ColumnName:
            return row.m_strName;
        case ColumnType:
            return row.m_strType;
        case ColumnModified:
            return TimeText(row.m_tmModified);
        case ColumnSize:
            return FormatByteSize(row.m_nSize);
        case ColumnPhotos:
            return FormatNumber(row.m_nPhotos);
        case ColumnExtract:
            return CXListCtrl::ExtractModeText(row.m_nMode);
        default:
            return {};
        }
    case Qt::CheckStateRole:
        if (column == ColumnName)
            return row.m_bChecked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole: {
        // The parts of an export are separate rows; the tooltip names the export they belong to.
        const QString path = QDir::toNativeSeparators(row.m_strPath);
        const CXTakeoutPartName part = ParseTakeoutPartName(row.m_strPath);
        if (!part.m_bValid || part.m_bTarball)
            return path;
        return path + QLatin1Char('\n') +
               tr("Part %1 of the Google Takeout export %2").arg(part.m_nPart).arg(TakeoutFolderName(part.m_strKey));
    }
    case Qt::TextAlignmentRole:
        return headerData(column, Qt::Horizontal, role);
    default:
        return {};
    }
}

bool CXArchiveTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ColumnName ||
        index.row() >= m_arrRows.size())
        return false;
    if (m_fnCheckGuard && !m_fnCheckGuard())
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    CXArchiveRow& row = m_arrRows[index.row()];
    if (row.m_bChecked != checked) {
        row.m_bChecked = checked;
        Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags CXArchiveTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == ColumnName)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CXArchiveTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return HeaderText(section, m_nExtractTo);
    if (role == Qt::TextAlignmentRole) {
        switch (section) {
        case ColumnName:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case ColumnType:
        case ColumnExtract:
            return int(Qt::AlignCenter);
        default:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    return {};
}

bool CXArchiveTableModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_arrRows.size())
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    m_arrRows.remove(row, count);
    endRemoveRows();
    return true;
}

void CXArchiveTableModel::SetRows(QList<CXArchiveRow> rows)
{
    beginResetModel();
    m_arrRows = std::move(rows);
    endResetModel();
}

void CXArchiveTableModel::Clear()
{
    SetRows({});
}

int CXArchiveTableModel::FindModelIndex(int archiveIndex) const
{
    const auto it = std::lower_bound(m_arrRows.cbegin(), m_arrRows.cend(), archiveIndex,
                                     [](const CXArchiveRow& row, int value) { return row.m_nModelIndex < value; });
    if (it != m_arrRows.cend() && it->m_nModelIndex == archiveIndex)
        return int(it - m_arrRows.cbegin());
    return -1;
}

void CXArchiveTableModel::SetAllChecked(bool checked)
{
    if (m_arrRows.isEmpty())
        return;
    for (CXArchiveRow& row : m_arrRows)
        row.m_bChecked = checked;
    Q_EMIT dataChanged(index(0, ColumnName), index(int(m_arrRows.size()) - 1, ColumnName), {Qt::CheckStateRole});
}

void CXArchiveTableModel::SetExtractTo(int extractTo)
{
    m_nExtractTo = extractTo;
    for (CXArchiveRow& row : m_arrRows)
        row.m_nMode = extractTo != 0 ? extractTo : row.m_nSmartMode;
    Q_EMIT headerDataChanged(Qt::Horizontal, ColumnExtract, ColumnExtract);
    if (!m_arrRows.isEmpty())
        Q_EMIT dataChanged(index(0, ColumnExtract), index(int(m_arrRows.size()) - 1, ColumnExtract));
}

void CXArchiveTableModel::SetNameDisplay(int nameDisplay, const QString& sourceFolder)
{
    for (CXArchiveRow& row : m_arrRows) {
        row.m_strName = NameText(row.m_strPath, row.m_strFileName, nameDisplay, sourceFolder);
        row.m_strNameKey = NameSortKey(row.m_strName);
    }
    if (!m_arrRows.isEmpty())
        Q_EMIT dataChanged(index(0, ColumnName), index(int(m_arrRows.size()) - 1, ColumnName));
}

QString CXArchiveTableModel::NameText(const QString& path, const QString& fileName, int nameDisplay,
                                      const QString& sourceFolder)
{
    switch (nameDisplay) {
    case 0:
        return QDir::toNativeSeparators(path);
    case 1: {
        QString shown = path;
        // The folder may come from the drop-down with either separator and a trailing one.
        QString folder = QDir::fromNativeSeparators(sourceFolder);
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        if (!folder.isEmpty())
            shown.replace(folder, QStringLiteral(".."), Qt::CaseSensitive);
        return QDir::toNativeSeparators(shown);
    }
    case 2:
        return fileName;
    default:
        return {};
    }
}

QString CXArchiveTableModel::NameSortKey(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return name;
    const QStringView extension = QStringView(name).mid(dot);
    if (extension.compare(QLatin1String(".zip"), Qt::CaseInsensitive) == 0 ||
        extension.compare(QLatin1String(".rar"), Qt::CaseInsensitive) == 0)
        return name.left(dot);
    return name;
}

QString CXArchiveTableModel::TypeText(const QString& path, int archiveType)
{
    const auto plain = [](int type) {
        switch (type) {
        case kSevenZArchive:
            return tr("7-Zip archive");
        case kRarArchive:
            return tr("RAR archive");
        default:
            return tr("ZIP archive");
        }
    };
    // An archive whose name claims another type is read as what its bytes are; the list says both.
    const int named = GetArchiveType(path);
    if (named >= 0 && named != archiveType && archiveType >= 0) {
        const QString claimed = named == kSevenZArchive ? tr("7z") : named == kRarArchive ? tr("RAR") : tr("ZIP");
        return tr("%1 (named as %2)").arg(plain(archiveType), claimed);
    }
    if (archiveType == kSevenZArchive)
        return plain(archiveType);
    // One look-up per extension: the MIME database is slow enough to matter for thousands of rows.
    static QHash<QString, QString> cache;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? path.mid(dot).toLower() : QString();
    auto it = cache.constFind(extension);
    if (it == cache.cend()) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        QString comment = type.isValid() && !type.isDefault() ? type.comment() : QString();
        it = cache.insert(extension, comment);
    }
    if (!it->isEmpty())
        return *it;
    return plain(archiveType);
}

QString CXArchiveTableModel::TimeText(qint64 secondsSince1970)
{
    return FormatTime(secondsSince1970, "%m-%d-%Y  %I:%M:%S %p");
}

QString CXArchiveTableModel::HeaderText(int column, int extractTo)
{
    switch (column) {
    case ColumnName:
        return tr("Photo Archive Name");
    case ColumnType:
        return tr("Type");
    case ColumnModified:
        return tr("Last Modified");
    case ColumnSize:
        return tr("Size");
    case ColumnPhotos:
        return tr("Photos");
    case ColumnExtract:
        return CXListCtrl::ExtractHeaderText(extractTo);
    default:
        return {};
    }
}

CXArchiveSortProxy::CXArchiveSortProxy(QObject* parent) : QSortFilterProxyModel(parent)
{
    // The list sorts when it is built or a header is clicked; a check mark or a rewritten cell never
    // moves a row on its own.
    setDynamicSortFilter(false);
}

namespace {

template <typename T>
int Compare(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

bool CXArchiveSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const auto* model = qobject_cast<const CXArchiveTableModel*>(sourceModel());
    if (!model)
        return QSortFilterProxyModel::lessThan(left, right);
    const CXArchiveRow& a = model->Row(left.row());
    const CXArchiveRow& b = model->Row(right.row());
    int c = 0;
    switch (left.column()) {
    case CXArchiveTableModel::ColumnName:
        c = a.m_strNameKey.compare(b.m_strNameKey, Qt::CaseInsensitive);
        if (c == 0)
            c = a.m_strNameKey.compare(b.m_strNameKey, Qt::CaseSensitive);
        if (c == 0)
            c = a.m_strName.compare(b.m_strName, Qt::CaseSensitive);
        break;
    case CXArchiveTableModel::ColumnType:
        c = a.m_strType.compare(b.m_strType, Qt::CaseInsensitive);
        break;
    case CXArchiveTableModel::ColumnModified:
        c = Compare(a.m_tmModified, b.m_tmModified);
        break;
    case CXArchiveTableModel::ColumnSize:
        c = Compare(a.m_nSize, b.m_nSize);
        break;
    case CXArchiveTableModel::ColumnPhotos:
        c = Compare(a.m_nPhotos, b.m_nPhotos);
        break;
    case CXArchiveTableModel::ColumnExtract:
        c = CXListCtrl::ExtractModeText(a.m_nMode).compare(CXListCtrl::ExtractModeText(b.m_nMode), Qt::CaseInsensitive);
        break;
    default:
        break;
    }
    if (c != 0)
        return c < 0;
    return a.m_nModelIndex < b.m_nModelIndex;
}
