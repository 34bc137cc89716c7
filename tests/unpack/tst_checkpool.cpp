// The picture-test pool: every job runs or is reported as dropped, jobs run side by side, and a full
// queue holds the submitter back instead of growing.
#include "unpack/checkpool.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A gate jobs wait at until the test opens it (or a timeout passes, so a fault fails instead of hanging).
class Gate
{
public:
    void Open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bOpen = true;
        }
        m_changed.notify_all();
    }
    bool Wait()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [this] { return m_bOpen; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bOpen = false;
};

} // namespace

class TestCheckPool : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyJobRunsOnce_data()
    {
        QTest::addColumn<unsigned>("threads");
        QTest::newRow("one thread") << 1u;
        QTest::newRow("four threads") << 4u;
    }
    void everyJobRunsOnce()
    {
        QFETCH(unsigned, threads);
        std::atomic<int> runs{0};
        std::vector<std::future<int>> results;
        {
            CXCheckPool pool(threads);
            QCOMPARE(pool.ThreadCount(), size_t(threads));
            for (int i = 0; i < 200; ++i)
                results.push_back(pool.Submit([i, &runs] {
                    ++runs;
                    return i * i;
                }));
            for (int i = 0; i < 200; ++i)
                QCOMPARE(results[size_t(i)].get(), i * i);
        }
        QCOMPARE(runs.load(), 200);
    }

    // Two jobs that each wait for the other finish only when both run at once.
    void jobsRunSideBySide()
    {
        CXCheckPool pool(2);
        std::mutex mutex;
        std::condition_variable changed;
        int arrived = 0;
        const auto meet = [&] {
            std::unique_lock lock(mutex);
            ++arrived;
            changed.notify_all();
            return changed.wait_for(lock, 5s, [&] { return arrived == 2; });
        };
        auto first = pool.Submit(meet);
        auto second = pool.Submit(meet);
        QVERIFY(first.get());
        QVERIFY(second.get());
    }

    // With the one thread busy and the queue full, the next Submit waits until a job is taken.
    void fullQueueHoldsTheSubmitter()
    {
        CXCheckPool pool(1);
        Gate gate;
        std::vector<std::future<bool>> jobs;
        jobs.push_back(pool.Submit([&] { return gate.Wait(); }));
        // The busy thread may not have taken the first job yet: fill until a Submit has to wait.
        std::atomic<bool> submitted{false};
        for (size_t i = 0; i < pool.QueueLimit(); ++i)
            jobs.push_back(pool.Submit([] { return true; }));
        std::thread late([&] {
            pool.Submit([] { return true; }).wait();
            submitted = true;
        });
        std::this_thread::sleep_for(100ms);
        const bool heldBack = !submitted.load();
        gate.Open();
        late.join();
        QVERIFY(heldBack);
        QVERIFY(submitted.load());
        for (auto& job : jobs)
            QVERIFY(job.get());
    }

    // A pool going away leaves no future waiting forever: each job ran or reports a broken promise.
    void destructionSettlesEveryFuture()
    {
        Gate gate;
        Gate started;
        std::vector<std::future<bool>> jobs;
        std::thread opener;
        {
            CXCheckPool pool(1);
            jobs.push_back(pool.Submit([&] {
                started.Open();
                return gate.Wait();
            }));
            jobs.push_back(pool.Submit([] { return true; }));
            QVERIFY(started.Wait());
            opener = std::thread([&] {
                std::this_thread::sleep_for(20ms);
                gate.Open();
            });
        }
        opener.join();
        for (auto& job : jobs)
            QCOMPARE(job.wait_for(0s), std::future_status::ready);
        QVERIFY(jobs.front().get());
    }
};

QTEST_GUILESS_MAIN(TestCheckPool)
#include "tst_checkpool.moc"
