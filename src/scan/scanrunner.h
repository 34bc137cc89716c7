#pragma once

#include "common/hostgate.h"
#include "common/runcontrol.h"
#include "common/workerthread.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <QString>

class CXArchiveList;
class CXSettings;

// The block a scan worker runs on: the run flag (with its pause gate), the model it fills, and the folder.
// The worker gets its own copy, so a new start never changes the block a finishing worker still reads.
struct ScanParams
{
    CXRunControl* m_pRun = nullptr; // the run flag: stops and pauses the worker
    CXArchiveList* m_pOwner = nullptr;
    QString m_szFolder;
};

// The worker's entry: scans m_szFolder into the owner's model (StartScan).
void ScanThreadProc(const ScanParams& params);

// Owns the scan worker: starts it on its own thread, pauses, resumes and stops it. The desktop window and
// zelvano-cli drive the same object; the model's host receives the worker's notifications through a gate
// the window can close. A scan reads a copy of the options taken when it starts, never the live record.
class CXScanRunner
{
public:
    explicit CXScanRunner(CXArchiveList& model);
    // Closes the gate to the host, stops a running scan and waits for its thread to end; gives the model
    // its own host and settings back.
    ~CXScanRunner();
    CXScanRunner(const CXScanRunner&) = delete;
    CXScanRunner& operator=(const CXScanRunner&) = delete;

    // Stops a previous scan, then starts a scan of folder. Returns false, starting nothing, when the previous
    // worker has not ended within the stop's wait (it may be blocked in a call to its host).
    bool StartScanThread(const QString& folder);
    // Clears the run flag (which also ends a pause) and waits at most 1,000 ms for the worker to end.
    void StopScanThread();
    // The window is closing: every later host call of the worker returns at once and calls waiting for the
    // window are released; then stops the scan like StopScanThread.
    void CloseHost();

    bool Start(const QString& folder) { return StartScanThread(folder); }
    void Stop() { StopScanThread(); }
    // The worker holds at its next check of the run flag until Resume or Stop.
    void Pause() { m_run.Pause(); }
    void Resume() { m_run.Resume(); }

    // True while the worker thread runs.
    bool IsRunning() const { return m_thread.IsActive(); }
    bool IsPaused() const { return m_run.IsPaused(); }
    // Waits at most timeout until the worker is held at its pause point; true when it is.
    bool WaitUntilParked(std::chrono::milliseconds timeout) const { return m_run.WaitUntilParked(timeout); }
    // Waits at most timeout for the worker to end; true when it has ended (or never started).
    bool WaitFor(std::chrono::milliseconds timeout) { return m_thread.WaitFor(timeout); }
    // True when the last run ended without a stop request.
    bool FinishedNormally() const { return m_run.IsRunning() && !m_thread.IsActive(); }

private:
    CXArchiveList& m_model;
    CXWorkerHost* m_pWindowHost = nullptr;         // the model's own host, behind the gate during a scan
    const CXSettings* m_pWindowSettings = nullptr; // the model's own settings record
    std::unique_ptr<CXSettings> m_options;         // the copy the running scan reads
    CXHostGate m_gate;
    CXRunControl m_run;
    CXWorkerThread m_thread;
    std::atomic<bool> m_bScanThreadStopping{false};
};
