#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of threads that run picture checks, fed by a bounded queue. One pool serves a whole run:
// no thread is started per picture, and a full queue holds the extracting thread back, so the files
// waiting for a check stay few whatever the archive holds.
class CXCheckPool
{
public:
    // threads 0 means one per core.
    explicit CXCheckPool(unsigned threads = 0);
    // Jobs not yet started are dropped (their futures report a broken promise); running ones finish.
    ~CXCheckPool();
    CXCheckPool(const CXCheckPool&) = delete;
    CXCheckPool& operator=(const CXCheckPool&) = delete;

    // Queues job; waits while the queue is full. Without any thread (none could be started) the job
    // runs here and now.
    template <class F>
    auto Submit(F job) -> std::future<decltype(job())>
    {
        using Result = decltype(job());
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        std::future<Result> future = task->get_future();
        if (m_threads.empty())
            (*task)();
        else
            Push([task] { (*task)(); });
        return future;
    }

    size_t ThreadCount() const { return m_threads.size(); }
    size_t QueueLimit() const { return m_nQueueLimit; }

private:
    void Push(std::function<void()> job);
    void Work();

    std::mutex m_mutex;
    std::condition_variable m_hasJob;
    std::condition_variable m_hasRoom;
    std::deque<std::function<void()>> m_queue;
    size_t m_nQueueLimit = 0;
    bool m_bClosing = false;
    std::vector<std::thread> m_threads;
};
