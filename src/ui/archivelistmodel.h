#pragma once

#include <functional>
#include <QAbstractTableModel>
#include <QList>
#include <QSortFilterProxyModel>
#include <QString>
#include <QtGlobal>

// One row of the archive list: copies of what the row shows and sorts by, taken when the list is built.
// The found-archive records may be written by a worker while the list is on screen, so painting and
// sorting read only these copies.
struct CXArchiveRow
{
    int m_nModelIndex = -1; // index of the record in the found-archive array
    QString m_strPath;      // full path, "/" separated
    QString m_strFileName;
    QString m_strName;    // column 0 as shown (native separators)
    QString m_strNameKey; // column 0 without its ".zip"/".rar" extension, for sorting
    QString m_strType;
    qint64 m_tmModified = 0; // seconds since 1970
    quint64 m_nSize = 0;
    qint32 m_nPhotos = 0;
    quint64 m_nPhotoBytes = 0;
    qint32 m_nArchiveType = -1; // 0 ZIP, 1 RAR
    qint32 m_nSmartMode = 0;    // the archive's own advice, used when the extraction setting leaves it open
    qint32 m_nMode = 0;         // the mode column 5 shows
    bool m_bChecked = false;
};

// The rows of the archive list as a six-column table. Column 0 carries the row's check mark.
class CXArchiveTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        ColumnName = 0,
        ColumnType = 1,
        ColumnModified = 2,
        ColumnSize = 3,
        ColumnPhotos = 4,
        ColumnExtract = 5,
        ColumnCount = 6,
    };

    explicit CXArchiveTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Replaces every row at once (one reset, no per-row signals).
    void SetRows(QList<CXArchiveRow> rows);
    void Clear();
    const CXArchiveRow& Row(int row) const { return m_arrRows.at(row); }
    const QList<CXArchiveRow>& Rows() const { return m_arrRows; }
    // The row of the record with this found-archive index, or -1 (rows stay in found-archive order).
    int FindModelIndex(int archiveIndex) const;

    // Sets every check mark; one change signal for the whole column.
    void SetAllChecked(bool checked);
    // Decides whether a check-mark change through setData is accepted (the list refuses the user's clicks
    // during an unpack run). Without one, every change passes.
    void SetCheckGuard(std::function<bool()> guard) { m_fnCheckGuard = std::move(guard); }

    // Column 5: the header for the extraction setting and every row's mode (the setting, or the archive's
    // own advice when the setting is Smart Extraction).
    void SetExtractTo(int extractTo);
    int ExtractTo() const { return m_nExtractTo; }
    // Column 0: the name texts for the display mode (0 full path, 1 the source folder shown as "..", 2 the
    // file name, else empty).
    void SetNameDisplay(int nameDisplay, const QString& sourceFolder);

    // The texts of a row's cells.
    static QString NameText(const QString& path, const QString& fileName, int nameDisplay, const QString& sourceFolder);
    // The name without a trailing ".zip" or ".rar" (any case), which is how names sort.
    static QString NameSortKey(const QString& name);
    // The desktop's description of the archive type, or "ZIP archive" / "RAR archive".
    static QString TypeText(const QString& path, int archiveType);
    static QString TimeText(qint64 secondsSince1970);
    static QString HeaderText(int column, int extractTo);

private:
    QList<CXArchiveRow> m_arrRows;
    int m_nExtractTo = 0;
    std::function<bool()> m_fnCheckGuard;
};

// Sorts the rows by their values: names without their archive extension and case ignored, times, sizes in
// bytes, photo counts; equal rows keep the found-archive order, so the order never depends on the sort
// algorithm. Filtering happens when the rows are built, not here.
class CXArchiveSortProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit CXArchiveSortProxy(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};
