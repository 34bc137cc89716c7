#include "app/singleinstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <QUuid>

namespace {

const char* const kIdentifier = "{1690D500-B1B1-4f13-B11E-067782408D86}";

// Every test listens on a name of its own, so parallel runs never meet.
QString UniqueName()
{
    return QStringLiteral("zelvano-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Where a leftover of a crashed instance lies for a plain name.
QString SocketPath(const QString& name)
{
    return QDir(QDir::tempPath()).filePath(name);
}

struct ProbeResult
{
    int exitCode = -1;
    QString output;
};

// Runs the probe to its end. The wait runs the event loop, so an instance in this process answers it.
ProbeResult RunProbe(const QString& name, const QStringList& arguments, const QString& workingDirectory = {})
{
    QProcess probe;
    probe.setProgram(QStringLiteral(ZELVANO_INSTANCE_PROBE));
    probe.setArguments(QStringList{name} + arguments);
    if (!workingDirectory.isEmpty())
        probe.setWorkingDirectory(workingDirectory);
    QSignalSpy finished(&probe, &QProcess::finished);
    probe.start();
    ProbeResult result;
    if (!finished.wait(15000) || probe.exitStatus() != QProcess::NormalExit) {
        probe.kill();
        probe.waitForFinished();
        return result;
    }
    result.exitCode = probe.exitCode();
    result.output = QString::fromUtf8(probe.readAllStandardOutput());
    return result;
}

// The framing the program uses: a 4-byte big-endian length and the payload.
QByteArray Frame(const QByteArray& payload, quint32 length)
{
    QByteArray frame(4, '\0');
    qToBigEndian(length, frame.data());
    return frame + payload;
}

QByteArray Frame(const QByteArray& payload)
{
    return Frame(payload, static_cast<quint32>(payload.size()));
}

template <typename... T>
QByteArray Stream(const T&... values)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    (stream << ... << values);
    return bytes;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultServerName_data();
    void defaultServerName();
    void handOver_data();
    void handOver();
    void staleSocket_data();
    void staleSocket();
    void garbageClient_data();
    void garbageClient();
    void unansweredInstanceEndsTheStart();
};

void TestSingleInstance::defaultServerName_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("userName");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("plain") << QByteArray("alice") << QByteArray() << QStringLiteral("alice");
    QTest::newRow("allowed punctuation") << QByteArray("a.b-c_d") << QByteArray() << QStringLiteral("a.b-c_d");
    QTest::newRow("separators and spaces") << QByteArray("a b/c\\d:e") << QByteArray() << QStringLiteral("a_b_c_d_e");
    QTest::newRow("non-ASCII") << QByteArray("j\xc3\xb6rg") << QByteArray() << QStringLiteral("j_rg");
    QTest::newRow("USERNAME when USER is empty") << QByteArray() << QByteArray("bob") << QStringLiteral("bob");
    QTest::newRow("neither") << QByteArray() << QByteArray() << QStringLiteral("user");
}

void TestSingleInstance::defaultServerName()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, userName);
    QFETCH(QString, suffix);

    const QByteArray oldUser = qgetenv("USER");
    const QByteArray oldUserName = qgetenv("USERNAME");
    const bool hadUser = qEnvironmentVariableIsSet("USER");
    const bool hadUserName = qEnvironmentVariableIsSet("USERNAME");
    qputenv("USER", user);
    qputenv("USERNAME", userName);
    const QString name = CXSingleInstance::DefaultServerName();
    hadUser ? qputenv("USER", oldUser) : qunsetenv("USER");
    hadUserName ? qputenv("USERNAME", oldUserName) : qunsetenv("USERNAME");

    QCOMPARE(name, QString::fromLatin1(kIdentifier) + u'-' + suffix);
}

void TestSingleInstance::handOver_data()
{
    // "%W" stands for the second process's current folder.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");

    const QString program = QStringLiteral("zelvano");
    QTest::newRow("no arguments") << QStringList{} << QStringList{program};
    QTest::newRow("relative folder") << QStringList{QStringLiteral("photos 1")}
                                     << QStringList{program, QStringLiteral("%W/photos 1")};
    QTest::newRow("relative folder with dots")
        << QStringList{QStringLiteral("./x/../photos 1/")} << QStringList{program, QStringLiteral("%W/photos 1")};
    QTest::newRow("absolute folder kept") << QStringList{QStringLiteral("/srv/B\u00fcder/2019")}
                                          << QStringList{program, QStringLiteral("/srv/B\u00fcder/2019")};
    QTest::newRow("options kept") << QStringList{QStringLiteral("--version"), QStringLiteral("photos 1")}
                                  << QStringList{program, QStringLiteral("--version"), QStringLiteral("%W/photos 1")};
    QTest::newRow("a dash name after --") << QStringList{QStringLiteral("--"), QStringLiteral("-old")}
                                          << QStringList{program, QStringLiteral("--"), QStringLiteral("%W/-old")};
    // Too long for one message: the running instance is still woken, without the arguments.
    QTest::newRow("too long") << QStringList{QString(40000, u'x')} << QStringList{program};
}

