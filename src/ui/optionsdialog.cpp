#include "ui/optionsdialog.h"

#include "archive/zip.h"

#include "settings/options.h"
#include "settings/settings.h"

#include <algorithm>
#include <iterator>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kContext = "CPSDLGOptions";

// The trash has a different name on each desktop; the item uses the one the user knows.
#ifdef Q_OS_WIN
constexpr const char* kTrashItem = QT_TRANSLATE_NOOP("CPSDLGOptions", "Delete Archive (Send to Recycle Bin)");
#else
constexpr const char* kTrashItem = QT_TRANSLATE_NOOP("CPSDLGOptions", "Delete Archive (Move to Trash)");
#endif

const CXChoiceItem kNameDisplayItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Filename"), NameFileName},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Relative Pathname"), NameRelativePath},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Full Pathname"), NameFullPath},
};
const CXChoiceItem kDoubleClickItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Open Containing Folder"), DoubleClickOpenFolder},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Open Archive"), DoubleClickOpenArchive},
};
const CXChoiceItem kAfterExtractionItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Do Nothing"), AfterDoNothing},
    {kTrashItem, AfterDeleteToTrash},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Delete Archive (Permanently delete)"), AfterDeletePermanently},
};
const CXChoiceItem kWhenToDeleteItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "After processing each archive"), DeleteAfterEach},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "After processing all archive(s)"), DeleteAfterAll},
};
const CXChoiceItem kValidationItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Level 1 - Extracted Photo Exists"), ValidateExists},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Level 2 - Extracted Photo Exists, Uncompressed Size Matches"), ValidateSize},
    {QT_TRANSLATE_NOOP("CPSDLGOptions",
                       "Level 3 - Extracted Photo Exists, Uncompressed Size Matches, Loads as a Picture"),
     ValidateLoads},
};
const CXChoiceItem kExtractToItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Use Smart Extraction\u2122"), ExtractSmart},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Extract to here... (Containing Folder)"), ExtractHere},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Extract to folder... (Based on archive's name)"), ExtractToFolder},
};
const CXChoiceItem kRenameCaseItems[] = {
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Convert to Title Case"), RenameTitle},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Convert to lower case"), RenameLower},
    {QT_TRANSLATE_NOOP("CPSDLGOptions", "Convert to UPPER CASE"), RenameUpper},
};

