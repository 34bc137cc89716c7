// The worker-to-window channel: calls run on the user-interface thread while the worker waits, and nothing
// lets a worker wait for a window that has stopped listening.
#include "ui/guihost.h"

#include <atomic>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <thread>

namespace {

// Records every call with the thread it ran on.
class RecordingTarget final : public CXWorkerHost
{
public:
    void StatusText(int line, const QString& text) override
    {
        m_threads.append(QThread::currentThread());
        m_texts.append(QString::number(line) + QLatin1Char(':') + text);
    }
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::YesToAll; }
    void ShowDiskSpaceMessage(const QString&) override {}

    QList<QThread*> m_threads;
    QStringList m_texts;
};

} // namespace

class TestGuiHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callsRunOnTheWindowThreadInOrder();
    void retiredHostAnswersAtOnceWithTheSafeAnswer();
    void retireReleasesAWaitingCall();
    void heldCallsWaitUntilReleased();
};

void TestGuiHost::callsRunOnTheWindowThreadInOrder()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    std::atomic<bool> done{false};
    DeleteAnswer answer = DeleteAnswer::No;
    std::thread worker([&] {
        host.StatusText(0, QStringLiteral("100% of C:\\%s"));
        host.StatusText(1, QStringLiteral("second"));
        answer = host.ConfirmArchiveDelete(QStringLiteral("a.zip"), false);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    worker.join();
    QCOMPARE(target.m_texts, (QStringList{QStringLiteral("0:100% of C:\\%s"), QStringLiteral("1:second")}));
    for (QThread* thread : target.m_threads)
        QCOMPARE(thread, QThread::currentThread());
    QCOMPARE(answer, DeleteAnswer::YesToAll);
}

void TestGuiHost::retiredHostAnswersAtOnceWithTheSafeAnswer()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    host.Retire();
    DeleteAnswer answer = DeleteAnswer::Yes;
    // No event loop runs here: a call that waited for the window would never return.
    std::thread worker([&] {
        host.StatusText(0, QStringLiteral("late"));
        answer = host.ConfirmArchiveDelete(QStringLiteral("a.zip"), true);
    });
    worker.join();
    QCOMPARE(answer, DeleteAnswer::No);
    QVERIFY(target.m_texts.isEmpty());

    host.Open();
    std::atomic<bool> done{false};
    std::thread again([&] {
        host.StatusText(0, QStringLiteral("new run"));
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    again.join();
    QCOMPARE(target.m_texts, QStringList{QStringLiteral("0:new run")});
}

void TestGuiHost::retireReleasesAWaitingCall()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    std::atomic<bool> started{false}, done{false};
    DeleteAnswer answer = DeleteAnswer::Yes;
    std::thread worker([&] {
        started = true;
        answer = host.ConfirmArchiveDelete(QStringLiteral("a.zip"), true);
        done = true;
    });
    // The window does not serve the call (no event loop here), then stops listening: the worker goes on.
    while (!started)
        std::this_thread::yield();
    QThread::msleep(20);
    QVERIFY(!done);
    host.Retire();
    worker.join();
    QCOMPARE(answer, DeleteAnswer::No);
    // The posted serve request that is still queued finds nothing to run.
    QCoreApplication::processEvents();
    QVERIFY(target.m_texts.isEmpty());
}

void TestGuiHost::heldCallsWaitUntilReleased()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    host.Hold(true);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        host.StatusText(1, QStringLiteral("held"));
        done = true;
    });
    // Events are processed, but a held call does not run.
    QTest::qWait(100);
    QVERIFY(!done);
    QVERIFY(target.m_texts.isEmpty());
    host.Hold(false);
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    worker.join();
    QCOMPARE(target.m_texts, QStringList{QStringLiteral("1:held")});
}

QTEST_GUILESS_MAIN(TestGuiHost)
#include "tst_guihost.moc"
