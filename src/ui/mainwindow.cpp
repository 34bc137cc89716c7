#include "ui/mainwindow.h"

#include "app/homepage.h"
#include "archive/zip.h"
#include "common/format.h"
#include "common/passwordstore.h"
#include "reports/scanreport.h"
#include "scan/scanrunner.h"
#include "settings/imagefilter.h"
#include "ui/aboutbox.h"
#include "ui/archivelistview.h"
#include "ui/guihost.h"
#include "ui/headerbanner.h"
#include "ui/helpwindow.h"
#include "ui/optionsdialog.h"
#include "ui/passworddialog.h"
#include "ui/scanresultsdialog.h"
#include "ui/splashwindow.h"
#include "ui/statusstrip.h"
#include "ui/systray.h"
#include "ui/taskbarstatus.h"
#include "ui/unpackresultsdialog.h"
#include "unpack/deferreddelete.h"
#include "unpack/progresshost.h"
#include "unpack/unpackresults.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

static void InitResources()
{
    Q_INIT_RESOURCE(zelvano);
}

namespace {

// The window's caption, also the caption of its message boxes.
QString Caption()
{
    return CMainDialog::tr("Zelvano");
}

constexpr int kBannerHeight = 88;
constexpr int kMinWidth = 744;
constexpr int kMinHeight = 549;

const char* const kBannerText = QT_TRANSLATE_NOOP(
    "CMainDialog",
    "Zelvano works by recursively searching the <b>Source Folder to Scan</b> for ZIP & RAR archives containing "
    "supported image formats to extract. <b>To get Started:</b>&nbsp;&nbsp;Click on the <b>Choose Source "
    "Folder</b> button and select a source folder to scan.  When the scan completes you can <b>check</b> each "
    "archive to perform in-place extraction and validation of the archives photos using <b>Smart "
    "Extraction\u2122</b>.  Click on the <b>Help</b> button for a tutorial and additional usage information.");

// After Save in the Options dialog, the rescan starts this much later, once the dialog has gone.
constexpr int kRescanDelay = 750;

// Paths are held with "/" and shown with the platform's separators.
QString Shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A question naming paths or archives breaks none of them across lines: the text gets the width of its
// longest line, up to most of the screen.
void WidenForLongestLine(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const QFontMetrics metrics(label->font());
    int widest = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    int limit = 900;
    if (const QScreen* screen = box.screen())
        limit = screen->availableGeometry().width() * 3 / 4;
    label->setMinimumWidth(std::min(widest + 8, limit));
}

bool FolderExists(const QString& path)
{
    return !path.trimmed().isEmpty() && QFileInfo(path.trimmed()).isDir();
}

} // namespace

// The window's side of the worker host: what each worker call does, on the user-interface thread.
class CMainDialog::WindowSide final : public CXWorkerHost
{
public:
    explicit WindowSide(CMainDialog& window) : m_window(window) {}

    void ScanProgress(const QString& folder) override { m_window.OnScanProgress(folder); }
    void StatusText(int line, const QString& text) override
    {
        if (line == 0)
            m_window.m_pStatus->SetMainText(text);
        else if (line == 1)
            m_window.m_pStatus->SetSecondaryText(text);
    }
    void StatusState(int state) override { m_window.m_pStatus->SetState(state); }
    void ScanFinished() override { m_window.OnScanFinished(); }
    void UnpackFinished() override { m_window.OnUnpackFinished(); }
    void StepProgress() override { m_window.m_pTaskbar->StepProgress(); }
    // The worker asks to be stopped (Cancel in a delete question): the stop runs after this call has
    // returned, as a posted command would, and asks nothing.
    void RequestStop() override
    {
        m_window.m_bStopWithoutAsking = 1;
        QTimer::singleShot(0, &m_window, &CMainDialog::StopUnpack);
    }
    void EnsureArchiveVisible(int archiveIndex) override { m_window.m_pList->EnsureModelIndexVisible(archiveIndex); }
    void RemoveArchiveRow(int archiveIndex) override { m_window.m_pList->RemoveModelIndex(archiveIndex); }
    void UncheckArchiveRow(int archiveIndex) override { m_window.m_pList->UncheckModelIndex(archiveIndex); }
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        return m_window.AskArchiveDelete(fileName, moreFollow);
    }
    PasswordAnswer AskPassword(const QString& archiveName) override
    {
        return CXPasswordDialog::Ask(archiveName, &m_window);
    }
    void ShowDiskSpaceMessage(const QString& text) override { QMessageBox::warning(&m_window, Caption(), text); }

private:
    CMainDialog& m_window;
};

