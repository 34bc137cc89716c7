#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Owns one worker thread. The owner can wait a bounded time for it to end (a stop that must not
// hang the window) and always joins it before the object goes away, so no thread outlives it.
class CXWorkerThread
{
public:
    CXWorkerThread() = default;
    ~CXWorkerThread();
    CXWorkerThread(const CXWorkerThread&) = delete;
    CXWorkerThread& operator=(const CXWorkerThread&) = delete;

    // Starts body on a new thread. A previous thread must have ended (it is joined here).
    void Start(std::function<void()> body);
    // True while the body runs.
    bool IsActive() const;
    // Waits at most timeout for the body to end; true when it has ended (or never started).
    bool WaitFor(std::chrono::milliseconds timeout);
    // Waits for the body to end and joins the thread.
    void Join();

private:
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_bActive = false;
};