qint32 Flag(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

// The rescan compares texts the way the scan reads them: case and outer white space do not matter.
QString Comparable(const QString& text)
{
    return text.trimmed().toLower();
}

// A page: the group box that holds its controls, with the rest of the page left empty below it.
QGridLayout* AddOptionsGroup(QWidget* page)
{
    auto* outer = new QVBoxLayout(page);
    auto* group = new QGroupBox(QCoreApplication::translate("CPSDLGOptions", "Options"), page);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return grid;
}

QLabel* AddLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

CXChoiceCombo::CXChoiceCombo(std::span<const CXChoiceItem> items, QWidget* parent) : QComboBox(parent), m_items(items)
{}

void CXChoiceCombo::Fill()
{
    clear();
    for (const CXChoiceItem& item : m_items)
        addItem(QCoreApplication::translate(kContext, item.text), item.value);
}

void CXChoiceCombo::SelectByValue(qint32 value)
{
    setCurrentIndex(findData(value));
}

qint32 CXChoiceCombo::Value() const
{
    return currentIndex() < 0 ? -1 : currentData().toInt();
}

CPSDLGOptions::CPSDLGOptions(CXSettings& settings, const QString& sourceFolder, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_strSourceFolder(sourceFolder)
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(tr("Options - Zelvano"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    m_nOldTypes[0] = settings.m_bTypeJPEG;
    m_nOldTypes[1] = settings.m_bTypeBMP;
    m_nOldTypes[2] = settings.m_bTypePNG;
    m_nOldTypes[3] = settings.m_bTypeTIFF;
    m_nOldTypes[4] = settings.m_bTypeGIF;
    m_strOldExtra = settings.m_strExtraExtensions;
    m_strOldIgnore = settings.m_strIgnoreFolderNames;
    m_nOldExtractTo = settings.m_nExtractTo;
    m_strOldZipNameEncoding = settings.m_strZipNameEncoding;
    m_nOldNameDisplay = settings.m_nNameDisplay;
    m_bOldTooltips = settings.m_bShowTooltips;
    m_bOldTrayIcon = settings.m_bAlwaysShowTrayIcon;

    m_pTabs = new QTabWidget(this);
    m_pTabs->setObjectName(QStringLiteral("optionsTabs"));
    m_pTabs->addTab(BuildGeneralPage(), tr("General"));
    m_pTabs->addTab(BuildScanningPage(), tr("Scanning && Processing"));
    m_pTabs->addTab(BuildImageTypesPage(), tr("Image Types and Exclusions"));

    m_pSaveButton = new QPushButton(tr("Save"), this);
    m_pSaveButton->setObjectName(QStringLiteral("saveButton"));
    m_pSaveButton->setDefault(true);
    m_pCancelButton = new QPushButton(tr("Cancel"), this);
    m_pCancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_pHelpButton = new QPushButton(tr("Help"), this);
    m_pHelpButton->setObjectName(QStringLiteral("helpButton"));
    m_pHelpButton->setAutoDefault(false);
    m_pCancelButton->setAutoDefault(false);
    // The three buttons share one size, the widest caption's.
    const int buttonWidth = std::max(
        {m_pSaveButton->sizeHint().width(), m_pCancelButton->sizeHint().width(), m_pHelpButton->sizeHint().width()});
    for (QPushButton* button : {m_pSaveButton, m_pCancelButton, m_pHelpButton})
        button->setFixedWidth(buttonWidth);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pSaveButton);
    buttons->addWidget(m_pCancelButton);
    buttons->addWidget(m_pHelpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addLayout(buttons);

    LoadControls();

    connect(m_pSaveButton, &QPushButton::clicked, this, &CPSDLGOptions::accept);
    connect(m_pCancelButton, &QPushButton::clicked, this, &CPSDLGOptions::reject);
    connect(m_pHelpButton, &QPushButton::clicked, this,
            [this] { Q_EMIT helpRequested(HelpTopic(m_pTabs->currentIndex())); });
    connect(m_pTabs, &QTabWidget::currentChanged, this, &CPSDLGOptions::OnPageChanged);
    connect(m_pMinimizeToTray, &QCheckBox::toggled, this, &CPSDLGOptions::ApplyTrayIconRule);
    connect(m_pRenameFolder, &QCheckBox::toggled, this, &CPSDLGOptions::ApplyRenameRule);
    connect(m_pAfterExtraction, &QComboBox::currentIndexChanged, this, &CPSDLGOptions::ApplyWhenToDeleteRule);
    connect(m_pClearHistory, &QPushButton::clicked, this, &CPSDLGOptions::ClearHistory);
}

QString CPSDLGOptions::HelpTopic(int page)
{
    switch (page) {
    case PageScanning:
        return QStringLiteral("ScanningProcessing.htm");
    case PageImageTypes:
        return QStringLiteral("ImageTypesExclusions.htm");
    default:
        return QStringLiteral("General.htm");
    }
}

QCheckBox* CPSDLGOptions::AddCheck(const char* objectName, const QString& caption, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(objectName));
    return box;
}

CXChoiceCombo* CPSDLGOptions::AddCombo(const char* objectName, std::span<const CXChoiceItem> items, QWidget* parent)
{
    auto* combo = new CXChoiceCombo(items, parent);
    combo->setObjectName(QLatin1String(objectName));
    return combo;
}

QWidget* CPSDLGOptions::BuildGeneralPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("generalPage"));
    QGridLayout* grid = AddOptionsGroup(page);
    QWidget* group = grid->parentWidget();

    m_pMinimizeToTray = AddCheck("minimizeToTrayCheck", tr("Minimize to System Tray"), group);
    m_pMinimizeOnClose = AddCheck("minimizeOnCloseCheck", tr("Minimize Window on Exit or Close"), group);
    m_pShowTooltips = AddCheck("showTooltipsCheck", tr("Show Tooltip Hints"), group);
    m_pAlwaysShowTrayIcon = AddCheck("alwaysShowTrayIconCheck", tr("Always Show System Tray Icon"), group);
    m_pConfirmExit = AddCheck("confirmExitCheck", tr("Confirm Before Exiting"), group);
    m_pConfirmCancelUnpack = AddCheck("confirmCancelUnpackCheck", tr("Confirm Before Cancelling Processing"), group);
    m_pConfirmDelete = AddCheck("confirmDeleteCheck", tr("Confirm Before Deleting Archive"), group);
    m_pConfirmCancelScan = AddCheck("confirmCancelScanCheck", tr("Confirm Before Cancelling Scanning"), group);
    m_pAutoSizeNameColumn = AddCheck("autoSizeNameColumnCheck", tr("Auto-Size Archive Name Column"), group);
    m_pNameDisplay = AddCombo("nameDisplayCombo", kNameDisplayItems, group);
    m_pDoubleClick = AddCombo("doubleClickCombo", kDoubleClickItems, group);
    m_pClearHistory = new QPushButton(tr("Clear Source Folder History"), group);
    m_pClearHistory->setObjectName(QStringLiteral("clearHistoryButton"));
    m_pClearHistory->setAutoDefault(false);

    grid->addWidget(m_pMinimizeToTray, 0, 0);
    grid->addWidget(m_pMinimizeOnClose, 0, 1);
    grid->addWidget(m_pShowTooltips, 1, 0);
    grid->addWidget(m_pAlwaysShowTrayIcon, 1, 1);
    grid->addWidget(m_pConfirmExit, 2, 0);
    grid->addWidget(m_pConfirmCancelUnpack, 2, 1);
    grid->addWidget(m_pConfirmDelete, 3, 0);
    grid->addWidget(m_pConfirmCancelScan, 3, 1);
    grid->addWidget(m_pAutoSizeNameColumn, 4, 0);
    grid->setRowMinimumHeight(5, 8);
    QLabel* nameLabel = AddLabel(tr("Display Photo Archive Name as:"), group);
    nameLabel->setBuddy(m_pNameDisplay);
    grid->addWidget(nameLabel, 6, 0);
    grid->addWidget(m_pNameDisplay, 6, 1);
    QLabel* clickLabel = AddLabel(tr("Double-Click Behavior:"), group);
    clickLabel->setBuddy(m_pDoubleClick);
    grid->addWidget(clickLabel, 7, 0);
    grid->addWidget(m_pDoubleClick, 7, 1);
    grid->addWidget(m_pClearHistory, 8, 1);
    return page;
}