CMainDialog::CMainDialog(QWidget* parent) : QDialog(parent)
{
    InitResources();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(Caption());
    setWindowIcon(QIcon(QStringLiteral(":/icons/zelvano.svg")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setAcceptDrops(true);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);

    m_pWindowSide = std::make_unique<WindowSide>(*this);
    m_pHost = std::make_unique<CXGuiWorkerHost>(*m_pWindowSide);
    m_pHost->Retire(); // opened by each scan
    m_pScanRunner = std::make_unique<CXScanRunner>(m_archives);
    m_pProgressHost = std::make_unique<CXProgressHost>(*m_pHost, m_archives);
    m_pUnpackRun = std::make_unique<CXUnpackRun>(m_archives, m_settings, *m_pProgressHost, m_unpackOps);
    m_pTaskbar = std::make_unique<CXTaskbarStatus>(this);

    m_pRescanTimer = new QTimer(this);
    m_pRescanTimer->setObjectName(QStringLiteral("rescanTimer"));
    m_pRescanTimer->setSingleShot(true);
    m_pRescanTimer->setInterval(kRescanDelay);
    connect(m_pRescanTimer, &QTimer::timeout, this, &CMainDialog::BeginScan);
    m_pUpdateCheck = new CXUpdateCheck(this);
    connect(m_pUpdateCheck, &CXUpdateCheck::finished, this, [this](const UpdateCheckResult& result) {
        ShowUpdateCheckResult(this, result, m_updatePrompts);
        UpdateAboutMenu();
    });

    CreateControls();
    CreateMenus();
}

CMainDialog::~CMainDialog()
{
    // A run still going ends here: its calls are answered at once and its thread is joined.
    m_pHost->Retire(false);
    m_pScanRunner->CloseHost();
    m_pScanRunner.reset();
    m_pUnpackRun->CloseHost();
    m_pUnpackRun.reset();
    m_archives.m_pHost = nullptr;
    m_archives.m_pPasswords = nullptr;
    m_pHelpWindow.reset();
}

void CMainDialog::CreateControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_pBanner = new CXHeaderST(this);
    m_pBanner->setObjectName(QStringLiteral("headerBanner"));
    m_pBanner->setFixedHeight(kBannerHeight);
    outer->addWidget(m_pBanner);
    outer->addSpacing(3);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 6, 8, 10);
    body->setSpacing(0);
    outer->addLayout(body, 1);

    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    top->setContentsMargins(0, 0, 4, 0); // with the layout's 8: the exit button 12 pixels from the edge
    auto* source = new QVBoxLayout;
    source->setSpacing(2);
    m_pSourceLabel = new QLabel(tr("Source Folder to Scan:"), this);
    m_pSourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    m_pSourceCombo = new QComboBox(this);
    m_pSourceCombo->setObjectName(QStringLiteral("sourceCombo"));
    m_pSourceCombo->setEditable(false);
    m_pSourceCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pSourceCombo->setMinimumContentsLength(20);
    m_pSourceLabel->setBuddy(m_pSourceCombo);
    source->addStretch(1);
    source->addWidget(m_pSourceLabel);
    source->addWidget(m_pSourceCombo);
    top->addLayout(source, 1);
    top->addSpacing(16);

    auto makeButton = [this](const char* name, const char* icon) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(icon))));
        button->setIconSize(QSize(32, 32));
        button->setAutoRaise(true);
        button->setFixedSize(40, 40);
        button->setFocusPolicy(Qt::TabFocus);
        return button;
    };
    m_pChooseButton = makeButton("chooseFolderButton", "choose-folder");
    m_pScanButton = makeButton("scanButton", "scan");
    m_pStartButton = makeButton("startButton", "start");
    m_pPauseButton = makeButton("pauseButton", "pause");
    m_pStopButton = makeButton("stopButton", "stop");
    m_pOptionsButton = makeButton("optionsButton", "options");
    m_pAboutButton = makeButton("aboutButton", "about");
    m_pHelpButton = makeButton("helpButton", "help");
    m_pExitButton = makeButton("exitButton", "exit");
    const auto addButtons = [top](std::initializer_list<QToolButton*> buttons, int spacing) {
        bool first = true;
        for (QToolButton* button : buttons) {
            if (!first)
                top->addSpacing(spacing);
            top->addWidget(button, 0, Qt::AlignBottom);
            first = false;
        }
    };
    addButtons({m_pChooseButton, m_pScanButton}, 4);
    top->addSpacing(12);
    addButtons({m_pStartButton, m_pPauseButton, m_pStopButton}, 2);
    top->addSpacing(12);
    addButtons({m_pOptionsButton, m_pAboutButton, m_pHelpButton, m_pExitButton}, 4);
    body->addLayout(top);
    body->addSpacing(8);

    m_pStatus = new CXInformationST(this);
    m_pStatus->setObjectName(QStringLiteral("statusStrip"));
    m_pList = new CXListCtrl(this);
    m_pList->setObjectName(QStringLiteral("archiveList"));
    m_pList->Attach(&m_archives, &m_settings, m_pStatus);
    body->addWidget(m_pList, 1);
    body->addSpacing(9);
    body->addWidget(m_pStatus);

    connect(m_pChooseButton, &QToolButton::clicked, this, &CMainDialog::ChooseSourceFolder);
    connect(m_pScanButton, &QToolButton::clicked, this, [this] { ShowMenuUnder(m_pScanMenu, m_pScanButton); });
    connect(m_pAboutButton, &QToolButton::clicked, this, [this] { ShowMenuUnder(m_pAboutMenu, m_pAboutButton); });
    connect(m_pOptionsButton, &QToolButton::clicked, this, &CMainDialog::ShowOptions);
    connect(m_pHelpButton, &QToolButton::clicked, this, [this] { ShowHelp(); });
    connect(m_pExitButton, &QToolButton::clicked, this, &CMainDialog::ExitSteps);
    connect(m_pStartButton, &QToolButton::clicked, this, [this] { m_bUnpackPaused ? ResumeUnpack() : StartUnpack(); });
    connect(m_pPauseButton, &QToolButton::clicked, this, &CMainDialog::PauseUnpack);
    connect(m_pStopButton, &QToolButton::clicked, this, &CMainDialog::StopUnpack);
    connect(m_pSourceCombo, &QComboBox::activated, this, &CMainDialog::OnSourceSelected);
    connect(m_pList, &CXListCtrl::checksChanged, this, &CMainDialog::RefreshControls);
    connect(m_pList, &CXListCtrl::clearListRequested, this, &CMainDialog::ClearList);

    m_pTray = new CXSysTray(this);
    m_pTray->setObjectName(QStringLiteral("sysTray"));
    m_pTray->SetRunActiveQuery([this] { return IsRunActive(); });
    connect(m_pTray, &CXSysTray::showRequested, this, &CMainDialog::ShowFromTray);
    connect(m_pTray, &CXSysTray::exitRequested, this, &CMainDialog::ExitFromTray);
    connect(m_pTray, &CXSysTray::optionsRequested, this, &CMainDialog::ShowOptions);
    connect(m_pTray, &CXSysTray::aboutRequested, this, &CMainDialog::ShowAbout);
}

