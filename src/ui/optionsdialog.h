#pragma once

#include <QComboBox>
#include <QDialog>
#include <QString>
#include <QtGlobal>
#include <span>

class CXSettings;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// One fixed item of a choice combo box: its text (translated when filled) and the value the settings store.
struct CXChoiceItem
{
    const char* text;
    qint32 value;
};

// A drop-down list of fixed choices whose item data is the stored value. Selection goes by value, so a
// value that matches no item (an edited settings file) shows no selection instead of a wrong one.
class CXChoiceCombo : public QComboBox
{
    Q_OBJECT

public:
    explicit CXChoiceCombo(std::span<const CXChoiceItem> items, QWidget* parent = nullptr);

    // Empties the list, then adds the items in their order.
    void Fill();
    // Selects the first item holding the value; none when no item does.
    void SelectByValue(qint32 value);
    // The selected item's value, -1 when nothing is selected.
    qint32 Value() const;

private:
    std::span<const CXChoiceItem> m_items;
};

// What a closed Options dialog leaves for the main window to bring in line. The window applies tooltips
// and the tray icon from the settings in any case; the flags say what changed.
struct OptionsOutcome
{
    bool m_bSaved = false;          // ended with Save (otherwise cancelled)
    bool m_bWritten = false;        // Save wrote both settings files
    bool m_bHistoryCleared = false; // the source-folder drop-down must be filled again from the history
    bool m_bRescanNeeded =
        false; // image types, extra extensions, ignored folder names or the ZIP names' code page changed
    bool m_bExtractModeChanged = false; // the extraction column's header and cells need rewriting
    bool m_bNameDisplayChanged = false; // the name column's cells need rewriting
    bool m_bTooltipsChanged = false;
    bool m_bTrayIconChanged = false; // "Always Show System Tray Icon" changed
};

// The Options dialog: three pages editing the user options of the one settings record. Nothing reaches the
// record before Save, except "Clear Source Folder History", which acts at once. A page the user never
// opened stores nothing, so values it would show but were never seen stay as they are.
class CPSDLGOptions : public QDialog
{
    Q_OBJECT

public:
    enum Page
    {
        PageGeneral = 0,
        PageScanning = 1,
        PageImageTypes = 2,
    };

    // sourceFolder: the main window's current source folder, put back into a cleared history.
    CPSDLGOptions(CXSettings& settings, const QString& sourceFolder, QWidget* parent = nullptr);

    // Valid once the dialog has ended.
    const OptionsOutcome& Outcome() const { return m_outcome; }
    // The help topic of a page.
    static QString HelpTopic(int page);

    void accept() override;
    void reject() override;

Q_SIGNALS:
    // The Help button: the topic of the page on show.
    void helpRequested(const QString& topic);

private:
    QWidget* BuildGeneralPage();
    QWidget* BuildScanningPage();
    QWidget* BuildImageTypesPage();
    QCheckBox* AddCheck(const char* objectName, const QString& caption, QWidget* parent);
    CXChoiceCombo* AddCombo(const char* objectName, std::span<const CXChoiceItem> items, QWidget* parent);
    void LoadControls();

    void OnPageChanged(int index);
    void ApplyTrayIconRule();
    void ApplyRenameRule();
    void ApplyWhenToDeleteRule();
    bool AnyImageTypeChecked() const;
    void ComplainNoImageType();
    void ClearHistory();
    void StorePages();
    void ComputeOutcome();

    CXSettings& m_settings;
    QString m_strSourceFolder;
    OptionsOutcome m_outcome;

    // The values the window compares against after Save.
    qint32 m_nOldTypes[5] = {};
    QString m_strOldExtra, m_strOldIgnore, m_strOldZipNameEncoding;
    qint32 m_nOldExtractTo = 0, m_nOldNameDisplay = 0, m_bOldTooltips = 0, m_bOldTrayIcon = 0;

    int m_nCurrentPage = PageGeneral;
    bool m_bScanningShown = false;
    bool m_bImageTypesShown = false;
    bool m_bHistoryCleared = false;

    QTabWidget* m_pTabs = nullptr;
    QPushButton* m_pSaveButton = nullptr;
    QPushButton* m_pCancelButton = nullptr;
    QPushButton* m_pHelpButton = nullptr;

    // General
    QCheckBox* m_pMinimizeToTray = nullptr;
    QCheckBox* m_pMinimizeOnClose = nullptr;
    QCheckBox* m_pShowTooltips = nullptr;
    QCheckBox* m_pAlwaysShowTrayIcon = nullptr;
    QCheckBox* m_pConfirmExit = nullptr;
    QCheckBox* m_pConfirmCancelUnpack = nullptr;
    QCheckBox* m_pConfirmDelete = nullptr;
    QCheckBox* m_pConfirmCancelScan = nullptr;
    QCheckBox* m_pAutoSizeNameColumn = nullptr;
    CXChoiceCombo* m_pNameDisplay = nullptr;
    CXChoiceCombo* m_pDoubleClick = nullptr;
    QPushButton* m_pClearHistory = nullptr;

    // Scanning & Processing
    QCheckBox* m_pShowScanResults = nullptr;
    QCheckBox* m_pShowUnpackResults = nullptr;
    QCheckBox* m_pAutoCheckFound = nullptr;
    QCheckBox* m_pOverwritePhotos = nullptr;
    QCheckBox* m_pRenameFolder = nullptr;
    CXChoiceCombo* m_pRenameCase = nullptr;
    CXChoiceCombo* m_pExtractTo = nullptr;
    CXChoiceCombo* m_pAfterExtraction = nullptr;
    CXChoiceCombo* m_pWhenToDelete = nullptr;
    CXChoiceCombo* m_pValidation = nullptr;
    QCheckBox* m_pDeleteOtherFiles = nullptr;
    QCheckBox* m_pExportDetection = nullptr;
    QComboBox* m_pZipNameEncoding = nullptr; // item data: the code page's name, empty for the automatic choice

    // Image Types and Exclusions
    QCheckBox* m_pTypeBMP = nullptr;
    QCheckBox* m_pTypePNG = nullptr;
    QCheckBox* m_pTypeTIFF = nullptr;
    QCheckBox* m_pTypeGIF = nullptr;
    QCheckBox* m_pTypeJPEG = nullptr;
    QLineEdit* m_pExtraExtensions = nullptr;
    QPlainTextEdit* m_pIgnoreFolderNames = nullptr;
};
