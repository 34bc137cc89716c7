#pragma once

#include "app/updatecheck.h"
#include "common/tasktimer.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/unpackrun.h"

#include <functional>
#include <memory>
#include <QDialog>
#include <QPointer>
#include <QString>

class CXGuiWorkerHost;
class CXPasswordStore;
class CXHelpWindow;
class CXSplashWindow;
struct OptionsOutcome;
class CXProgressHost;
class CXSysTray;
class CXTaskbarStatus;
class CXHeaderST;
class CXInformationST;
class CXListCtrl;
class CXScanRunner;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class QUrl;

// The main window: the nine picture buttons and the source-folder drop-down at the top, the archive list in
// the middle and the status strip at the bottom. It owns the settings record, the found-archive model and
// the scan worker; the worker reaches it only through its host, whose calls run here on the user-interface
// thread while the worker waits.
class CMainDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CMainDialog(QWidget* parent = nullptr);
    ~CMainDialog() override;

    // The start-up steps: settings, source folders, buttons, list, size. Returns false when the data folder
    // cannot be created (the user was told; the window still works with the defaults).
    bool Initialize();

    // A second start of the program, or a folder given on the command line: the window comes forward, and
    // scans the folder when one is given and no run is in progress.
    void WakeUp(const QString& folder);
    // Makes the folder the source folder (history, drop-down) and scans it, when idle.
    void ScanFolderNow(const QString& folder);

    void RefreshControls();
    void BringToFront();
    // The tray's "Show Zelvano" and a click on the tray icon: the window back, the icon gone unless it is
    // always shown.
    void ShowFromTray();
    // Hides the window into the tray; false (nothing done) where the desktop has no tray.
    bool HideToTray();
    // The system asks the program to end (logout, SIGTERM): a run stops cleanly (the current entry finishes,
    // nothing more is written or deleted), the layout and settings are saved, the window closes.
    void Shutdown();
    void SaveLayout();
    // Asks the user. Kinds 0 to 3 are guarded by a settings flag (exit, cancel unpack, cancel scan, delete)
    // and offer "Don't ask me again"; kind 4 is an OK/Cancel question without it.
    bool Confirm(int kind, const QString& text);

    // The unpack commands: start (or resume a paused run), pause, stop (asking first unless the worker itself
    // asked to stop).
    void StartUnpack();
    void PauseUnpack();
    void ResumeUnpack();
    void StopUnpack();
    bool IsUnpackPaused() const { return m_bUnpackPaused != 0; }
    // The extraction and deletion the unpack runs use (tests put their own); only while no run is active.
    void SetUnpackOperations(const UnpackOperations& ops);

    // The Options dialog (the button, the tray menu, Ctrl+,), only while no run is active; on Save the window
    // brings the list, the tooltips and the tray icon in line and offers a rescan when the found set changes.
    void ShowOptions();
    // The help window at a page ("" for the start page, or a page's file name).
    void ShowHelp(const QString& topic = QString());
    void ShowAbout();
    // Asks the update server in the background; the About menu's entry is greyed until the answer is shown.
    void CheckForUpdates();
    bool IsCheckingForUpdates() const;
    // Shows the start-up picture; the start-up steps then pause briefly (only while it is on show) so that
    // it stays lively. Call before Initialize().
    void ShowSplash();
    CXSplashWindow* Splash() const;
    CXHelpWindow* HelpWindow() const { return m_pHelpWindow.get(); }
    // The timer that starts the rescan the Options dialog led to.
    QTimer* RescanTimer() const { return m_pRescanTimer; }

    // The scan commands.
    void BeginScan();
    void PauseResumeScan();
    void StopScan();
    void ClearList();
    void ChooseSourceFolder();
    // The exit steps of the Exit button, the window's close button and Escape. True when the window closes.
    bool ExitSteps();

    bool IsScanning() const { return m_bScanning != 0; }
    bool IsUnpacking() const { return m_bUnpacking != 0; }
    bool IsScanPaused() const { return m_bScanPaused != 0; }
    bool IsRunActive() const { return IsScanning() || IsUnpacking(); }
    bool IsClosing() const { return m_bClosing != 0; }

    CXSettings& Settings() { return m_settings; }
    const CXArchiveList& Archives() const { return m_archives; }
    CXArchiveList& ArchivesForTest() { return m_archives; }
    CXListCtrl* List() const { return m_pList; }
    CXSysTray* Tray() const { return m_pTray; }
    CXTaskbarStatus& Taskbar() { return *m_pTaskbar; }
    bool IsHiddenInTray() const { return m_bHiddenInTray != 0; }
    CXInformationST* StatusStrip() const { return m_pStatus; }
    QString SourceFolder() const { return m_strSourceFolder; }
    QMenu* ScanMenu() const { return m_pScanMenu; }
    QMenu* AboutMenu() const { return m_pAboutMenu; }

    // Where the window asks for a folder (tests put their answer here); an empty answer means cancelled.
    std::function<QString(const QString& startFolder)> m_chooseFolder;
    // Where web pages open (the default browser unless tests put their own).
    std::function<bool(const QUrl& url)> m_openUrl;
    // How the update check's answer is shown (message boxes unless tests answer).
    UpdateCheckPrompts m_updatePrompts;