void CMainDialog::CreateMenus()
{
    m_pScanMenu = new QMenu(this);
    m_pScanMenu->setObjectName(QStringLiteral("scanMenu"));
    m_pStartScanAction = m_pScanMenu->addAction(tr("Start Scan"), this, &CMainDialog::BeginScan);
    m_pStartScanAction->setObjectName(QStringLiteral("startScanAction"));
    m_pPauseScanAction = m_pScanMenu->addAction(tr("Pause Scan"), this, &CMainDialog::PauseResumeScan);
    m_pPauseScanAction->setObjectName(QStringLiteral("pauseScanAction"));
    m_pStopScanAction = m_pScanMenu->addAction(tr("Stop Scan"), this, &CMainDialog::StopScan);
    m_pStopScanAction->setObjectName(QStringLiteral("stopScanAction"));
    m_pScanMenu->addSeparator();
    m_pClearListAction = m_pScanMenu->addAction(tr("Clear List"), this, &CMainDialog::ClearList);
    m_pClearListAction->setObjectName(QStringLiteral("clearListAction"));
    connect(m_pScanMenu, &QMenu::aboutToShow, this, &CMainDialog::UpdateScanMenu);

    m_pAboutMenu = new QMenu(this);
    m_pAboutMenu->setObjectName(QStringLiteral("aboutMenu"));
    QAction* about = m_pAboutMenu->addAction(tr("About..."), this, &CMainDialog::ShowAbout);
    about->setObjectName(QStringLiteral("aboutAction"));
    m_pAboutMenu->addSeparator();
    const auto addWebPage = [this](const QString& text, const char* name, QLatin1String page) {
        QAction* action = m_pAboutMenu->addAction(text, this, [this, page] { OpenWebPage(page); });
        action->setObjectName(QString::fromLatin1(name));
        m_webActions.append(action);
    };
    addWebPage(tr("Zelvano on the Web"), "homePageAction", kHomeIndexPage);
    addWebPage(tr("Help Desk"), "helpDeskAction", kHomeSupportPage);
    addWebPage(tr("Community Forums"), "forumsAction", kHomeForumsPage);
    m_pAboutSeparator = m_pAboutMenu->addSeparator();
    m_pCheckUpdatesAction = m_pAboutMenu->addAction(tr("Check for Updates..."), this, &CMainDialog::CheckForUpdates);
    m_pCheckUpdatesAction->setObjectName(QStringLiteral("checkUpdatesAction"));
    connect(m_pAboutMenu, &QMenu::aboutToShow, this, &CMainDialog::UpdateAboutMenu);
    UpdateAboutMenu();

    m_pHelpAction = new QAction(tr("Help"), this);
    m_pHelpAction->setObjectName(QStringLiteral("helpAction"));
    m_pHelpAction->setShortcut(QKeySequence(Qt::Key_F1));
    connect(m_pHelpAction, &QAction::triggered, this, [this] { ShowHelp(); });
    addAction(m_pHelpAction);

    m_pOptionsAction = new QAction(tr("Options..."), this);
    m_pOptionsAction->setObjectName(QStringLiteral("optionsAction"));
    m_pOptionsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_pOptionsAction, &QAction::triggered, this, &CMainDialog::ShowOptions);
    addAction(m_pOptionsAction);
}

// The web pages are there only when the build has a home page; the update check's entry always is (it says
// when there is no update server) and is greyed while a check runs.
void CMainDialog::UpdateAboutMenu()
{
    const bool web = !HomePage().isEmpty();
    for (QAction* action : std::as_const(m_webActions))
        action->setVisible(web);
    m_pAboutSeparator->setVisible(web);
    m_pCheckUpdatesAction->setEnabled(!m_pUpdateCheck->IsRunning());
}

void CMainDialog::ShowMenuUnder(QMenu* menu, QToolButton* button)
{
    menu->popup(button->mapToGlobal(button->rect().bottomLeft()));
}

void CMainDialog::UpdateScanMenu()
{
    const bool running = m_bScanning && !m_bScanPaused;
    m_pStartScanAction->setEnabled(!m_bScanning && !m_bScanPaused && FolderExists(m_strSourceFolder));
    m_pPauseScanAction->setText(m_bScanPaused ? tr("Resume Scan") : tr("Pause Scan"));
    m_pPauseScanAction->setEnabled(m_bScanning != 0);
    m_pStopScanAction->setEnabled(m_bScanning != 0);
    m_pClearListAction->setEnabled(!IsRunActive() && m_pList->RowCount() > 0);
    (void)running;
}

bool CMainDialog::Initialize()
{
    // Step 2: the status strip shows the start.
    m_pStatus->SetState(7);
    // Step 3: settings through the core: locations, data and Temp folders, load, save.
    m_pStatus->SetMainText(tr("Application Settings"));
    QString error;
    const bool settingsOk = m_settings.InitializeSettings(&error);
    ApplyZipNameEncoding();
    m_pStatus->SetMainText(tr("Application Settings"));
    StartupPause(500);
    // Step 4: the drop-down from the history.
    m_pStatus->SetMainText(tr("Source Paths"));
    FillSourceCombo();
    m_pTaskbar->AttachTaskbar();
    // Step 6: the last source folder, or the default one when it is gone.
    m_strSourceFolder = QDir::fromNativeSeparators(m_settings.m_strLastSourceFolder.trimmed());
    if (!FolderExists(m_strSourceFolder))
        m_strSourceFolder = QDir::fromNativeSeparators(m_settings.m_strDefaultSourceFolder.trimmed());
    SelectSourceFolder(m_strSourceFolder);
    // Step 7: the banner.
    m_pBanner->SetTitle(tr("QuickStart"));
    m_pBanner->SetIcon(QStringLiteral(":/icons/banner.svg"));
    m_pBanner->SetText(tr(kBannerText));
    // Steps 8 and 9: buttons and list.
    m_pStatus->SetMainText(tr("User Interface"));
    StartupPause(250);
    ApplyTooltips();
    StartupPause(250);
    m_pList->SetupList();
    // Steps 10 and 11.
    m_archives.m_pSettings = &m_settings;
    m_archives.m_pHost = m_pHost.get();
    m_bInitialized = true;
    RefreshControls();
    // Step 12: the tray icon, shown only when it always is.
    m_pTray->AddIcon(windowTitle(), windowIcon());
    if (m_settings.m_bAlwaysShowTrayIcon)
        m_pTray->ShowIcon();
    else
        m_pTray->HideIcon();
    // Step 13: the stored size, centred on the primary screen.
    if (m_settings.m_bMaximized == 0) {
        QSize size(qMax(m_settings.m_nWindowWidth, kMinWidth), qMax(m_settings.m_nWindowHeight, kMinHeight));
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            size = size.boundedTo(available.size()).expandedTo(QSize(kMinWidth, kMinHeight));
            const QRect whole = screen->geometry();
            resize(size);
            move(whole.x() + whole.width() / 2 - size.width() / 2, whole.y() + whole.height() / 2 - size.height() / 2);
        } else {
            resize(size);
        }
    }
    // Step 14.
    m_pList->AutoSizeNameColumn();
    m_pStatus->SetState(0);
    m_pStatus->SetMainText(QString());
    RefreshControls();
    if (!settingsOk)
        QMessageBox::warning(this, Caption(), error);
    if (!m_strPendingFolder.isEmpty())
        QTimer::singleShot(0, this,
                           [this, folder = std::exchange(m_strPendingFolder, QString())] { ScanFolderNow(folder); });
    return settingsOk;
}

CXSplashWindow* CMainDialog::Splash() const
{
    return m_pSplash.data();
}