QWidget* CPSDLGOptions::BuildScanningPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("scanningPage"));
    QGridLayout* grid = AddOptionsGroup(page);
    QWidget* group = grid->parentWidget();

    m_pShowScanResults = AddCheck("showScanResultsCheck", tr("Show Scanning Results"), group);
    m_pShowUnpackResults = AddCheck("showUnpackResultsCheck", tr("Show Unpacking Results"), group);
    m_pAutoCheckFound = AddCheck("autoCheckFoundCheck", tr("Auto-Check Found Archives"), group);
    m_pOverwritePhotos = AddCheck("overwritePhotosCheck", tr("Overwrite Photos (Otherwise Skip)"), group);
    m_pRenameFolder = AddCheck("renameFolderCheck", tr("Auto-Rename Containing Folder:"), group);
    m_pRenameCase = AddCombo("renameCaseCombo", kRenameCaseItems, group);
    m_pExtractTo = AddCombo("extractToCombo", kExtractToItems, group);
    m_pAfterExtraction = AddCombo("afterExtractionCombo", kAfterExtractionItems, group);
    m_pWhenToDelete = AddCombo("whenToDeleteCombo", kWhenToDeleteItems, group);
    m_pValidation = AddCombo("validationCombo", kValidationItems, group);
    m_pDeleteOtherFiles = AddCheck("deleteOtherFilesCheck", tr("Delete archives that also hold other files"), group);
    m_pDeleteOtherFiles->setToolTip(tr("An archive that also holds videos, documents or other files that are not "
                                       "pictures may be deleted once its pictures are safely on disk."));
    m_pExportDetection = AddCheck("exportDetectionCheck", tr("Unpack photo exports into one dated folder"), group);
    m_pExportDetection->setToolTip(tr("The parts of a Google Takeout export are unpacked together into one folder "
                                      "named after the export, and each picture gets back the date its description "
                                      "file records."));
    m_pZipNameEncoding = new QComboBox(group);
    m_pZipNameEncoding->setObjectName(QStringLiteral("zipNameEncodingCombo"));
    m_pZipNameEncoding->addItem(tr("Detect Automatically"), QString());
    for (const QString& name : ZipNameEncodingNames())
        m_pZipNameEncoding->addItem(name, name);
    m_pZipNameEncoding->setToolTip(tr("The code page of file names in ZIP archives that do not say which one they "
                                      "use (archives made on older systems). Change it when names come out "
                                      "garbled."));

    grid->addWidget(m_pShowScanResults, 0, 0);
    grid->addWidget(m_pShowUnpackResults, 0, 1);
    grid->addWidget(m_pAutoCheckFound, 1, 0);
    grid->addWidget(m_pOverwritePhotos, 1, 1);
    grid->addWidget(m_pRenameFolder, 2, 0);
    grid->addWidget(m_pRenameCase, 2, 1);
    QLabel* extractLabel = AddLabel(tr("Extract Archive Photos To:"), group);
    extractLabel->setBuddy(m_pExtractTo);
    grid->addWidget(extractLabel, 3, 0);
    grid->addWidget(m_pExtractTo, 3, 1);
    QLabel* afterLabel = AddLabel(tr("After Successful Extraction:"), group);
    afterLabel->setBuddy(m_pAfterExtraction);
    grid->addWidget(afterLabel, 4, 0);
    grid->addWidget(m_pAfterExtraction, 4, 1);
    // Set in under the deletion choice it belongs to; it stays enabled when its combo box is not.
    QLabel* whenLabel = AddLabel(tr("When to delete:"), group);
    whenLabel->setObjectName(QStringLiteral("whenToDeleteLabel"));
    whenLabel->setBuddy(m_pWhenToDelete);
    whenLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(whenLabel, 5, 0);
    grid->addWidget(m_pWhenToDelete, 5, 1);
    grid->addWidget(m_pDeleteOtherFiles, 6, 1);
    QLabel* validationLabel = AddLabel(tr("Extracted Photo Validation:"), group);
    validationLabel->setBuddy(m_pValidation);
    grid->addWidget(validationLabel, 7, 0, 1, 2);
    grid->addWidget(m_pValidation, 8, 0, 1, 2);
    QLabel* encodingLabel = AddLabel(tr("Code Page of ZIP File Names:"), group);
    encodingLabel->setBuddy(m_pZipNameEncoding);
    grid->addWidget(encodingLabel, 9, 0);
    grid->addWidget(m_pZipNameEncoding, 9, 1);
    grid->addWidget(m_pExportDetection, 10, 0, 1, 2);
    return page;
}

