// The taskbar progress over the runs, recorded through a test double of the platform progress, and the
// Linux launcher-entry signal as a dock receives it from the session bus.
#include "platform/desktop/taskbarprogress.h"
#include "ui/taskbarstatus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

// Records every call as text ("state 1", "value 2/4") into a log that outlives the double, and notes its
// own destruction.
class RecordingBackend : public CXTaskbarBackend
{
public:
    RecordingBackend(QStringList* log, bool* destroyed = nullptr) : m_log(log), m_destroyed(destroyed) {}
    ~RecordingBackend() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    void SetState(int state) override { *m_log << QStringLiteral("state %1").arg(state); }
    void SetValue(quint64 done, quint64 total) override
    {
        *m_log << QStringLiteral("value %1/%2").arg(done).arg(total);
    }

private:
    QStringList* m_log;
    bool* m_destroyed;
};

QStringList Calls(std::initializer_list<const char*> calls)
{
    QStringList list;
    for (const char* call : calls)
        list << QLatin1String(call);
    return list;
}

// What a dock receives: the launcher-entry signals of one sender path.
class LauncherEntryReceiver : public QObject
{
    Q_OBJECT

public:
    QList<QDBusMessage> messages;

public Q_SLOTS:
    void Update(const QDBusMessage& message) { messages << message; }
};

} // namespace

class TaskbarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void scanThenUnpack_data();
    void scanThenUnpack();
    void countersWithoutPlatformProgress_data();
    void countersWithoutPlatformProgress();
    void attachReplacesAndDetachReleases();
    void launcherEntrySignal();

private:
    QProcess m_bus;
    QString m_busAddress;
    QString m_busSkipReason;
};

void TaskbarTest::initTestCase()
{
    // The signal test needs a session bus. A private one keeps the test's progress off the desktop of
    // whoever runs it; the user's bus is the fallback when no daemon can be started.
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (!daemon.isEmpty()) {
        m_bus.start(daemon,
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (m_bus.waitForStarted(5000) && m_bus.waitForReadyRead(5000))
            m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
        if (!m_busAddress.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
    }
    if (m_busAddress.isEmpty())
        m_busAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (m_busAddress.isEmpty())
        m_busSkipReason = QStringLiteral("no session bus and no dbus-daemon to start one");
}

void TaskbarTest::cleanupTestCase()
{
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }
}

// The window's calls at each moment of a scan and an unpack run, with the calls the platform must see.
void TaskbarTest::scanThenUnpack_data()
{
    QTest::addColumn<int>("archives");
    QTest::addColumn<int>("processed");
    QTest::addColumn<QStringList>("unpackCalls");

    QTest::newRow("four archives, all processed")
        << 4 << 4 << Calls({"value 1/4", "value 2/4", "value 3/4", "value 4/4", "value 0/0", "state 0"});
    QTest::newRow("four archives, cancelled after two")
        << 4 << 2 << Calls({"value 1/4", "value 2/4", "value 0/0", "state 0"});
    QTest::newRow("one archive") << 1 << 1 << Calls({"value 1/1", "value 0/0", "state 0"});
    QTest::newRow("nothing selected") << 0 << 0 << Calls({"value 0/0", "state 0"});
}

void TaskbarTest::scanThenUnpack()
{
    QFETCH(int, archives);
    QFETCH(int, processed);
    QFETCH(QStringList, unpackCalls);

    QStringList log;
    bool destroyed = false;
    CXTaskbarStatus taskbar;
    taskbar.AttachTaskbar(std::make_unique<RecordingBackend>(&log, &destroyed));
    QCOMPARE(log, Calls({"state 2"}));

    log.clear(); // scan starts, pauses, resumes, finishes
    taskbar.SetTaskbarState(CXTaskbarStatus::Indeterminate);
    taskbar.SetTaskbarState(CXTaskbarStatus::Normal);
    taskbar.ResetProgress();
    taskbar.SetTaskbarState(CXTaskbarStatus::Indeterminate);
    taskbar.SetTaskbarState(CXTaskbarStatus::Normal);
    taskbar.ResetProgress();
    QCOMPARE(log, Calls({"state 1", "state 2", "value 0/0", "state 0", "state 1", "state 2", "value 0/0", "state 0"}));

    log.clear(); // unpack starts: the bar stays away until the first archive is done
    taskbar.SetTaskbarState(CXTaskbarStatus::Normal);
    taskbar.ResetProgress();
    taskbar.SetTotal(quint64(archives));
    QCOMPARE(log, Calls({"state 2", "value 0/0", "state 0"}));
    QCOMPARE(taskbar.Done(), quint64(0));
    QCOMPARE(taskbar.Total(), quint64(archives));

    log.clear();
    for (int i = 1; i <= processed; ++i) {
        taskbar.StepProgress();
        QCOMPARE(taskbar.Done(), quint64(i));
    }
    taskbar.ResetProgress(); // finished or cancelled
    QCOMPARE(log, unpackCalls);
    QCOMPARE(taskbar.Done(), quint64(0));
    QCOMPARE(taskbar.Total(), quint64(0));

    log.clear(); // the application closes
    taskbar.DetachTaskbar();
    QCOMPARE(log, Calls({"state 0"}));
    QVERIFY(destroyed);
    QVERIFY(!taskbar.IsAttached());
}

void TaskbarTest::countersWithoutPlatformProgress_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("never attached") << "never";
    QTest::newRow("platform offers none") << "null";
    QTest::newRow("detached") << "detached";
}