void CMainDialog::ShowSplash()
{
    if (m_pSplash)
        return;
    auto* splash = new CXSplashWindow(QImage(), this); // deletes itself when it closes
    splash->setObjectName(QStringLiteral("splashWindow"));
    connect(splash, &CXSplashWindow::Finished, this, [this] {
        if (isVisible())
            BringToFront();
    });
    connect(splash, &CXSplashWindow::Clicked, this, [this] {
        if (!HomePage().isEmpty())
            OpenWebPage(kHomeIndexPage);
    });
    if (splash->Start())
        m_pSplash = splash;
    else
        delete splash;
}

// The start-up's short pauses keep the splash's water moving; without a splash on show they are skipped, so
// that nobody waits for a picture they do not see.
void CMainDialog::StartupPause(int milliseconds)
{
    if (!m_pSplash || !m_pSplash->isVisible())
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void CMainDialog::FillSourceCombo()
{
    m_pSourceCombo->clear();
    for (const QString& entry : m_settings.m_arrSourceHistory) {
        const QString folder = QDir::fromNativeSeparators(entry.trimmed());
        if (!FolderExists(folder))
            continue;
        if (m_pSourceCombo->findText(Shown(folder), Qt::MatchFixedString) >= 0)
            continue;
        SelectSourceFolder(folder);
    }
    m_pSourceCombo->setCurrentIndex(-1);
}

// Adds the folder to the drop-down at its sorted place when absent, and selects it.
void CMainDialog::SelectSourceFolder(const QString& folder)
{
    const QString shown = Shown(folder.trimmed());
    if (shown.isEmpty())
        return;
    int index = m_pSourceCombo->findText(shown, Qt::MatchFixedString);
    if (index < 0) {
        index = 0;
        while (index < m_pSourceCombo->count() &&
               QString::compare(m_pSourceCombo->itemText(index), shown, Qt::CaseInsensitive) < 0)
            ++index;
        m_pSourceCombo->insertItem(index, shown);
    }
    m_pSourceCombo->setCurrentIndex(index);
}

void CMainDialog::ReadControls()
{
    if (m_pSourceCombo->currentIndex() >= 0)
        m_strSourceFolder = QDir::fromNativeSeparators(m_pSourceCombo->currentText().trimmed());
}

void CMainDialog::OnSourceSelected()
{
    ReadControls();
    SetButtonEnabled(m_pScanButton, FolderExists(m_strSourceFolder));
}

void CMainDialog::ApplyTooltips()
{
    const bool show = m_settings.m_bShowTooltips != 0;
    const auto tip = [show](QToolButton* button, const QString& text) { button->setToolTip(show ? text : QString()); };
    tip(m_pChooseButton, tr("Choose Source Folder"));
    tip(m_pScanButton, tr("Scan Source Folder"));
    tip(m_pStartButton, m_bUnpackPaused ? tr("Resume Processing") : tr("Start Processing"));
    tip(m_pPauseButton, tr("Pause Processing"));
    tip(m_pStopButton, tr("Stop Processing"));
    tip(m_pOptionsButton, tr("Configure Options"));
    tip(m_pAboutButton, tr("Show About..."));
    tip(m_pHelpButton, tr("Show Help File"));
    tip(m_pExitButton, tr("Exit '%1'").arg(windowTitle()));
}

void CMainDialog::SetButtonEnabled(QToolButton* button, bool enabled)
{
    if (button->isEnabled() != enabled)
        button->setEnabled(enabled);
}

void CMainDialog::RefreshControls()
{
    if (!m_bInitialized)
        return;
    ApplyTooltips();
    if (m_bClosing)
        return;
    ReadControls();
    const bool scanning = m_bScanning != 0;
    const bool unpacking = !scanning && m_bUnpacking != 0;
    const bool idle = !scanning && !unpacking;
    const bool stopping = m_bScanThreadStopping || m_bScanFinishing || m_bScanStopRequested;

    m_pSourceCombo->setEnabled(idle);
    SetButtonEnabled(m_pScanButton, scanning ? !stopping : unpacking ? false : FolderExists(m_strSourceFolder));
    SetButtonEnabled(m_pChooseButton, idle);
    SetButtonEnabled(m_pStartButton, unpacking ? m_bUnpackPaused != 0 : idle && m_pList->CountChecked().m_nRows > 0);
    SetButtonEnabled(m_pPauseButton, unpacking && !m_bUnpackPaused);
    SetButtonEnabled(m_pStopButton, unpacking);
    SetButtonEnabled(m_pOptionsButton, idle);
    m_pOptionsAction->setEnabled(idle);
    SetButtonEnabled(m_pAboutButton, true);
    SetButtonEnabled(m_pHelpButton, true);
    SetButtonEnabled(m_pExitButton, idle);
    m_pList->setEnabled(!scanning);
    m_pList->SetChecksLocked(unpacking);
    if (idle)
        m_pList->UpdateStatusTexts();
    UpdateScanMenu();
}

void CMainDialog::BringToFront()
{
    if (isHidden())
        show();
    else if (isMinimized() || isMaximized())
        showNormal();
    raise();
    activateWindow();
    if (m_settings.m_bMinimizeToTray) {
        if (!m_settings.m_bAlwaysShowTrayIcon)
            m_pTray->HideIcon();
        m_bHiddenInTray = 0;
    }
}

void CMainDialog::ShowFromTray()
{
    if (isHidden())
        show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    if (!m_settings.m_bAlwaysShowTrayIcon)
        m_pTray->HideIcon();
    m_bHiddenInTray = 0;
}

bool CMainDialog::HideToTray()
{
    // Where the desktop has no tray, nothing could bring the window back.
    if (!CXSysTray::IsTrayAvailable())
        return false;
    m_pTray->ShowIcon();
    m_bHiddenInTray = 1;
    hide();
    return true;
}

void CMainDialog::ExitFromTray()
{
    if (IsRunActive() || m_bClosing)
        return;
    if (!Confirm(0, tr("Are you sure you want to Exit?")))
        return;
    SaveLayout();
    QDialog::done(QDialog::Accepted);
}

void CMainDialog::Shutdown()
{
    if (m_bClosing)
        return;
    // Every call of a running worker returns at once; the current entry finishes, nothing more is written
    // and nothing deleted; the worker is waited for, so nothing runs on after the window.
    m_pHost->Retire();
    if (m_pScanRunner->IsRunning())
        m_pScanRunner->StopScanThread();
    m_pScanRunner->WaitFor(std::chrono::milliseconds(10000));
    if (m_pUnpackRun->IsActive()) {
        m_pUnpackRun->Stop();
        m_pUnpackRun->Wait();
    }
    m_bScanning = m_bScanPaused = 0;
    m_bUnpacking = m_bUnpackPaused = 0;
    m_pList->SetSortingAllowed(true);
    SaveLayout();
    QDialog::done(QDialog::Accepted);
}

bool CMainDialog::Confirm(int kind, const QString& text)
{
    qint32* guard = nullptr;
    switch (kind) {
    case 0:
        guard = &m_settings.m_bConfirmExit;
        break;
    case 1:
        guard = &m_settings.m_bConfirmCancelUnpack;
        break;
    case 2:
        guard = &m_settings.m_bConfirmCancelScan;
        break;
    case 3:
        guard = &m_settings.m_bConfirmDelete;
        break;
    default:
        break;
    }
    if (kind != 4 && !guard)
        return false;
    if (guard) {
        if (*guard == 0)
            return true;
        if (isHidden()) {
            show();
            activateWindow();
        }
    }
    QMessageBox box(QMessageBox::Question, Caption(), text,
                    guard ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("confirmBox"));
    WidenForLongestLine(box);
    QCheckBox* dontAsk = nullptr;
    if (guard) {
        dontAsk = new QCheckBox(tr("Don't ask me again"), &box);
        dontAsk->setObjectName(QStringLiteral("dontAskCheckBox"));
        box.setCheckBox(dontAsk);
    }
    const int answer = box.exec();
    if (dontAsk && dontAsk->isChecked()) {
        *guard = 0;
        m_settings.SaveSettings();
    }
    return answer == (guard ? QMessageBox::Yes : QMessageBox::Ok);
}

bool CMainDialog::ExitSteps()
{
    if (m_bClosing)
        return true;
    if (m_settings.m_bMinimizeOnClose) {
        if (!(m_settings.m_bMinimizeToTray && HideToTray()))
            showMinimized();
        return false;
    }
    if (IsRunActive())
        return false;
    if (!Confirm(0, tr("Are you sure you want to Exit?")))
        return false;
    SaveLayout();
    QDialog::done(QDialog::Accepted);
    return true;
}

void CMainDialog::reject()
{
    ExitSteps();
}

void CMainDialog::closeEvent(QCloseEvent* event)
{
    if (m_bClosing) {
        event->accept();
        return;
    }
    event->ignore();
    ExitSteps();
}

void CMainDialog::SaveLayout()
{
    ReadControls();
    const QList<int> widths = m_pList->ColumnWidths();
    const int sortColumn = m_pList->SortColumn();
    const bool ascending = m_pList->SortAscending();
    m_pTaskbar->DetachTaskbar();
    m_bClosing = 1;
    m_pList->ClearList();
    m_pTray->RemoveIcon();
    if (!m_pScanRunner->IsRunning())
        m_archives.ResetForScan();
    if (isMinimized())
        showNormal();
    if (!isMaximized()) {
        m_settings.m_bMaximized = 0;
        m_settings.m_nWindowWidth = width();
        m_settings.m_nWindowHeight = height();
        m_settings.SaveSettings();
    }
    m_settings.m_strLastSourceFolder = m_strSourceFolder;
    if (widths.size() == 6) {
        m_settings.m_nColWidthName = widths[0];
        m_settings.m_nColWidthType = widths[1];
        m_settings.m_nColWidthModified = widths[2];
        m_settings.m_nColWidthSize = widths[3];
        m_settings.m_nColWidthPhotos = widths[4];
        m_settings.m_nColWidthExtract = widths[5];
    }
    m_settings.m_nSortColumn = sortColumn;
    m_settings.m_bSortAscending = ascending ? 1 : 0;
    m_settings.SaveSettings();
}

void CMainDialog::RefillSourceCombo()
{
    FillSourceCombo();
    SelectSourceFolder(m_strSourceFolder);
}

void CMainDialog::ShowOptions()
{
    if (!m_bInitialized || IsRunActive() || m_bClosing)
        return;
    ReadControls();
    CPSDLGOptions dialog(m_settings, m_strSourceFolder, this);
    dialog.setObjectName(QStringLiteral("optionsDialog"));
    // Modal to this window only, so that the help window it opens can be used beside it.
    dialog.setWindowModality(Qt::WindowModal);
    connect(&dialog, &CPSDLGOptions::helpRequested, this, &CMainDialog::ShowHelp);
    dialog.exec();
    ApplyOptions(dialog.Outcome());
}

void CMainDialog::ApplyZipNameEncoding()
{
    // The code page of ZIP names without the UTF-8 flag, when the options file forces one; an unknown name
    // means the automatic choice.
    if (!ZipSetNameEncoding(m_settings.m_strZipNameEncoding))
        ZipSetNameEncoding(QString());
}

void CMainDialog::ApplyOptions(const OptionsOutcome& outcome)
{
    if (outcome.m_bHistoryCleared) {
        if (outcome.m_bSaved) {
            RefillSourceCombo();
        } else {
            // The clearing stands without Save, so it reaches the file now.
            m_settings.SaveSettings();
            m_pSourceCombo->clear();
            SelectSourceFolder(m_strSourceFolder);
        }
    }
    if (!outcome.m_bSaved) {
        RefreshControls();
        return;
    }
    if (!outcome.m_bWritten)
        QMessageBox::warning(this, Caption(),
                             tr("The options could not be written to the settings file; they apply until Zelvano "
                                "ends."));
    if (m_settings.m_bAutoSizeNameColumn)
        m_pList->AutoSizeNameColumn();
    ApplyZipNameEncoding();
    const bool rescan = outcome.m_bRescanNeeded;
    ApplyTooltips();
    // A rescan rebuilds every row anyway.
    if (outcome.m_bExtractModeChanged && !rescan)
        m_pList->RewriteExtractColumn();
    if (outcome.m_bNameDisplayChanged && !rescan)
        m_pList->RewriteNameColumn();
    if (m_settings.m_bAlwaysShowTrayIcon)
        m_pTray->ShowIcon();
    else if (!m_bHiddenInTray) // the icon is the way back to a window hidden in the tray
        m_pTray->HideIcon();
    if (rescan && m_pList->RowCount() > 0) {
        if (Confirm(4, tr("Zelvano needs to rescan the source folder:\n'%1' to accurately reflect your current "
                          "settings.\n\nClick OK to continue or Cancel to clear the list.")
                           .arg(Shown(m_strSourceFolder))))
            m_pRescanTimer->start();
        else
            ClearList();
    }
    RefreshControls();
}

void CMainDialog::ShowHelp(const QString& topic)
{
    if (!m_pHelpWindow) {
        m_pHelpWindow = std::make_unique<CXHelpWindow>();
        m_pHelpWindow->setObjectName(QStringLiteral("helpWindow"));
        m_pHelpWindow->setWindowIcon(windowIcon());
    }
    m_pHelpWindow->ShowTopic(topic);
}

void CMainDialog::ShowAbout()
{
    if (m_bClosing)
        return;
    CXAboutBox box(this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.exec();
}

void CMainDialog::CheckForUpdates()
{
    if (m_pUpdateCheck->IsRunning())
        return;
    m_pUpdateCheck->Start();
    UpdateAboutMenu();
}

bool CMainDialog::IsCheckingForUpdates() const
{
    return m_pUpdateCheck->IsRunning();
}

void CMainDialog::OpenWebPage(const QString& page)
{
    const QUrl url = HomePageFile(page);
    if (url.isEmpty())
        return;
    if (m_openUrl)
        m_openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void CMainDialog::ClearList()
{
    if (IsRunActive())
        return;
    m_pList->ClearList();
    m_archives.ResetForScan();
    RefreshControls();
    m_pStatus->ClearTexts();
}

void CMainDialog::ChooseSourceFolder()
{
    if (IsRunActive())
        return;
    ReadControls();
    QString start = m_strSourceFolder;
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    const QString chosen = m_chooseFolder ? m_chooseFolder(start)
                                          : QFileDialog::getExistingDirectory(this, tr("Choose the location to scan."),
                                                                              Shown(start), QFileDialog::ShowDirsOnly);
    if (chosen.trimmed().isEmpty())
        return;
    ScanFolderNow(chosen);
}

void CMainDialog::ScanFolderNow(const QString& folder)
{
    if (IsRunActive() || m_bClosing)
        return;
    const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder.trimmed()));
    m_strSourceFolder = path;
    m_pStatus->SetState(1);
    m_pStatus->SetMainText(Shown(path));
    m_settings.AddSourceFolder(path);
    m_settings.SaveSettings();
    if (FolderExists(path))
        SelectSourceFolder(path);
    RefreshControls();
    BeginScan();
}

void CMainDialog::WakeUp(const QString& folder)
{
    if (!m_bInitialized) {
        // Handed over during the start-up's pauses: scanned once the window is ready.
        if (!folder.isEmpty())
            m_strPendingFolder = folder;
        return;
    }
    BringToFront();
    if (!folder.isEmpty() && !IsRunActive())
        ScanFolderNow(folder);
}

bool CMainDialog::WaitForScanWorker(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (m_pScanRunner->IsRunning()) {
        if (timer.elapsed() >= milliseconds)
            return false;
        m_pHost->ServePending();
        m_pScanRunner->WaitFor(std::chrono::milliseconds(10));
    }
    return true;
}

void CMainDialog::BeginScan()
{
    if (IsRunActive() || m_bClosing)
        return;
    // A stopped scan whose worker had not ended yet: its calls are answered at once, so it ends soon.
    if (!WaitForScanWorker(5000))
        return;
    if (m_bModelStale) {
        m_archives.ResetForScan();
        m_bModelStale = false;
    }
    ReadControls();
    QString root = m_strSourceFolder.trimmed();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    m_strScanRoot = root;
    m_archives.ResetForScan();
    m_scanTimer.Start();
    m_tRunStart = m_scanTimer.m_tStart;

    m_bScanning = 1;
    m_bScanPaused = m_bScanStopRequested = m_bScanThreadStopping = m_bScanFinishing = 0;
    m_pStatus->ClearTexts();
    m_pList->SetFilter(0);
    m_pList->ClearList();
    m_pTaskbar->SetTaskbarState(CXTaskbarStatus::Indeterminate);
    RefreshControls();

    m_archives.m_pSettings = &m_settings;
    m_archives.SetImagePatterns(BuildImagePatternList(m_settings));
    m_archives.m_pHost = m_pHost.get();
    m_pPasswords = std::make_unique<CXPasswordStore>();
    m_archives.m_pPasswords = m_pPasswords.get();
    m_pHost->Open();
    if (!m_pScanRunner->StartScanThread(m_strSourceFolder)) {
        m_pHost->Retire();
        m_bScanning = 0;
        m_pStatus->SetState(0);
        RefreshControls();
        return;
    }
    m_pStatus->SetState(1);
    m_pStatus->SetMainText(Shown(m_strSourceFolder));
}

void CMainDialog::PauseResumeScan()
{
    if (m_bScanThreadStopping || !m_bScanning || !m_pScanRunner->IsRunning())
        return;
    if (m_bScanPaused) {
        m_pTaskbar->SetTaskbarState(CXTaskbarStatus::Indeterminate);
        m_pStatus->SetState(1);
        m_pStatus->SetMainText(Shown(m_strScanRoot));
        m_pScanRunner->Resume();
        m_pHost->Hold(false);
        m_bScanPaused = 0;
    } else {
        m_pTaskbar->SetTaskbarState(CXTaskbarStatus::Normal);
        m_pTaskbar->ResetProgress();
        m_pStatus->SetSecondaryText(QString());
        m_pStatus->SetState(4);
        m_pStatus->SetMainText(QString());
        // The worker holds at its next look at the run flag; a call it is making waits here meanwhile.
        m_pHost->Hold(true);
        m_pScanRunner->Pause();
        m_bScanPaused = 1;
        m_pStatus->SetState(5);
        m_pStatus->SetMainText(QString());
    }
    RefreshControls();
}

void CMainDialog::StopScan()
{
    if (!m_bScanning || m_bScanStopRequested || m_bScanFinishing)
        return;
    bool suspendedHere = false;
    if (m_pScanRunner->IsRunning() && !m_bScanPaused) {
        m_pHost->Hold(true);
        m_pScanRunner->Pause();
        suspendedHere = true;
    }
    if (!Confirm(2, tr("Are you sure you want to cancel and discard the scanning results?"))) {
        if (suspendedHere) {
            m_pScanRunner->Resume();
            m_pHost->Hold(false);
        }
        return;
    }
    if (!m_bScanning)
        return; // the scan ended while the question was open (the window was closed meanwhile)
    m_bScanPaused = 0;
    m_bScanThreadStopping = 1;
    // From here the worker's calls return at once: the wait below never waits for a worker waiting for us.
    m_pHost->Retire();
    m_pScanRunner->StopScanThread();
    m_bScanThreadStopping = 0;
    m_bScanStopRequested = 1;
    OnScanFinished();
}

void CMainDialog::OnScanProgress(const QString& folder)
{
    if (QString::compare(folder, m_strScanRoot, Qt::CaseInsensitive) == 0)
        return;
    m_pStatus->SetMainText(Shown(folder));
    m_strScanRoot = folder;
}

void CMainDialog::DiscardScanResults()
{
    if (!m_pScanRunner->IsRunning()) {
        m_archives.ResetForScan();
        return;
    }
    // The stopped worker has not ended yet and may still write the model: it is emptied once it has. The list
    // is empty meanwhile, so nothing reads the model.
    m_bModelStale = true;
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll] {
        if (m_pScanRunner->IsRunning())
            return;
        poll->deleteLater();
        if (m_bModelStale && !IsRunActive()) {
            m_archives.ResetForScan();
            m_bModelStale = false;
        }
    });
    poll->start(50);
}