QWidget* CPSDLGOptions::BuildImageTypesPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("imageTypesPage"));
    QGridLayout* grid = AddOptionsGroup(page);
    QWidget* group = grid->parentWidget();

    m_pTypeBMP = AddCheck("typeBmpCheck", tr("BMP (Windows Bitmap Format)"), group);
    m_pTypePNG = AddCheck("typePngCheck", tr("PNG (Portable Network Graphics)"), group);
    m_pTypeTIFF = AddCheck("typeTiffCheck", tr("TIFF (Tagged Image File Format)"), group);
    m_pTypeGIF = AddCheck("typeGifCheck", tr("GIF (Graphics Interchange Format)"), group);
    m_pTypeJPEG = AddCheck("typeJpegCheck", tr("JPEG (Joint Photographic Experts Group)"), group);
    grid->addWidget(m_pTypeBMP, 0, 0);
    grid->addWidget(m_pTypePNG, 0, 1);
    grid->addWidget(m_pTypeTIFF, 1, 0);
    grid->addWidget(m_pTypeGIF, 1, 1);
    grid->addWidget(m_pTypeJPEG, 2, 0);
    grid->setRowMinimumHeight(3, 8);

    // The label wraps to the page's width, so the text carries no line break of its own.
    QLabel* extraLabel = AddLabel(tr("You can specify additional image types (or other document types) to extract.  "
                                     "Use a semi-colon to separate each file type extension (such as .txt;.nfo;)  "
                                     "Wildcard types are ignored (such as \\* or \\?)."),
                                  group);
    extraLabel->setObjectName(QStringLiteral("extraExtensionsLabel"));
    m_pExtraExtensions = new QLineEdit(group);
    m_pExtraExtensions->setObjectName(QStringLiteral("extraExtensionsEdit"));
    extraLabel->setBuddy(m_pExtraExtensions);
    grid->addWidget(extraLabel, 4, 0, 1, 2);
    grid->addWidget(m_pExtraExtensions, 5, 0, 1, 2);

    QLabel* smartLabel = AddLabel(
        tr("Smart Extraction analyzes an archive's contents to determine the best way to extract its images (this "
           "includes archives containing images in sub-folders).  Sometimes these folder names are not very "
           "descriptive (or useful).  You can override Smart Extraction's behavior (and force \"Extract to "
           "Folder\") by listing sub-folder names to ignore (comma separated)."),
        group);
    smartLabel->setObjectName(QStringLiteral("ignoreFolderNamesLabel"));
    m_pIgnoreFolderNames = new QPlainTextEdit(group);
    m_pIgnoreFolderNames->setObjectName(QStringLiteral("ignoreFolderNamesEdit"));
    // Tab moves on, as in every other field of the dialog, instead of typing a tab into a word list.
    m_pIgnoreFolderNames->setTabChangesFocus(true);
    const int lines = 3;
    m_pIgnoreFolderNames->setFixedHeight(m_pIgnoreFolderNames->fontMetrics().lineSpacing() * lines +
                                         2 * (m_pIgnoreFolderNames->frameWidth() + 4));
    smartLabel->setBuddy(m_pIgnoreFolderNames);
    grid->addWidget(smartLabel, 6, 0, 1, 2);
    grid->addWidget(m_pIgnoreFolderNames, 7, 0, 1, 2);
    return page;
}

