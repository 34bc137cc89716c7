#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

// One running program per user. The first start listens on a local socket named from the program's
// identifier and the user's name; a later start hands its arguments to it and ends without a window.
class CXSingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit CXSingleInstance(const QString& serverName = DefaultServerName(), QObject* parent = nullptr);
    ~CXSingleInstance() override;

    // The socket name for this user.
    static QString DefaultServerName();

    // True in the first instance, which then listens (a socket left by a crashed instance is removed
    // first). False when another instance runs: the arguments were handed to it.
    bool Create(const QStringList& arguments);

Q_SIGNALS:
    // In the first instance: a later start passed these arguments (a folder is already absolute).
    void wakeUp(const QStringList& arguments);

private:
    QString m_strServerName;
    QLocalServer* m_pServer = nullptr;
};