void CMainDialog::OnScanFinished()
{
    if (!m_bScanning || m_bScanFinishing)
        return;
    BringToFront();
    m_bScanFinishing = 1;
    RefreshControls();
    m_pTaskbar->SetTaskbarState(CXTaskbarStatus::Normal);
    m_pTaskbar->ResetProgress();
    m_pStatus->SetSecondaryText(QString());
    const bool stopped = m_bScanStopRequested != 0;
    int rows = 0;
    if (stopped) {
        m_bScanning = m_bScanPaused = m_bScanStopRequested = m_bScanThreadStopping = m_bScanFinishing = 0;
        m_pList->ClearList();
        DiscardScanResults();
        m_pStatus->SetState(0);
        m_pStatus->ClearTexts();
    } else {
        m_scanTimer.Stop();
        m_tRunEnd = m_scanTimer.m_tEnd;
        rows = m_pList->RebuildList(true);
        m_pStatus->SetState(0);
        m_pStatus->SetMainText(tr("Photo Archives Found: %1").arg(FormatNumber(rows)));
        if (m_settings.m_bShowScanResults) {
            ScanReportFigures figures = MakeScanReportFigures(m_archives, m_strSourceFolder, m_tRunStart, m_tRunEnd,
                                                              m_scanTimer.GetElapsedText());
            const CXListCtrl::CheckedTotals rowsTotal = m_pList->CountAll();
            figures.m_nTotalPhotos = rowsTotal.m_nPhotos;
            figures.m_nSizeOnDisk = rowsTotal.m_nPhotoBytes;
            CDLGScanResults results(figures, m_archives, this);
            results.setObjectName(QStringLiteral("scanResultsDialog"));
            results.exec();
        }
        m_bScanning = m_bScanPaused = m_bScanStopRequested = m_bScanThreadStopping = m_bScanFinishing = 0;
    }
    // Later calls of this run's worker (it is ending) do not reach the window any more.
    m_pHost->Retire();
    RefreshControls();
    // The count stays after the refresh, also when nothing was found (the refresh leaves an empty list's
    // texts empty).
    if (!stopped)
        m_pStatus->SetMainText(tr("Photo Archives Found: %1").arg(FormatNumber(rows)));
    Q_EMIT scanEnded();
}