Q_SIGNALS:
    // The scan-finished handling is over (the list is built, the results dialog closed), or a stopped scan's
    // results were discarded.
    void scanEnded();
    // The unpack run's end handling is over (deletion, results dialog), also after a stop.
    void unpackEnded();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class WindowSide;
    friend class WindowSide;

    void CreateControls();
    void CreateMenus();
    void ApplyTooltips();
    void FillSourceCombo();
    void SelectSourceFolder(const QString& folder);
    void ReadControls();
    void OnSourceSelected();
    void SetButtonEnabled(QToolButton* button, bool enabled);
    void ShowMenuUnder(QMenu* menu, QToolButton* button);
    void UpdateScanMenu();
    void UpdateAboutMenu();
    void RefillSourceCombo();
    // Sets the ZIP reader's code page for names from the options.
    void ApplyZipNameEncoding();
    void ApplyOptions(const OptionsOutcome& outcome);
    void OpenWebPage(const QString& page);
    void StartupPause(int milliseconds);

    // The worker's calls, on the user-interface thread.
    void OnScanProgress(const QString& folder);
    void OnScanFinished();
    void DiscardScanResults();
    bool WaitForScanWorker(int milliseconds);
    void OnUnpackFinished();
    void ExitFromTray();
    void ShowUnpackResults();
    DeleteAnswer AskArchiveDelete(const QString& fileName, bool moreFollow);

    CXSettings m_settings;
    CXArchiveList m_archives;
    std::unique_ptr<WindowSide> m_pWindowSide;
    std::unique_ptr<CXGuiWorkerHost> m_pHost;
    std::unique_ptr<CXProgressHost> m_pProgressHost; // between the unpack run and m_pHost
    std::unique_ptr<CXTaskbarStatus> m_pTaskbar;
    std::unique_ptr<CXScanRunner> m_pScanRunner;
    // The passwords of the last scan, kept for the unpack of its list; each scan starts a new one.
    std::unique_ptr<CXPasswordStore> m_pPasswords;
    UnpackOperations m_unpackOps = DefaultUnpackOperations(); // the run's and the deferred deletion's
    std::unique_ptr<CXUnpackRun> m_pUnpackRun;
    CXTaskTimer m_scanTimer;
    CXTaskTimer m_unpackTimer;
    qint64 m_tRunStart = 0;
    qint64 m_tRunEnd = 0;

    QString m_strSourceFolder;
    QString m_strScanRoot;
    QString m_strCurrentArchive;
    qint32 m_bScanning = 0;
    qint32 m_bScanPaused = 0;
    qint32 m_bScanStopRequested = 0;
    qint32 m_bScanThreadStopping = 0;
    qint32 m_bScanFinishing = 0;
    qint32 m_bUnpacking = 0;
    qint32 m_bUnpackPaused = 0;
    qint32 m_bUnpackCancelled = 0;
    qint32 m_bStopWithoutAsking = 0;
    qint32 m_bHiddenInTray = 0;
    qint32 m_bClosing = 0;
    bool m_bInitialized = false;
    QString m_strPendingFolder; // a folder handed over while the start-up ran
    bool m_bModelStale = false; // a stopped scan's worker had not ended: the model is emptied once it has

    CXHeaderST* m_pBanner = nullptr;
    QLabel* m_pSourceLabel = nullptr;
    QComboBox* m_pSourceCombo = nullptr;
    QToolButton* m_pChooseButton = nullptr;
    QToolButton* m_pScanButton = nullptr;
    QToolButton* m_pStartButton = nullptr;
    QToolButton* m_pPauseButton = nullptr;
    QToolButton* m_pStopButton = nullptr;
    QToolButton* m_pOptionsButton = nullptr;
    QToolButton* m_pAboutButton = nullptr;
    QToolButton* m_pHelpButton = nullptr;
    QToolButton* m_pExitButton = nullptr;
    CXListCtrl* m_pList = nullptr;
    CXInformationST* m_pStatus = nullptr;
    CXSysTray* m_pTray = nullptr;

    QMenu* m_pScanMenu = nullptr;
    QAction* m_pStartScanAction = nullptr;
    QAction* m_pPauseScanAction = nullptr;
    QAction* m_pStopScanAction = nullptr;
    QAction* m_pClearListAction = nullptr;
    QMenu* m_pAboutMenu = nullptr;
    QAction* m_pAboutSeparator = nullptr; // before the web pages, hidden with them
    QList<QAction*> m_webActions;
    QAction* m_pCheckUpdatesAction = nullptr;
    QAction* m_pHelpAction = nullptr;
    QAction* m_pOptionsAction = nullptr;

    QTimer* m_pRescanTimer = nullptr;
    CXUpdateCheck* m_pUpdateCheck = nullptr;
    QPointer<CXSplashWindow> m_pSplash;
    // Without a parent, so that it stays usable beside the modal Options dialog.
    std::unique_ptr<CXHelpWindow> m_pHelpWindow;
};
