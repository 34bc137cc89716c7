#include "platform/desktop/termination.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <windows.h>

namespace {

QObject* g_context = nullptr;
std::function<void()> g_onTerminate;

BOOL WINAPI OnConsoleEvent(DWORD type)
{
    if (type != CTRL_CLOSE_EVENT && type != CTRL_LOGOFF_EVENT && type != CTRL_SHUTDOWN_EVENT && type != CTRL_C_EVENT &&
        type != CTRL_BREAK_EVENT)
        return FALSE;
    if (g_context)
        QMetaObject::invokeMethod(
            g_context, [] { g_onTerminate(); }, Qt::BlockingQueuedConnection);
    return TRUE;
}

} // namespace

void WatchTermination(QObject* context, std::function<void()> onTerminate)
{
    g_context = context;
    g_onTerminate = std::move(onTerminate);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