void CMainDialog::SetUnpackOperations(const UnpackOperations& ops)
{
    if (IsRunActive() || m_pUnpackRun->IsActive())
        return;
    m_unpackOps = ops;
    m_pUnpackRun = std::make_unique<CXUnpackRun>(m_archives, m_settings, *m_pProgressHost, m_unpackOps);
}

void CMainDialog::StartUnpack()
{
    if (IsRunActive() || m_bClosing)
        return;
    const CXListCtrl::CheckedTotals checked = m_pList->CountChecked();
    if (checked.m_nRows == 0)
        return;
    // A worker of a stopped run that outlived its wait ends by itself; a new run waits for that first.
    if (m_pUnpackRun->IsActive() && !m_pUnpackRun->WaitFor(std::chrono::milliseconds(5000)))
        return;
    ReadControls();

    m_pList->SetSortingAllowed(false);
    m_unpackTimer.Start();
    m_tRunStart = m_tRunEnd = m_unpackTimer.m_tStart;
    m_bUnpacking = 1;
    m_bUnpackPaused = m_bUnpackCancelled = m_bStopWithoutAsking = 0;
    RefreshControls();

    // The checked rows in the order the list shows them.
    QList<CXSelItem> selection;
    const QList<int> indexes = m_pList->CheckedModelIndexes();
    for (int archive : indexes) {
        CXSelItem sel;
        sel.m_nArchive = archive;
        sel.m_nRow = m_pList->FindRowByModelIndex(archive);
        selection.append(sel);
    }
    m_pStatus->SetMainText(QString());
    m_pTaskbar->SetTaskbarState(CXTaskbarStatus::Normal);
    m_pTaskbar->ResetProgress();
    m_pTaskbar->SetTotal(quint64(selection.size()));
    m_pProgressHost->Start(int(selection.size()), checked.m_nPhotos, checked.m_nPhotoBytes);

    // The run checks the free space itself when the options call for it; its message is shown here.
    m_pHost->Open();
    const UnpackStart started = m_pUnpackRun->Start(selection, m_strSourceFolder);
    if (started != UnpackStart::Started) {
        m_pHost->Retire();
        m_unpackTimer.Stop();
        m_bUnpacking = 0;
        m_pList->SetSortingAllowed(true);
        m_pStatus->SetState(0);
        m_pTaskbar->ResetProgress();
        RefreshControls();
        return;
    }
    m_strCurrentArchive.clear();
}

