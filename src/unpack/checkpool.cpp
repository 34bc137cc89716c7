#include "unpack/checkpool.h"

#include <algorithm>
#include <system_error>

CXCheckPool::CXCheckPool(unsigned threads)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    // Two jobs waiting per thread keep every thread busy between the extractor's visits.
    m_nQueueLimit = 2 * size_t(threads);
    for (unsigned i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break; // fewer threads, or none: Submit then runs the job itself
        }
    }
}

CXCheckPool::~CXCheckPool()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_bClosing = true;
        dropped.swap(m_queue);
    }
    m_hasJob.notify_all();
    m_hasRoom.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CXCheckPool::Push(std::function<void()> job)
{
    {
        std::unique_lock lock(m_mutex);
        m_hasRoom.wait(lock, [this] { return m_queue.size() < m_nQueueLimit || m_bClosing; });
        m_queue.push_back(std::move(job));
    }
    m_hasJob.notify_one();
}

void CXCheckPool::Work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_hasJob.wait(lock, [this] { return !m_queue.empty() || m_bClosing; });
            if (m_bClosing)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_hasRoom.notify_one();
        job();
    }
}
