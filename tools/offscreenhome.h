#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

// For the programs that drive the desktop window without a person (the screenshots, the window bench): the
// settings the window loads and saves live in home, never in the user's; the offscreen platform is used
// unless another one was asked for. Call before the application object exists.
inline void UseOffscreenHome(const QString& home)
{
    const QByteArray path = QFile::encodeName(home);
    qputenv("HOME", path);
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qputenv("XDG_RUNTIME_DIR", path); // private to this user, as the runtime folder must be
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
