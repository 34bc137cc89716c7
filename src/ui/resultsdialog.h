#pragma once

#include <functional>
#include <QDialog>
#include <QList>
#include <QString>
#include <utility>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What the Scan Results and Unpack Results dialogs share: a summary of labelled figures whose first row is
// the scan path, the Show Details / Save Report / Done buttons, a details list folded away until asked for,
// and the save flow (choose a file, write, open it, or explain why it could not be written).
class CXResultsDialog : public QDialog
{
    Q_OBJECT

public:
    bool DetailsShown() const { return m_bDetailsShown; }

    // Where Save Report asks for the file: by default a save dialog (which asks before replacing a file);
    // tests put their own answer here. An empty result means cancelled.
    std::function<QString(const QString& proposedPath)> m_chooseReportPath;
    // How the written report is opened: by default with the desktop's application for text files.
    std::function<void(const QString& path)> m_openReport;
    // How the archive of a double-clicked details row is shown: by default in the desktop's file manager.
    std::function<void(const QString& path)> m_showInFileManager;

    // The path Save Report proposes: the report's name in the user's documents folder.
    QString ProposedReportPath() const;

public Q_SLOTS:
    void ToggleDetails();
    void SaveReport();
    // Closing is refused while a report is being written, as Done is disabled then.
    void reject() override;

protected:
    // The sizes a dialog was laid out in, in pixels at 1x: the least it needs to show its texts whole.
    struct Layout
    {
        int m_nLabelColumnWidth = 130;
        int m_nValueColumnWidth = 288;
        int m_nSummaryMinHeight = 205;
    };

    // saveErrorText is the message shown when the report cannot be written, with %1 for the path and %2 for
    // the reason.
    CXResultsDialog(const QString& caption, const QString& saveErrorText, const QString& scanPath, const Layout& sizes,
                    QWidget* parent);

    // Fills the summary: "Scan Path:" first (shortened in the middle to fit, whole in its tooltip), then the
    // given label and value pairs. Called once, by the derived constructor.
    void FillSummary(const QList<std::pair<QString, QString>>& figures);
    // Shows Show Details enabled only when DetailsAvailable() says so and no report is being written. The
    // derived constructor calls it once its details are filled.
    void RefreshButtons();

    QTreeWidget* Details() const { return m_pDetails; }

    // The report file name proposed for this run, without a folder.
    virtual QString ProposedReportName() const = 0;
    // Writes the report to path, replacing a file there; false when a line could not be written.
    virtual bool WriteReport(const QString& path) = 0;
    // Whether there is anything behind Show Details.
    virtual bool DetailsAvailable() const = 0;
    // The full path of the archive a details row stands for; empty when it stands for none.
    virtual QString ArchivePathOf(const QTreeWidgetItem* item) const = 0;

private:
    // The scan path shortened in the middle to fit the value column of the given width.
    void ShowScanPath(int columnWidth);
    void ShowInFileManagerFor(QTreeWidgetItem* item);
    void SetButtonsEnabled(bool enabled);
    void ShowReportError(const QString& path);

    QString m_strSaveErrorText;
    QString m_strScanPath;
    Layout m_sizes;
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
