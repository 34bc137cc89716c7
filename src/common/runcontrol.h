#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The run flag of a worker together with its pause gate. POSIX cannot suspend another thread,
// so a pause is cooperative: the worker calls Check() wherever it reads the run flag and between
// the data chunks of an entry; Check() blocks while the run is paused. Stop() clears the flag and
// opens the gate, so a paused worker wakes up and sees the stop.
class CXRunControl
{
public:
    CXRunControl() = default;
    CXRunControl(const CXRunControl&) = delete;
    CXRunControl& operator=(const CXRunControl&) = delete;

    // Arms the flag for a new run (running, not paused).
    void Start();
    // Clears the flag and wakes a paused worker.
    void Stop();
    void Pause();
    void Resume();

    bool IsRunning() const { return m_bRun.load(std::memory_order_acquire) != 0; }
    bool IsPaused() const;

    // Worker side: waits while paused, then returns whether the run may go on.
    bool Check();

    // How many workers are held at the gate right now. A pause takes effect only when a worker reaches
    // its next Check(); this tells a caller (and a test) that it has.
    int ParkedCount() const;
    // Waits until at least one worker is held at the gate; false when none is within the timeout.
    bool WaitUntilParked(std::chrono::milliseconds timeout) const;

private:
    std::atomic<int> m_bRun{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    mutable std::condition_variable m_parked;
    bool m_bPaused = false;
    int m_nParked = 0;
};
