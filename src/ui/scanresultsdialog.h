#pragma once

#include "reports/scanreport.h"

#include <functional>
#include <QDialog>

class CXArchiveList;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The Scan Results dialog: the summary of a finished scan, the archives that did not open (folded away
// until "Show Details"), and Save Report. It reads the found-archive model and never changes it.
class CDLGScanResults : public QDialog
{
    Q_OBJECT

public:
    // figures: the scan's figures, with the total photos and the size on disk summed over the list's rows.
    CDLGScanResults(const ScanReportFigures& figures, const CXArchiveList& archives, QWidget* parent = nullptr);

    bool DetailsShown() const { return m_bDetailsShown; }

    // Where Save Report asks for the file: by default a save dialog (which asks before replacing a file);
    // tests put their own answer here. An empty result means cancelled.
    std::function<QString(const QString& proposedPath)> m_chooseReportPath;
    // How the written report is opened: by default with the desktop's application for text files.
    std::function<void(const QString& path)> m_openReport;
    // How a double-clicked invalid archive is shown: by default in the desktop's file manager.
    std::function<void(const QString& path)> m_showInFileManager;

    // The path Save Report proposes: the report's name in the user's documents folder.
    QString ProposedReportPath() const;

public Q_SLOTS:
    void ToggleDetails();
    void SaveReport();
    // Closing is refused while a report is being written, as Done is disabled then.
    void reject() override;

private:
    void FillSummary();
    void FillDetails();
    // The scan path shortened in the middle to fit the value column of the given width.
    void ShowScanPath(int columnWidth);
    void ShowInFileManagerFor(QTreeWidgetItem* item);
    void SetButtonsEnabled(bool enabled);
    void ShowReportError(const QString& path);

    ScanReportFigures m_figures;
    const CXArchiveList& m_archives;
    bool m_bDetailsShown = false;
    bool m_bWriting = false;
    // The details list's height when it was last unfolded, given back to it on the next unfold.
    int m_nDetailsHeight = 0;

    QTreeWidget* m_pSummary = nullptr;
    QTreeWidget* m_pDetails = nullptr;
    QPushButton* m_pDetailsButton = nullptr;
    QPushButton* m_pSaveButton = nullptr;
    QPushButton* m_pDoneButton = nullptr;
};
