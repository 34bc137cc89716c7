#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

namespace zelvano::test {

IsolatedHome::IsolatedHome()
    : m_oldHome(qgetenv("HOME")), m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME")),
      m_oldCache(qgetenv("XDG_CACHE_HOME"))
{
    const QByteArray root = QFile::encodeName(m_dir.path());
    qputenv("HOME", root);
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
}

IsolatedHome::~IsolatedHome()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_CACHE_HOME", m_oldCache);
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace zelvano::test