void CMainDialog::PauseUnpack()
{
    if (!m_bUnpacking || m_bUnpackPaused || !m_pUnpackRun->IsActive())
        return;
    m_pStatus->SetState(4);
    m_pStatus->SetMainText(QString());
    // The worker holds at its next look at the run flag or between two data chunks of an entry; what it
    // shows meanwhile waits here.
    m_pHost->Hold(true);
    m_pUnpackRun->Pause();
    m_pProgressHost->Pause();
    m_bUnpackPaused = 1;
    m_pStatus->SetState(5);
    m_pStatus->SetMainText(QString());
    RefreshControls();
}

void CMainDialog::ResumeUnpack()
{
    if (!m_bUnpacking || !m_bUnpackPaused)
        return;
    m_pStatus->SetState(3);
    m_strCurrentArchive = m_pUnpackRun->CurrentArchive();
    m_pStatus->SetMainText(Shown(m_strCurrentArchive));
    m_pProgressHost->Resume();
    m_pUnpackRun->Resume();
    m_pHost->Hold(false);
    m_bUnpackPaused = 0;
    RefreshControls();
}

void CMainDialog::StopUnpack()
{
    if (!m_bUnpacking || m_bUnpackCancelled)
        return;
    const bool running = m_pUnpackRun->IsActive();
    bool suspendedHere = false;
    if (running && !m_bUnpackPaused) {
        m_pHost->Hold(true);
        m_pUnpackRun->Pause();
        suspendedHere = true;
    }
    if (!m_bStopWithoutAsking && !Confirm(1, tr("Are you sure you want to cancel the unpacking operation?"))) {
        if (suspendedHere) {
            m_pUnpackRun->Resume();
            m_pHost->Hold(false);
        }
        return;
    }
    if (!m_bUnpacking)
        return;
    // From here the worker's calls return at once with the safe answer: the current entry finishes, nothing
    // more is written or deleted, and the bounded wait below never waits on a worker waiting for the window.
    m_pHost->Retire();
    m_pUnpackRun->Stop();
    m_bUnpackPaused = 0;
    m_bUnpackCancelled = 1;
    m_bStopWithoutAsking = 0;
    OnUnpackFinished();
}

