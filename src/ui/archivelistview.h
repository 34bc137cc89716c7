#pragma once

#include <functional>
#include <QList>
#include <QString>
#include <QTreeView>

class CXArchiveList;
class CXSettings;
class CXInformationST;
class CXArchiveTableModel;
class CXArchiveSortProxy;
class QMenu;

// The archive list of the main window: one checkable row per found archive that holds pictures, six
// columns, sorted and filtered by a proxy over a table model. The rows keep copies of what they show (and
// the values they sort by), taken when the list is built, so the window never reads the found-archive
// records while a worker may be writing them.
class CXListCtrl : public QTreeView
{
    Q_OBJECT

public:
    explicit CXListCtrl(QWidget* parent = nullptr);
    ~CXListCtrl() override;

    // The window's found-archive model, settings record and status strip. Call once, before SetupList.
    void Attach(CXArchiveList* archives, CXSettings* settings, CXInformationST* status);

    // The six columns with their stored widths, the stored sort column and direction.
    void SetupList();
    // The window's source folder, which name display 1 shows as "..". Takes effect when the rows are built
    // or the name column is rewritten.
    void SetSourceFolder(const QString& folder) { m_strSourceFolder = folder; }
    QString SourceFolder() const { return m_strSourceFolder; }

    // Rebuilds every row from the found-archive model under the current filter. fresh: check marks from
    // m_bAutoCheckFound (after a scan); otherwise the archives that were checked stay checked. Returns the
    // number of rows added.
    int RebuildList(bool fresh);
    // Removes every row (the found-archive model is left alone).
    void ClearList();
    int RowCount() const;

    struct CheckedTotals
    {
        int m_nRows = 0;
        quint64 m_nPhotoBytes = 0;
        qint64 m_nPhotos = 0;
    };
    CheckedTotals CountChecked() const;
    // Sums over every row (checked or not): the photo bytes and the photos.
    CheckedTotals CountAll() const;

    // The row (in view order) of the archive with this index in the found-archive array, or -1.
    int FindRowByModelIndex(int archiveIndex) const;
    // The found-archive index of every checked row, in view order.
    QList<int> CheckedModelIndexes() const;
    // The main and secondary texts of the status strip while idle.
    void UpdateStatusTexts();
    // Column 0 takes the width the other five leave, when m_bAutoSizeNameColumn is set.
    void AutoSizeNameColumn();

    // 0 all, 1 ZIP only, 2 RAR only. Takes effect at the next RebuildList.
    void SetFilter(int filter) { m_nFilter = filter; }
    int Filter() const { return m_nFilter; }

    // Header clicks sort only while allowed (forbidden during an unpack run).
    void SetSortingAllowed(bool allowed);
    bool IsSortingAllowed() const { return m_bSortingAllowed; }
    int SortColumn() const;
    bool SortAscending() const;
    // The widths of the six columns, in column order.
    QList<int> ColumnWidths() const;

    // During an unpack run the user's clicks on check marks are refused; changes the program makes while
    // SetWorkerListChange(true) pass.
    void SetChecksLocked(bool locked) { m_bChecksLocked = locked; }
    bool ChecksLocked() const { return m_bChecksLocked; }
    void SetWorkerListChange(bool workerChange) { m_bWorkerListChange = workerChange; }
    // Set while the program itself changes the rows: check changes then emit no checksChanged.
    bool IsUpdatingList() const { return m_bUpdatingList; }

    void CheckAll(bool checked);
    // The worker's list operations, by found-archive index (the row of that archive, if shown).
    void EnsureModelIndexVisible(int archiveIndex);
    void UncheckModelIndex(int archiveIndex);
    void RemoveModelIndex(int archiveIndex);

    // After an Options change: column 5's header and texts for m_nExtractTo, column 0's texts for
    // m_nNameDisplay; the sort and the selected row are kept.
    void RewriteExtractColumn();
    void RewriteNameColumn();

    // The full path of the selected row's archive, or an empty text.
    QString SelectedPath() const;

    // The context menu for the current state (checks, filter), or nullptr when none is offered (empty
    // list, or checks locked by an unpack run). The caller deletes it.
    QMenu* CreateContextMenu();
    // The double-click action and the menu's commands on the selected row's archive.
    void OpenSelectedWithDefault();
    void ShowSelectedInFileManager();
    // What opening or showing an archive calls (tests replace the desktop services). open: true for
    // "Open with Default Application", false for "Show in File Manager".
    using ShellCall = std::function<bool(bool open, const QString& path)>;
    void SetShellCall(ShellCall call) { m_fnShellCall = std::move(call); }
    // The name of column 5's header for m_nExtractTo.
    static QString ExtractHeaderText(int extractTo);
    // "Extract to Here" (1), "Extract to Folder" (2), else empty.
    static QString ExtractModeText(int mode);

    CXArchiveTableModel* TableModel() const { return m_pModel; }
    CXArchiveSortProxy* SortProxy() const { return m_pProxy; }

Q_SIGNALS:
    // A check mark changed (not while the program itself updates the list): the window refreshes.
    void checksChanged();
    // "Clear List" from the context menu.
    void clearListRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void HeaderClicked(int section);
    void ApplySort();
    void ChecksChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);
    void ChooseFilter(int filter);
    void ToggleCurrentCheck();
    void RunShell(bool open);
    void SetStatusMainText(const QString& text);

    CXArchiveList* m_pArchives = nullptr;
    CXSettings* m_pSettings = nullptr;
    CXInformationST* m_pStatus = nullptr;
    CXArchiveTableModel* m_pModel = nullptr;
    CXArchiveSortProxy* m_pProxy = nullptr;
    int m_nFilter = 0;
    bool m_bSortingAllowed = true;
    bool m_bChecksLocked = false;
    bool m_bWorkerListChange = false;
    bool m_bUpdatingList = false;
    QString m_strSourceFolder;
    int m_nSortColumn = 0;
    bool m_bSortAscending = true;
    // Taken from the found-archive model when the rows are built, so the status texts and the menu never
    // read records a worker may be writing.
    int m_nActiveArchives = 0;
    int m_nZipCount = 0;
    int m_nRarCount = 0;
    int m_nSevenZCount = 0;
    ShellCall m_fnShellCall;
};
