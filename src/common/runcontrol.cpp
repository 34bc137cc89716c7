#include "common/runcontrol.h"

void CXRunControl::Start()
{
    std::lock_guard lock(m_mutex);
    m_bPaused = false;
    m_bRun.store(1, std::memory_order_release);
}

void CXRunControl::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bRun.store(0, std::memory_order_release);
        m_bPaused = false;
    }
    m_resumed.notify_all();
}

void CXRunControl::Pause()
{
    std::lock_guard lock(m_mutex);
    if (m_bRun.load(std::memory_order_acquire))
        m_bPaused = true;
}

void CXRunControl::Resume()
{
    {
        std::lock_guard lock(m_mutex);
        m_bPaused = false;
    }
    m_resumed.notify_all();
}

bool CXRunControl::IsPaused() const
{
    std::lock_guard lock(m_mutex);
    return m_bPaused;
}

bool CXRunControl::Check()
{
    if (!m_bRun.load(std::memory_order_acquire))
        return false;
    std::unique_lock lock(m_mutex);
    const auto released = [this] { return !m_bPaused || !m_bRun.load(std::memory_order_acquire); };
    if (!released()) {
        ++m_nParked;
        m_parked.notify_all();
        // The flag and the pause state change only under the mutex, so no wake-up is lost.
        m_resumed.wait(lock, released);
        --m_nParked;
    }
    return m_bRun.load(std::memory_order_acquire) != 0;
}

int CXRunControl::ParkedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_nParked;
}

bool CXRunControl::WaitUntilParked(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_parked.wait_for(lock, timeout, [this] { return m_nParked > 0; });
}
