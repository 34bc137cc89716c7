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
    void UncheckArchiveRow(int archiveIndex) override
    {
        m_threads.append(QThread::currentThread());
        m_texts.append(QStringLiteral("uncheck:%1").arg(archiveIndex));
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
    void shownTextsNeverMakeTheWorkerWait();
};

void TestGuiHost::callsRunOnTheWindowThreadInOrder()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    std::atomic<bool> queued{false}, done{false};
    DeleteAnswer answer = DeleteAnswer::No;
    std::thread worker([&] {
        // The list operations are queued: the worker does not wait for the window to run them.
        host.UncheckArchiveRow(7);
        host.StatusText(0, QStringLiteral("100% of C:\\%s"));
        host.UncheckArchiveRow(8);
        queued = true;
        // A question waits for its answer, and comes after everything sent before it.
        answer = host.ConfirmArchiveDelete(QStringLiteral("a.zip"), false);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(queued.load(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    worker.join();
    QCOMPARE(target.m_texts.size(), 3);
    QVERIFY(target.m_texts.indexOf(QStringLiteral("uncheck:7")) < target.m_texts.indexOf(QStringLiteral("uncheck:8")));
    QVERIFY(target.m_texts.contains(QStringLiteral("0:100% of C:\\%s")));
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
        host.UncheckArchiveRow(1);
        host.StatusText(0, QStringLiteral("late"));
        answer = host.ConfirmArchiveDelete(QStringLiteral("a.zip"), true);
    });
    worker.join();
    QCOMPARE(answer, DeleteAnswer::No);
    QTest::qWait(100);
    QVERIFY(target.m_texts.isEmpty());

    host.Open();
    std::thread again([&] { host.UncheckArchiveRow(2); });
    again.join();
    QTRY_COMPARE_WITH_TIMEOUT(target.m_texts, QStringList{QStringLiteral("uncheck:2")}, 10000);
}

void TestGuiHost::retireReleasesAWaitingCall()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    std::atomic<bool> started{false}, done{false};
    DeleteAnswer answer = DeleteAnswer::Yes;
    std::thread worker([&] {
        host.UncheckArchiveRow(4);
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
    // The run's list operation still reached the list (retired on this thread); the question did not.
    QCOMPARE(target.m_texts, QStringList{QStringLiteral("uncheck:4")});
    QCoreApplication::processEvents();
    QCOMPARE(target.m_texts.size(), 1);
}

void TestGuiHost::heldCallsWaitUntilReleased()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    host.Hold(true);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        host.StatusText(1, QStringLiteral("held text"));
        host.UncheckArchiveRow(3);
        host.ConfirmArchiveDelete(QStringLiteral("a.zip"), false);
        done = true;
    });
    // Events are processed, but nothing held is shown or run, and the question waits.
    QTest::qWait(100);
    QVERIFY(!done);
    QVERIFY(target.m_texts.isEmpty());
    host.Hold(false);
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    worker.join();
    QCOMPARE(target.m_texts, (QStringList{QStringLiteral("1:held text"), QStringLiteral("uncheck:3")}));
}

void TestGuiHost::shownTextsNeverMakeTheWorkerWait()
{
    RecordingTarget target;
    CXGuiWorkerHost host(target);
    // No event loop runs while the worker sends: it must not wait for the window to show anything.
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            host.StatusText(0, QStringLiteral("main %1").arg(i));
            host.StatusText(1, QStringLiteral("entry %1").arg(i));
        }
    });
    worker.join();
    QVERIFY(target.m_texts.isEmpty());
    // The latest of each is shown, on this thread, before any later call of the worker runs.
    std::atomic<bool> done{false};
    std::thread question([&] {
        host.ConfirmArchiveDelete(QStringLiteral("a.zip"), false);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    question.join();
    QCOMPARE(target.m_texts, (QStringList{QStringLiteral("0:main 999"), QStringLiteral("1:entry 999")}));
    for (QThread* thread : target.m_threads)
        QCOMPARE(thread, QThread::currentThread());

    // Texts of a run that the window has retired are never shown.
    std::thread late([&] { host.StatusText(0, QStringLiteral("late")); });
    late.join();
    host.Retire();
    QTest::qWait(100);
    QCOMPARE(target.m_texts.size(), 2);
}

QTEST_GUILESS_MAIN(TestGuiHost)
#include "tst_guihost.moc"
