#pragma once

#include <memory>
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace zelvano::test {

// Points HOME and the XDG folders at a fresh temporary folder for the life of the object,
// so no test reads or writes the real user's data folder.
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome&) = delete;
    IsolatedHome& operator=(const IsolatedHome&) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldData, m_oldConfig, m_oldCache;
};

// Writes bytes to a file, creating its folders. Returns false on any failure.
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

} // namespace zelvano::test
