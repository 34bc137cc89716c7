#include "common/workerthread.h"

CXWorkerThread::~CXWorkerThread()
{
    Join();
}

void CXWorkerThread::Start(std::function<void()> body)
{
    Join();
    {
        std::lock_guard lock(m_mutex);
        m_bActive = true;
    }
    m_thread = std::thread([this, body = std::move(body)] {
        body();
        {
            std::lock_guard lock(m_mutex);
            m_bActive = false;
        }
        m_done.notify_all();
    });
}

bool CXWorkerThread::IsActive() const
{
    std::lock_guard lock(m_mutex);
    return m_bActive;
}

bool CXWorkerThread::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_done.wait_for(lock, timeout, [this] { return !m_bActive; });
}

void CXWorkerThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}
