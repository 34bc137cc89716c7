#pragma once

#include "reports/scanreport.h"

#include <functional>
#include <QDialog>

class CXArchiveList;
class QPushButton;
class QTreeWidget;

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

public Q_SLOTS:
    void ToggleDetails();
    void SaveReport();

private:
    ScanReportFigures m_figures;
    const CXArchiveList& m_archives;
    bool m_bDetailsShown = false;
};
