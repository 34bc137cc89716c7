#include "common/runcontrol.h"
#include "common/workerthread.h"

#include <atomic>
#include <chrono>
#include <QtTest>

using namespace std::chrono_literals;

// A worker that counts its steps through the gate until the run is stopped.
class TestRunControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pauseHoldsWorkerAndResumeContinues()
    {
        CXRunControl run;
        run.Start();
        std::atomic<int> steps{0};
        CXWorkerThread worker;
        worker.Start([&] {
            while (run.Check()) {
                ++steps;
                std::this_thread::sleep_for(1ms);
            }
        });
        QTRY_VERIFY(steps.load() > 3);
        run.Pause();
        std::this_thread::sleep_for(20ms); // a step under way when the pause came may finish
        const int held = steps.load();
        std::this_thread::sleep_for(100ms);
        QCOMPARE(steps.load(), held);
        QVERIFY(worker.IsActive());
        run.Resume();
        QTRY_VERIFY(steps.load() > held);
        run.Stop();
        QVERIFY(worker.WaitFor(2s));
    }

    void stopDuringPauseEndsWorker()
    {
        CXRunControl run;
        run.Start();
        std::atomic<bool> inLoop{false};
        CXWorkerThread worker;
        worker.Start([&] {
            while (run.Check())
                inLoop = true;
        });
        QTRY_VERIFY(inLoop.load());
        run.Pause();
        run.Stop();
        QVERIFY(worker.WaitFor(2s));
        QVERIFY(!run.IsRunning());
        QVERIFY(!run.Check());
    }

    void boundedWaitReturnsWhileBodyStillRuns()
    {
        CXRunControl run;
        run.Start();
        CXWorkerThread worker;
        worker.Start([&] {
            while (run.Check())
                std::this_thread::sleep_for(1ms);
        });
        QVERIFY(!worker.WaitFor(30ms));
        run.Stop();
        worker.Join();
        QVERIFY(!worker.IsActive());
    }
};

QTEST_GUILESS_MAIN(TestRunControl)
#include "tst_runcontrol.moc"