DeleteAnswer CMainDialog::AskArchiveDelete(const QString& fileName, bool moreFollow)
{
    BringToFront();
    const QString text =
        tr("Are you sure you want to delete the archive '%1'?%2.")
            .arg(fileName, moreFollow ? tr("\n\nClick 'Cancel' to abort the current operation") : QString());
    QMessageBox box(QMessageBox::Question, Caption(), text, QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("deleteQuestionBox"));
    WidenForLongestLine(box);
    const auto add = [&box](const QString& caption, QMessageBox::ButtonRole role, const char* name) {
        QPushButton* button = box.addButton(caption, role);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    QPushButton* yes = add(tr("&Yes"), QMessageBox::YesRole, "yesButton");
    QPushButton* yesToAll = moreFollow ? add(tr("Y&es to All"), QMessageBox::YesRole, "yesToAllButton") : nullptr;
    QPushButton* no = add(tr("&No"), QMessageBox::NoRole, "noButton");
    QPushButton* noToAll = moreFollow ? add(tr("N&o to All"), QMessageBox::NoRole, "noToAllButton") : nullptr;
    QPushButton* cancel = moreFollow ? add(tr("Cancel"), QMessageBox::RejectRole, "cancelButton") : nullptr;
    box.setDefaultButton(yes);
    // Escape (or closing the box) keeps the archive: Cancel where it is offered, else No.
    box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : no);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes)
        return DeleteAnswer::Yes;
    if (yesToAll && clicked == yesToAll)
        return DeleteAnswer::YesToAll;
    if (noToAll && clicked == noToAll)
        return DeleteAnswer::NoToAll;
    if (cancel && clicked == cancel)
        return DeleteAnswer::Cancel;
    return DeleteAnswer::No;
}

void CMainDialog::OnUnpackFinished()
{
    if (!m_bUnpacking)
        return;
    const bool cancelled = m_bUnpackCancelled != 0;
    // Shown or restored; a maximised window keeps its size.
    if (isHidden())
        show();
    else if (isMinimized())
        showNormal();
    m_unpackTimer.Stop();
    m_tRunEnd = m_unpackTimer.m_tEnd;
    m_pList->SetSortingAllowed(true);
    const QString elapsed = m_unpackTimer.GetElapsedText();
    const int archives = int(m_pUnpackRun->Selection().size());
    m_pStatus->SetState(0);
    m_pStatus->SetSecondaryText(QString());
    m_pStatus->SetMainText(cancelled ? QString()
                                     : tr("Processed %1 Archives in %2").arg(FormatNumber(archives), elapsed));
    const QString processedText = m_pStatus->MainText();

    if (!cancelled) {
        // "After processing all archive(s)": one question, one deletion, on this thread while the worker waits.
        const CXSettings& options = m_pUnpackRun->Options();
        RunDeferredDeletion(
            m_archives, m_pUnpackRun->Selection(), options,
            [this](const QString& question) { return Confirm(3, question); }, m_pWindowSide.get(),
            m_unpackOps.deleteArchives);
        if (m_settings.m_bShowUnpackResults)
            ShowUnpackResults();
    }

    m_pStatus->SetState(0);
    m_pStatus->SetSecondaryText(QString());
    m_pStatus->SetMainText(processedText);
    m_bUnpacking = m_bUnpackPaused = m_bUnpackCancelled = m_bStopWithoutAsking = 0;
    m_pTaskbar->ResetProgress();
    // Later calls of this run's worker (it is ending) do not reach the window any more.
    m_pHost->Retire();
    RefreshControls();
    m_pStatus->SetMainText(processedText);
    Q_EMIT unpackEnded();
}

void CMainDialog::ShowUnpackResults()
{
    UnpackReportData data = MakeUnpackReportData(m_archives, m_pUnpackRun->Selection(), m_pUnpackRun->Options(),
                                                 m_pUnpackRun->ArchivesProcessed(), false);
    data.m_strScanPath = m_strSourceFolder;
    data.m_tStarted = m_tRunStart;
    data.m_tFinished = m_tRunEnd;
    data.m_strElapsed = m_unpackTimer.GetElapsedText();
    CDLGUnpackResults results(data, this);
    results.setObjectName(QStringLiteral("unpackResultsDialog"));
    results.exec();
}

void CMainDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Minimised with "Minimize to System Tray": hidden into the tray instead (after the state change is
    // done), where there is a tray.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_settings.m_bMinimizeToTray && !m_bClosing &&
        CXSysTray::IsTrayAvailable())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && !m_bHiddenInTray) {
                showNormal();
                HideToTray();
            }
        });
}

void CMainDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_bInitialized)
        m_pList->AutoSizeNameColumn();
}

void CMainDialog::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!IsRunActive() && !m_bClosing && urls.size() == 1 && urls.first().isLocalFile() &&
        QFileInfo(urls.first().toLocalFile()).isDir())
        event->acceptProposedAction();
}

void CMainDialog::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (IsRunActive() || urls.size() != 1 || !urls.first().isLocalFile())
        return;
    const QString folder = urls.first().toLocalFile();
    if (!QFileInfo(folder).isDir())
        return;
    event->acceptProposedAction();
    // After the drop has returned to the source application.
    QTimer::singleShot(0, this, [this, folder] { ScanFolderNow(folder); });
}