void CPSDLGOptions::LoadControls()
{
    const CXSettings& s = m_settings;
    const auto check = [](QCheckBox* box, qint32 value) { box->setChecked(value != 0); };

    check(m_pMinimizeToTray, s.m_bMinimizeToTray);
    check(m_pMinimizeOnClose, s.m_bMinimizeOnClose);
    check(m_pShowTooltips, s.m_bShowTooltips);
    check(m_pAlwaysShowTrayIcon, s.m_bAlwaysShowTrayIcon);
    check(m_pConfirmExit, s.m_bConfirmExit);
    check(m_pConfirmCancelUnpack, s.m_bConfirmCancelUnpack);
    check(m_pConfirmDelete, s.m_bConfirmDelete);
    check(m_pConfirmCancelScan, s.m_bConfirmCancelScan);
    check(m_pAutoSizeNameColumn, s.m_bAutoSizeNameColumn);
    for (CXChoiceCombo* combo : {m_pNameDisplay, m_pDoubleClick, m_pRenameCase, m_pExtractTo, m_pAfterExtraction,
                                 m_pWhenToDelete, m_pValidation})
        combo->Fill();
    m_pNameDisplay->SelectByValue(s.m_nNameDisplay);
    m_pDoubleClick->SelectByValue(s.m_nDoubleClickAction);

    check(m_pShowScanResults, s.m_bShowScanResults);
    check(m_pShowUnpackResults, s.m_bShowUnpackResults);
    check(m_pAutoCheckFound, s.m_bAutoCheckFound);
    check(m_pOverwritePhotos, s.m_bOverwritePhotos);
    check(m_pRenameFolder, s.m_bRenameFolder);
    m_pRenameCase->SelectByValue(s.m_nRenameCase);
    m_pExtractTo->SelectByValue(s.m_nExtractTo);
    m_pAfterExtraction->SelectByValue(s.m_nAfterExtraction);
    m_pWhenToDelete->SelectByValue(s.m_nWhenToDelete);
    m_pValidation->SelectByValue(s.m_nValidationLevel);
    check(m_pDeleteOtherFiles, s.m_bDeleteOtherFiles);
    check(m_pExportDetection, s.m_bExportDetection);
    // A name the reader does not know means the automatic choice, which the first item stands for.
    m_pZipNameEncoding->setCurrentIndex(0);
    for (int i = 1; i < m_pZipNameEncoding->count(); ++i) {
        if (m_pZipNameEncoding->itemData(i).toString().compare(s.m_strZipNameEncoding, Qt::CaseInsensitive) == 0)
            m_pZipNameEncoding->setCurrentIndex(i);
    }

    check(m_pTypeBMP, s.m_bTypeBMP);
    check(m_pTypePNG, s.m_bTypePNG);
    check(m_pTypeTIFF, s.m_bTypeTIFF);
    check(m_pTypeGIF, s.m_bTypeGIF);
    check(m_pTypeJPEG, s.m_bTypeJPEG);
    m_pExtraExtensions->setText(s.m_strExtraExtensions);
    m_pIgnoreFolderNames->setPlainText(s.m_strIgnoreFolderNames);

    ApplyTrayIconRule();
    ApplyRenameRule();
    ApplyWhenToDeleteRule();
}