void TaskbarTest::countersWithoutPlatformProgress()
{
    QFETCH(QString, how);

    QStringList log;
    CXTaskbarStatus taskbar;
    if (how == QLatin1String("null")) {
        taskbar.AttachTaskbar(nullptr);
    } else if (how == QLatin1String("detached")) {
        taskbar.AttachTaskbar(std::make_unique<RecordingBackend>(&log));
        taskbar.DetachTaskbar();
        log.clear();
    }
    QVERIFY(!taskbar.IsAttached());

    // Every call is harmless and the counters still count, so a later run starts from zero.
    taskbar.SetTaskbarState(CXTaskbarStatus::Normal);
    taskbar.SetTotal(4);
    taskbar.StepProgress();
    taskbar.StepProgress();
    QCOMPARE(taskbar.Done(), quint64(2));
    QCOMPARE(taskbar.Total(), quint64(4));
    taskbar.ResetProgress();
    QCOMPARE(taskbar.Done(), quint64(0));
    QCOMPARE(taskbar.Total(), quint64(0));
    taskbar.DetachTaskbar();
    QVERIFY(log.isEmpty());
}

void TaskbarTest::attachReplacesAndDetachReleases()
{
    QStringList first;
    QStringList second;
    bool firstDestroyed = false;
    bool secondDestroyed = false;
    {
        CXTaskbarStatus taskbar;
        taskbar.AttachTaskbar(std::make_unique<RecordingBackend>(&first, &firstDestroyed));
        taskbar.SetTotal(2);
        taskbar.StepProgress();
        // A second attach must not leave the first bar standing.
        taskbar.AttachTaskbar(std::make_unique<RecordingBackend>(&second, &secondDestroyed));
        QVERIFY(firstDestroyed);
        QCOMPARE(first, Calls({"state 2", "value 1/2", "state 0"}));
        taskbar.StepProgress();
        QCOMPARE(second, Calls({"state 2", "value 2/2"}));
        second.clear();
    }
    // Destroyed with the window: the bar is removed even without an explicit detach.
    QVERIFY(secondDestroyed);
    QCOMPARE(second, Calls({"state 0"}));
}

