#pragma once

#include "common/workerhost.h"

#include <functional>
#include <vector>

// Keeps the host calls of an unpack run in selection order while archives overlap: the next archive is
// extracted while the previous one's last picture tests finish, but whatever the host is told of the
// next archive waits until the previous archive's outcome has gone out. Questions are never held: they
// are asked only where nothing is being held.
class CXOrderedHost final : public CXWorkerHost
{
public:
    using Calls = std::vector<std::function<void()>>;

    explicit CXOrderedHost(CXWorkerHost& target) : m_target(target) {}

    // Calls from now on are appended to held; nullptr sends them at once.
    void HoldInto(Calls* held) { m_pHeld = held; }
    bool IsHolding() const { return m_pHeld != nullptr; }
    // Runs step now, or holds it with the host calls when they are held.
    void Call(std::function<void()> step);
    // Sends what was held, in order, and empties it.
    static void Release(Calls& held);

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
    PasswordAnswer AskPassword(const QString& archiveName) override;
    void ShowDiskSpaceMessage(const QString& text) override;
    void WindowClosing() override;
    void EntryProgress(qint64 bytesDone, qint64 bytesTotal) override;

private:
    CXWorkerHost& m_target;
    Calls* m_pHeld = nullptr;
};
