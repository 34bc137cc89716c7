#pragma once

#include <atomic>
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

private:
    std::atomic<int> m_bRun{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_bPaused = false;
};