void TaskbarTest::launcherEntrySignal()
{
    if (!m_busSkipReason.isEmpty())
        QSKIP(qPrintable(m_busSkipReason));
    QDBusConnection dock = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("dock"));
    if (!dock.isConnected())
        QSKIP(qPrintable(QStringLiteral("cannot connect to the session bus: %1").arg(dock.lastError().message())));
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the program's own session bus connection");

    const QString path =
        QStringLiteral("/com/canonical/unity/launcherentry/%1").arg(QCoreApplication::applicationPid());
    const QString interface = QStringLiteral("com.canonical.Unity.LauncherEntry");
    LauncherEntryReceiver receiver;
    QVERIFY(dock.connect(QString(), path, interface, QStringLiteral("Update"), &receiver, SLOT(Update(QDBusMessage))));
    // The subscription reaches the daemon asynchronously; one call that waits for its answer on the same
    // connection makes sure it is in place before anything is sent.
    const QDBusMessage ping = dock.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    QCOMPARE(ping.type(), QDBusMessage::ReplyMessage);

    // The bar as a dock draws it: visible, share.
    const auto received = [&receiver]() {
        QStringList shown;
        for (const QDBusMessage& message : receiver.messages) {
            if (message.arguments().size() != 2 || message.signature() != QLatin1String("sa{sv}")) {
                shown << QStringLiteral("malformed %1").arg(message.signature());
                continue;
            }
            const QString app = message.arguments().at(0).toString();
            const auto properties = qdbus_cast<QVariantMap>(message.arguments().at(1));
            const QVariant progress = properties.value(QStringLiteral("progress"));
            const QVariant visible = properties.value(QStringLiteral("progress-visible"));
            shown << QStringLiteral("%1 %2 %3 %4")
                         .arg(app, QLatin1String(progress.typeId() == QMetaType::Double ? "" : "(not double)"),
                              visible.toBool() ? QStringLiteral("shown") : QStringLiteral("hidden"))
                         .arg(progress.toDouble());
        }
        return shown;
    };
    const QString app = QStringLiteral("application://zelvano.desktop ");

    {
        std::unique_ptr<CXTaskbarBackend> backend = CreateTaskbarBackend();
        QVERIFY(backend);
        CXTaskbarStatus taskbar;
        taskbar.AttachTaskbar(std::move(backend));
        taskbar.SetTaskbarState(CXTaskbarStatus::Indeterminate); // scan
        taskbar.SetTaskbarState(CXTaskbarStatus::Normal);        // scan finished
        taskbar.ResetProgress();
        taskbar.SetTaskbarState(CXTaskbarStatus::Normal); // unpack of four archives
        taskbar.ResetProgress();
        taskbar.SetTotal(4);
        for (int i = 0; i < 4; ++i)
            taskbar.StepProgress();
        taskbar.ResetProgress();
        // A last change after a run of calls that show nothing new: it must be the next signal received.
        taskbar.SetTotal(4);
        taskbar.StepProgress();
        taskbar.DetachTaskbar();
    }
    const QStringList expected{app + QStringLiteral(" hidden 0"),   app + QStringLiteral(" shown 0"),
                               app + QStringLiteral(" hidden 0"),   app + QStringLiteral(" shown 0.25"),
                               app + QStringLiteral(" shown 0.5"),  app + QStringLiteral(" shown 0.75"),
                               app + QStringLiteral(" shown 1"),    app + QStringLiteral(" hidden 0"),
                               app + QStringLiteral(" shown 0.25"), app + QStringLiteral(" hidden 0")};
    // A loaded machine (and the sanitizer build) can take seconds to deliver them through the daemon.
    QTRY_COMPARE_WITH_TIMEOUT(received(), expected, 30000);
    for (const QDBusMessage& message : receiver.messages) {
        QCOMPARE(message.type(), QDBusMessage::SignalMessage);
        QCOMPARE(message.path(), path);
        QCOMPARE(message.interface(), interface);
        QCOMPARE(message.member(), QStringLiteral("Update"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("dock"));
}

QTEST_MAIN(TaskbarTest)
#include "tst_taskbar.moc"
