#include "platform/desktop/shell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");

bool OpenFolderOf(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

// True when a file manager answers on the session bus or can be started by it.
bool FileManagerServiceAvailable(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* bus_interface = bus.interface();
    if (!bus_interface)
        return false;
    if (bus_interface->isServiceRegistered(kService).value())
        return true;
    return bus_interface->activatableServiceNames().value().contains(kService);
}

} // namespace

bool ShowInFileManager(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !FileManagerServiceAvailable(bus))
        return OpenFolderOf(path);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       kService, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asynchronous: a file manager that is slow to start must not freeze the window. Should the call fail,
    // the folder is opened instead.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path](QDBusPendingCallWatcher* w) {
        if (w->isError())
            OpenFolderOf(path);
        w->deleteLater();
    });
    return true;
}
