#include "ui/systray.h"

#include "platform/desktop/trayclick.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include <utility>

namespace {

std::function<bool()>& TrayAvailableHook()
{
    static std::function<bool()> hook;
    return hook;
}

QAction* AddAction(QMenu* menu, const QString& objectName, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(objectName);
    return action;
}

} // namespace

CXSysTray::CXSysTray(QObject* parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()), m_icon(new QSystemTrayIcon(this)),
      m_bSingleClickRestores(TraySingleClickRestores())
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_showAction = AddAction(m_menu.get(), QStringLiteral("showAction"), tr("Show Zelvano"));
    m_menu->addSeparator();
    m_optionsAction = AddAction(m_menu.get(), QStringLiteral("optionsAction"), tr("Options..."));
    m_aboutAction = AddAction(m_menu.get(), QStringLiteral("aboutAction"), tr("About..."));
    m_menu->addSeparator();
    m_exitAction = AddAction(m_menu.get(), QStringLiteral("exitAction"), tr("Exit"));

    connect(m_showAction, &QAction::triggered, this, &CXSysTray::showRequested);
    connect(m_optionsAction, &QAction::triggered, this, &CXSysTray::optionsRequested);
    connect(m_aboutAction, &QAction::triggered, this, &CXSysTray::aboutRequested);
    connect(m_exitAction, &QAction::triggered, this, &CXSysTray::exitRequested);
    connect(m_menu.get(), &QMenu::aboutToShow, this, &CXSysTray::UpdateMenu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });

    m_icon->setObjectName(QStringLiteral("trayIcon"));
    m_icon->setContextMenu(m_menu.get());
    UpdateMenu();
}

CXSysTray::~CXSysTray()
{
    RemoveIcon();
    m_icon->setContextMenu(nullptr);
}

bool CXSysTray::AddIcon(const QString& tip, const QIcon& icon)
{
    if (m_bAdded)
        return false;
    if (icon.isNull())
        return true;
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_bAdded = true;
    return true;
}

void CXSysTray::ShowIcon()
{
    if (!m_bAdded)
        return;
    // Without a notification area Qt's fallback has nowhere to put the icon and only complains; the state
    // is kept all the same, so the window's logic does not depend on the desktop.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon->show();
    m_bShown = true;
}

void CXSysTray::HideIcon()
{
    if (!m_bAdded)
        return;
    m_icon->hide();
    m_bShown = false;
}

void CXSysTray::RemoveIcon()
{
    if (!m_bAdded)
        return;
    HideIcon();
    m_icon->setIcon(QIcon());
    m_icon->setToolTip(QString());
    m_bAdded = false;
}

void CXSysTray::SetRunActive(bool active)
{
    m_bRunActive = active;
    UpdateMenu();
}

void CXSysTray::SetRunActiveQuery(std::function<bool()> query)
{
    m_runActiveQuery = std::move(query);
    UpdateMenu();
}

void CXSysTray::SetOptionsAvailable(bool available)
{
    m_bOptionsAvailable = available;
    UpdateMenu();
}

void CXSysTray::SetAboutAvailable(bool available)
{
    m_bAboutAvailable = available;
    UpdateMenu();
}

void CXSysTray::UpdateMenu()
{
    const bool idle = !(m_runActiveQuery ? m_runActiveQuery() : m_bRunActive);
    m_showAction->setEnabled(true);
    m_optionsAction->setEnabled(idle && m_bOptionsAvailable);
    m_aboutAction->setEnabled(idle && m_bAboutAvailable);
    m_exitAction->setEnabled(idle);
}

void CXSysTray::OnActivated(int reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || (reason == QSystemTrayIcon::Trigger && m_bSingleClickRestores))
        Q_EMIT showRequested();
}

bool CXSysTray::IsTrayAvailable()
{
    const std::function<bool()>& hook = TrayAvailableHook();
    return hook ? hook() : QSystemTrayIcon::isSystemTrayAvailable();
}

void CXSysTray::SetTrayAvailableHook(std::function<bool()> hook)
{
    TrayAvailableHook() = std::move(hook);
}
