#pragma once

#include "common/workerhost.h"

#include <atomic>

// The worker's side of its host: forwards every call to the window's host until Close, after which
// every call returns at once with the safe answer (No to a delete question, nothing shown), so that no
// worker waits for a window that is going away. A question that was already waiting when Close came is
// answered No whatever the window said.
class CXHostGate final : public CXWorkerHost
{
public:
    explicit CXHostGate(CXWorkerHost* host = nullptr) : m_pHost(host) {}

    void SetHost(CXWorkerHost* host) { m_pHost = host; }
    CXWorkerHost* Host() const { return m_pHost; }
    // Opens the gate again for a new run.
    void Open() { m_bClosed = false; }
    // The window is closing: later calls return at once, and the host releases the calls waiting in it.
    void Close();
    bool IsClosed() const { return m_bClosed.load(); }

    void ScanProgress(const QString& folder) override;
    void StatusText(int line, const QString& text) override;
    void StatusState(int state) override;
    void ScanFinished() override;
    void UnpackFinished() override;
    void EnsureArchiveVisible(int archiveIndex) override;
    void RemoveArchiveRow(int archiveIndex) override;
    void UncheckArchiveRow(int archiveIndex) override;
    void RequestStop() override;
    void StepProgress() override;
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override;
    // Once closed: SkipAll, so no further archive of the run asks.
    PasswordAnswer AskPassword(const QString& archiveName) override;
    void ShowDiskSpaceMessage(const QString& text) override;
    void EntryProgress(qint64 bytesDone, qint64 bytesTotal) override;

private:
    CXWorkerHost* Live() const { return m_bClosed.load() ? nullptr : m_pHost; }

    CXWorkerHost* m_pHost;
    std::atomic<bool> m_bClosed{false};
};
