#pragma once

#include "reports/unpackreport.h"
#include "ui/resultsdialog.h"

// The Unpack Results dialog: the summary of a finished unpack run, the archives in which entries failed
// (folded away until "Show Details"), and Save Report. It reads the found archives the data points at and
// never changes them; they must outlive the dialog.
class CDLGUnpackResults : public CXResultsDialog
{
    Q_OBJECT

public:
    CDLGUnpackResults(const UnpackReportData& data, QWidget* parent = nullptr);

protected:
    QString ProposedReportName() const override;
    bool WriteReport(const QString& path) override;
    bool DetailsAvailable() const override;
    QString ArchivePathOf(const QTreeWidgetItem* item) const override;

private:
    void FillDetails();

    UnpackReportData m_data;
};
