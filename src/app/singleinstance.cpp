#include "app/singleinstance.h"

#include <memory>
#include <QByteArray>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QIODevice>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>
#include <QTimer>

namespace {

// The program's fixed identifier; every user gets a socket of their own below it.
const char* const kIdentifier = "{1690D500-B1B1-4f13-B11E-067782408D86}";

// The message: a 4-byte big-endian length, then a QDataStream of the version byte and the argument list.
constexpr quint8 kMessageVersion = 1;
constexpr qsizetype kMaxPayload = qsizetype(64) * 1024;
constexpr char kAcknowledgement = '\x06';

// A running instance accepts at once; anything slower is not a running instance of ours.
constexpr int kConnectMs = 500;
// The whole hand-over: writing the message and reading the answer.
constexpr int kHandOverMs = 2000;
// A connection that has not delivered its message by then is dropped, so a stuck client holds nothing.
constexpr int kServerReadMs = 5000;

QString SanitisedUserName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    QString result;
    result.reserve(user.size());
    for (const QChar c : user) {
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                             c == u'_' || c == u'.' || c == u'-';
        result += allowed ? c : u'_';
    }
    return result.isEmpty() ? QStringLiteral("user") : result;
}

// The running instance has a current folder of its own: relative paths are resolved here before they leave.
// The first entry is the program as started and stays as it is; options stay too.
QStringList WithAbsolutePaths(const QStringList& arguments)
{
    QStringList result;
    result.reserve(arguments.size());
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (i == 0 || argument.isEmpty()) {
            result.append(argument);
            continue;
        }
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
            result.append(argument);
            continue;
        }
        if (!optionsEnded && argument.startsWith(u'-')) {
            result.append(argument);
            continue;
        }
        result.append(QDir::isRelativePath(argument) ? QDir::cleanPath(QDir::current().absoluteFilePath(argument))
                                                     : argument);
    }
    return result;
}

QByteArray EncodeMessage(const QStringList& arguments)
{
    QByteArray payload;
    {
        QDataStream stream(&payload, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_0);
        stream << kMessageVersion << arguments;
    }
    if (payload.size() > kMaxPayload)
        return {};
    QByteArray message(4, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), message.data());
    message += payload;
    return message;
}

// The argument list of a complete payload; false for anything that is not a well-formed message of ours.
bool DecodePayload(const QByteArray& payload, QStringList& arguments)
{
    QDataStream stream(payload);
    stream.setVersion(QDataStream::Qt_6_0);
    quint8 version = 0;
    stream >> version;
    if (stream.status() != QDataStream::Ok || version != kMessageVersion)
        return false;
    // The list as QDataStream writes it, read item by item: a garbage count must not size an allocation.
    quint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count > static_cast<quint32>(payload.size() / 4))
        return false;
    arguments.clear();
    for (quint32 i = 0; i < count; ++i) {
        QString argument;
        stream >> argument;
        if (stream.status() != QDataStream::Ok)
            return false;
        arguments.append(argument);
    }
    return stream.atEnd();
}

// Hands the arguments to the instance listening on the name. False when nobody accepted the connection.
bool HandOver(const QString& serverName, const QStringList& arguments)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kConnectMs))
        return false;

    // A command line too long for the message still wakes the running instance, without arguments.
    QByteArray message = EncodeMessage(arguments);
    if (message.isEmpty())
        message = EncodeMessage(arguments.mid(0, 1));

    const QDeadlineTimer deadline(kHandOverMs);
    socket.write(message);
    while (socket.bytesToWrite() > 0 && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    while (socket.bytesAvailable() == 0 && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    // Without the answer the running instance is still the one that owns the name: this start ends either way.
    socket.disconnectFromServer();
    return true;
}

// Reads one connection's message, answers it and passes the arguments on.
void Receive(CXSingleInstance* instance, QLocalSocket* socket)
{
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kServerReadMs, socket, [socket]() { socket->abort(); });
    // One message per connection; what the client sends after it is ignored.
    auto buffer = std::make_shared<QByteArray>();
    auto done = std::make_shared<bool>(false);
    QObject::connect(socket, &QLocalSocket::readyRead, instance, [instance, socket, buffer, done]() {
        if (*done) {
            socket->readAll();
            return;
        }
        *buffer += socket->read(4 + kMaxPayload - buffer->size());
        if (buffer->size() < 4)
            return;
        const quint32 length = qFromBigEndian<quint32>(buffer->constData());
        // A claimed size beyond the limit, or a payload that is not a message of ours, ends the connection.
        if (length == 0 || length > static_cast<quint32>(kMaxPayload)) {
            socket->abort();
            return;
        }
        if (buffer->size() < 4 + static_cast<qsizetype>(length))
            return;
        QStringList received;
        const bool ok = DecodePayload(buffer->mid(4, length), received);
        buffer->clear();
        if (!ok) {
            socket->abort();
            return;
        }
        *done = true;
        socket->write(&kAcknowledgement, 1);
        socket->flush();
        Q_EMIT instance->wakeUp(received);
    });
}

} // namespace

CXSingleInstance::CXSingleInstance(const QString& serverName, QObject* parent)
    : QObject(parent), m_strServerName(serverName)
{}

CXSingleInstance::~CXSingleInstance() = default;

QString CXSingleInstance::DefaultServerName()
{
    return QString::fromLatin1(kIdentifier) + u'-' + SanitisedUserName();
}

bool CXSingleInstance::Create(const QStringList& arguments)
{
    if (m_pServer != nullptr)
        return true;
    const QStringList handed = WithAbsolutePaths(arguments);
    if (HandOver(m_strServerName, handed))
        return false;

    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_strServerName)) {
        if (server->serverError() != QAbstractSocket::AddressInUseError) {
            delete server;
            // Without a socket there is no hand-over, but the program itself still runs.
            return true;
        }
        // Another start may have begun listening since the first attempt; only a file nobody answers on
        // is a leftover of a crashed instance.
        if (HandOver(m_strServerName, handed)) {
            delete server;
            return false;
        }
        QLocalServer::removeServer(m_strServerName);
        if (!server->listen(m_strServerName)) {
            delete server;
            return true;
        }
    }
    m_pServer = server;

    connect(server, &QLocalServer::newConnection, this, [this, server]() {
        while (QLocalSocket* socket = server->nextPendingConnection())
            Receive(this, socket);
    });
    return true;
}
