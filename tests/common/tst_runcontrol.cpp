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
        QCOMPARE(run.ParkedCount(), 0);
        run.Pause();
        // The worker finishes the step under way, then stands at the gate.
        QVERIFY(run.WaitUntilParked(10s));
        QCOMPARE(run.ParkedCount(), 1);
        const int held = steps.load();
        QVERIFY(worker.IsActive());
        run.Resume();
        QTRY_VERIFY(steps.load() > held);
        QCOMPARE(run.ParkedCount(), 0);
        run.Stop();
        QVERIFY(worker.WaitFor(2s));
    }

    // A worker held at the gate leaves it on a resume (and goes on) or on a stop (and ends).
    void parkedWorkerIsReleased_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("resume") << false;
        QTest::newRow("stop") << true;
    }
    void parkedWorkerIsReleased()
    {
        QFETCH(bool, stop);
        CXRunControl run;
        run.Start();
        run.Pause();
        std::atomic<int> passed{0};
        CXWorkerThread worker;
        worker.Start([&] {
            while (run.Check() && ++passed < 3) {
            }
        });
        QVERIFY(run.WaitUntilParked(10s));
        QCOMPARE(passed.load(), 0);
        if (stop)
            run.Stop();
        else
            run.Resume();
        QVERIFY(worker.WaitFor(10s));
        QCOMPARE(run.ParkedCount(), 0);
        QCOMPARE(passed.load(), stop ? 0 : 3);
        QCOMPARE(run.IsRunning(), !stop);
    }

    // Nobody at the gate: a pause alone does not count as a held worker.
    void waitUntilParkedTimesOutWithoutWorker()
    {
        CXRunControl run;
        run.Start();
        run.Pause();
        QVERIFY(run.IsPaused());
        QVERIFY(!run.WaitUntilParked(20ms));
        QCOMPARE(run.ParkedCount(), 0);
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