void CPSDLGOptions::ApplyTrayIconRule()
{
    // A window that hides into the tray must leave an icon to come back by.
    if (m_pMinimizeToTray->isChecked()) {
        m_pAlwaysShowTrayIcon->setChecked(true);
        m_pAlwaysShowTrayIcon->setEnabled(false);
    } else {
        m_pAlwaysShowTrayIcon->setEnabled(true);
    }
}

void CPSDLGOptions::ApplyRenameRule()
{
    m_pRenameCase->setEnabled(m_pRenameFolder->isChecked());
}

void CPSDLGOptions::ApplyWhenToDeleteRule()
{
    // No selection counts as a deletion choice, so an unknown stored value can still be looked at.
    m_pWhenToDelete->setEnabled(m_pAfterExtraction->Value() != AfterDoNothing);
}

bool CPSDLGOptions::AnyImageTypeChecked() const
{
    for (const QCheckBox* box : {m_pTypeJPEG, m_pTypePNG, m_pTypeBMP, m_pTypeTIFF, m_pTypeGIF})
        if (box->isChecked())
            return true;
    return false;
}

void CPSDLGOptions::ComplainNoImageType()
{
    QMessageBox::information(this, tr("Zelvano"),
                             tr("Please choose at least one image format (JPEG | PNG | BMP | TIFF | GIF) to include "
                                "before clicking Save."));
    m_pTypeJPEG->setFocus(Qt::OtherFocusReason);
}

void CPSDLGOptions::OnPageChanged(int index)
{
    const int left = m_nCurrentPage;
    if (left == PageImageTypes && index != PageImageTypes && !AnyImageTypeChecked()) {
        // A scan without any image type finds nothing: the page keeps the user until one is chosen.
        const QSignalBlocker block(m_pTabs);
        m_pTabs->setCurrentIndex(PageImageTypes);
        ComplainNoImageType();
        return;
    }
    if (left == PageScanning)
        m_bScanningShown = true;
    m_nCurrentPage = index;
    if (index == PageImageTypes)
        m_bImageTypesShown = true;
    if (index == PageGeneral)
        ApplyTrayIconRule();
}

void CPSDLGOptions::ClearHistory()
{
    m_settings.m_arrSourceHistory.clear();
    m_bHistoryCleared = true;
    m_pClearHistory->setEnabled(false);
}

