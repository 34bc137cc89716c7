#pragma once

#include "reports/scanreport.h"
#include "ui/resultsdialog.h"

class CXArchiveList;

// The Scan Results dialog: the summary of a finished scan, the archives that did not open (folded away
// until "Show Details"), and Save Report. It reads the found-archive model and never changes it.
class CDLGScanResults : public CXResultsDialog
{
    Q_OBJECT

public:
    // figures: the scan's figures, with the total photos and the size on disk summed over the list's rows.
    CDLGScanResults(const ScanReportFigures& figures, const CXArchiveList& archives, QWidget* parent = nullptr);

protected:
    QString ProposedReportName() const override;
    bool WriteReport(const QString& path) override;
    bool DetailsAvailable() const override;
    QString ArchivePathOf(const QTreeWidgetItem* item) const override;

private:
    void FillDetails();

    ScanReportFigures m_figures;
    const CXArchiveList& m_archives;
};
