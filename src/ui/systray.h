#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The program's one notification-area icon and its menu. The icon is prepared once (AddIcon) and then shown
// or hidden; the window decides when. Menu commands and activations only emit signals: the window does the
// work, so it alone decides what a command may do while a run is active.
class CXSysTray : public QObject
{
    Q_OBJECT

public:
    explicit CXSysTray(QObject* parent = nullptr);
    ~CXSysTray() override;

    // Prepares the icon (not shown yet). False, changing nothing, when it is already prepared; true without
    // preparing anything when the icon is null.
    bool AddIcon(const QString& tip, const QIcon& icon);
    // Show and hide the prepared icon; nothing happens before AddIcon.
    void ShowIcon();
    void HideIcon();
    // Hides the icon and forgets it; AddIcon may prepare it again.
    void RemoveIcon();
    bool HasIcon() const { return m_bAdded; }
    // Whether the icon was shown by ShowIcon. Tracked here, not asked of the desktop: a desktop without a
    // tray simply never displays it.
    bool IsShown() const { return m_bShown; }

    // "Options...", "About..." and "Exit" are greyed while a run is active. The query, when set, is asked
    // again each time the menu is about to show, so the menu is never stale; otherwise the last
    // SetRunActive counts.
    void SetRunActive(bool active);
    void SetRunActiveQuery(std::function<bool()> query);
    // Whether the Options dialog and the About box exist at all (both off until they are built).
    void SetOptionsAvailable(bool available);
    void SetAboutAvailable(bool available);
    // Re-evaluates the enabling now (also done when the menu is about to show).
    void UpdateMenu();

    // Whether one click on the icon restores the window, besides a double-click. Defaults to the
    // platform's habit.
    void SetSingleClickRestores(bool restores) { m_bSingleClickRestores = restores; }

    QMenu* Menu() const { return m_menu.get(); }
    QAction* ShowAction() const { return m_showAction; }
    QAction* OptionsAction() const { return m_optionsAction; }
    QAction* AboutAction() const { return m_aboutAction; }
    QAction* ExitAction() const { return m_exitAction; }
    QSystemTrayIcon* TrayIcon() const { return m_icon; }

    // Whether the desktop has a notification area at all. Without one the window must never hide itself
    // into the tray, since nothing could bring it back.
    static bool IsTrayAvailable();
    // Replaces the desktop's answer (tests); an empty function restores it.
    static void SetTrayAvailableHook(std::function<bool()> hook);

Q_SIGNALS:
    void showRequested();
    void optionsRequested();
    void aboutRequested();
    void exitRequested();

private:
    void OnActivated(int reason);

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    QAction* m_showAction = nullptr;
    QAction* m_optionsAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_exitAction = nullptr;
    std::function<bool()> m_runActiveQuery;
    bool m_bRunActive = false;
    bool m_bOptionsAvailable = true;
    bool m_bAboutAvailable = true;
    bool m_bAdded = false;
    bool m_bShown = false;
    bool m_bSingleClickRestores = false;
};