void TestSingleInstance::handOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);

    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("photos 1")));
    const QString workPath = QDir(work.path()).canonicalPath();
    expected.replaceInStrings(QStringLiteral("%W"), workPath);

    const QString name = UniqueName();
    CXSingleInstance first(name);
    QVERIFY(first.Create({QStringLiteral("zelvano")}));
    QSignalSpy woken(&first, &CXSingleInstance::wakeUp);

    const ProbeResult second = RunProbe(name, arguments, workPath);
    QCOMPARE(second.output, QStringLiteral("second\n"));
    QCOMPARE(second.exitCode, 1);
    // The probe has its acknowledgement, so the signal has been emitted.
    QCOMPARE(woken.count(), 1);
    QCOMPARE(woken.at(0).at(0).toStringList(), expected);

    // The first instance keeps listening for later starts.
    QCOMPARE(RunProbe(name, {}).exitCode, 1);
    QCOMPARE(woken.count(), 2);
}

void TestSingleInstance::staleSocket_data()
{
    QTest::addColumn<bool>("killProbe");
    QTest::newRow("instance killed") << true;
    QTest::newRow("file left behind") << false;
}

void TestSingleInstance::staleSocket()
{
    QFETCH(bool, killProbe);

    const QString name = UniqueName();
    const QString path = SocketPath(name);
    if (killProbe) {
        QProcess holder;
        holder.setProgram(QStringLiteral(ZELVANO_INSTANCE_PROBE));
        holder.setArguments({name, QStringLiteral("--hold")});
        holder.start();
        QVERIFY(holder.waitForStarted());
        const QDeadlineTimer deadline(10000);
        while (!holder.canReadLine() && holder.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        QCOMPARE(holder.readLine(), QByteArray("first\n"));
        holder.kill(); // SIGKILL: no chance to remove its socket
        QVERIFY(holder.waitForFinished());
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY2(QFile::exists(path), qPrintable(path));

    CXSingleInstance first(name);
    QVERIFY(first.Create({QStringLiteral("zelvano")}));
    QSignalSpy woken(&first, &CXSingleInstance::wakeUp);
    const ProbeResult second = RunProbe(name, {QStringLiteral("/photos")});
    QCOMPARE(second.exitCode, 1);
    QCOMPARE(woken.count(), 1);
    QCOMPARE(woken.at(0).at(0).toStringList(), (QStringList{QStringLiteral("zelvano"), QStringLiteral("/photos")}));
}

void TestSingleInstance::garbageClient_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // True: the instance drops the connection; false: the client gives up with its message unfinished.
    QTest::addColumn<bool>("dropped");

    const QStringList list{QStringLiteral("zelvano"), QStringLiteral("/photos")};
    QTest::newRow("text") << QByteArray("GET / HTTP/1.1\r\n\r\n") << true;
    QTest::newRow("length beyond the limit") << Frame(QByteArray(16, 'x'), 0xffffffffU) << true;
    QTest::newRow("zero length") << Frame({}) << true;
    QTest::newRow("other version") << Frame(Stream(quint8(2), list)) << true;
    QTest::newRow("list count far beyond the bytes") << Frame(Stream(quint8(1), quint32(0x7fffffff))) << true;
    QTest::newRow("odd string size") << Frame(Stream(quint8(1), quint32(1), quint32(3)) + "abc") << true;
    QTest::newRow("bytes after the list") << Frame(Stream(quint8(1), list) + "!") << true;
    QTest::newRow("unfinished message") << Frame(QByteArray(10, 'x'), 100) << false;
}

void TestSingleInstance::garbageClient()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, dropped);

    const QString name = UniqueName();
    CXSingleInstance first(name);
    QVERIFY(first.Create({QStringLiteral("zelvano")}));
    QSignalSpy woken(&first, &CXSingleInstance::wakeUp);

    {
        QLocalSocket client;
        QSignalSpy disconnected(&client, &QLocalSocket::disconnected);
        client.connectToServer(name);
        QVERIFY(client.waitForConnected(2000));
        client.write(bytes);
        QVERIFY(client.waitForBytesWritten(2000));
        if (dropped)
            QTRY_VERIFY_WITH_TIMEOUT(disconnected.count() > 0, 3000);
        else
            client.disconnectFromServer();
        QCOMPARE(client.readAll(), QByteArray());
    }
    QCOMPARE(woken.count(), 0);

    const ProbeResult second = RunProbe(name, {QStringLiteral("/photos")});
    QCOMPARE(second.exitCode, 1);
    QCOMPARE(woken.count(), 1);
    QCOMPARE(woken.at(0).at(0).toStringList(), (QStringList{QStringLiteral("zelvano"), QStringLiteral("/photos")}));
}

void TestSingleInstance::unansweredInstanceEndsTheStart()
{
    // A running instance that never answers (hung) still owns the name: the start ends, in bounded time.
    const QString name = UniqueName();
    QLocalServer hung;
    hung.setSocketOptions(QLocalServer::UserAccessOption);
    QVERIFY(hung.listen(name));

    QElapsedTimer timer;
    timer.start();
    QProcess probe;
    probe.start(QStringLiteral(ZELVANO_INSTANCE_PROBE), {name, QStringLiteral("/photos")});
    QVERIFY(probe.waitForFinished(15000));
    QCOMPARE(probe.exitCode(), 1);
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