void CPSDLGOptions::StorePages()
{
    CXSettings& s = m_settings;
    s.m_bShowTooltips = Flag(m_pShowTooltips);
    s.m_bMinimizeToTray = Flag(m_pMinimizeToTray);
    s.m_bMinimizeOnClose = Flag(m_pMinimizeOnClose);
    s.m_bAlwaysShowTrayIcon = Flag(m_pAlwaysShowTrayIcon);
    s.m_bConfirmExit = Flag(m_pConfirmExit);
    s.m_bConfirmCancelUnpack = Flag(m_pConfirmCancelUnpack);
    s.m_bConfirmCancelScan = Flag(m_pConfirmCancelScan);
    s.m_bConfirmDelete = Flag(m_pConfirmDelete);
    s.m_bAutoSizeNameColumn = Flag(m_pAutoSizeNameColumn);
    s.m_nNameDisplay = m_pNameDisplay->Value();
    s.m_nDoubleClickAction = m_pDoubleClick->Value();

    if (m_bScanningShown) {
        s.m_bShowScanResults = Flag(m_pShowScanResults);
        s.m_bShowUnpackResults = Flag(m_pShowUnpackResults);
        s.m_bAutoCheckFound = Flag(m_pAutoCheckFound);
        s.m_bOverwritePhotos = Flag(m_pOverwritePhotos);
        s.m_nAfterExtraction = m_pAfterExtraction->Value();
        s.m_nWhenToDelete = m_pWhenToDelete->Value();
        s.m_nValidationLevel = m_pValidation->Value();
        s.m_nExtractTo = m_pExtractTo->Value();
        s.m_bRenameFolder = Flag(m_pRenameFolder);
        s.m_nRenameCase = m_pRenameCase->Value();
        s.m_bDeleteOtherFiles = Flag(m_pDeleteOtherFiles);
        s.m_bExportDetection = Flag(m_pExportDetection);
        s.m_strZipNameEncoding = m_pZipNameEncoding->currentData().toString();
    }

    if (m_bImageTypesShown) {
        s.SetExtraExtensions(m_pExtraExtensions->text());
        s.m_bTypeBMP = Flag(m_pTypeBMP);
        s.m_bTypePNG = Flag(m_pTypePNG);
        s.m_bTypeTIFF = Flag(m_pTypeTIFF);
        s.m_bTypeGIF = Flag(m_pTypeGIF);
        s.m_bTypeJPEG = Flag(m_pTypeJPEG);
        s.SetIgnoreFolderNames(m_pIgnoreFolderNames->toPlainText());
    }

    if (m_bHistoryCleared) {
        s.AddSourceFolder(CXSettings::MyPicturesFolder());
        s.AddSourceFolder(m_strSourceFolder);
    }
}

void CPSDLGOptions::ComputeOutcome()
{
    const CXSettings& s = m_settings;
    const qint32 types[5] = {s.m_bTypeJPEG, s.m_bTypeBMP, s.m_bTypePNG, s.m_bTypeTIFF, s.m_bTypeGIF};
    m_outcome.m_bRescanNeeded = !std::equal(std::begin(types), std::end(types), std::begin(m_nOldTypes)) ||
                                Comparable(s.m_strExtraExtensions) != Comparable(m_strOldExtra) ||
                                Comparable(s.m_strIgnoreFolderNames) != Comparable(m_strOldIgnore) ||
                                Comparable(s.m_strZipNameEncoding) != Comparable(m_strOldZipNameEncoding);
    m_outcome.m_bExtractModeChanged = s.m_nExtractTo != m_nOldExtractTo;
    m_outcome.m_bNameDisplayChanged = s.m_nNameDisplay != m_nOldNameDisplay;
    m_outcome.m_bTooltipsChanged = s.m_bShowTooltips != m_bOldTooltips;
    m_outcome.m_bTrayIconChanged = s.m_bAlwaysShowTrayIcon != m_bOldTrayIcon;
}

void CPSDLGOptions::accept()
{
    if (m_pTabs->currentIndex() == PageImageTypes && !AnyImageTypeChecked()) {
        ComplainNoImageType();
        return;
    }
    if (m_pTabs->currentIndex() == PageScanning)
        m_bScanningShown = true;

    StorePages();
    const bool settingsWritten = m_settings.SaveSettings();
    const bool optionsWritten = SaveOptions(m_settings);

    m_outcome.m_bSaved = true;
    m_outcome.m_bWritten = settingsWritten && optionsWritten;
    m_outcome.m_bHistoryCleared = m_bHistoryCleared;
    ComputeOutcome();
    QDialog::accept();
}

void CPSDLGOptions::reject()
{
    // The clearing stands; the history keeps only the folder the window shows, so its drop-down is not empty.
    if (m_bHistoryCleared)
        m_settings.AddSourceFolder(m_strSourceFolder);
    m_outcome = OptionsOutcome{};
    m_outcome.m_bHistoryCleared = m_bHistoryCleared;
    QDialog::reject();
}
