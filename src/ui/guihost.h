#pragma once

#include "common/workerhost.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <QObject>
#include <QTimer>

// Brings each call of a worker to the user-interface thread and waits there for it, as a sent window message
// did: the window reads the found-archive records while the worker waits. The calls land on a target (the
// window's side of the host) that runs on the user-interface thread.
//
// The calls that only tell the window something are the exception, so a fast worker never waits for the
// window to lay out and paint: the texts a worker shows (status texts and state, the folder being searched)
// are copied and shown by the event loop at most every few milliseconds, the latest of each kind winning; the
// list operations (row into view, unchecked, removed) and the taskbar step are queued and run in their order.
// Both come before any later call of the worker that waits.
//
// Nothing waits for ever: Hold keeps calls waiting while the window asks the user whether to stop (the worker
// is paused then), Retire answers every waiting and later call at once with the safe answer, so a window that
// waits for a stopping worker never waits for a worker that waits for the window.
class CXGuiWorkerHost final : public QObject, public CXWorkerHost
{
    Q_OBJECT

public:
    explicit CXGuiWorkerHost(CXWorkerHost& target, QObject* parent = nullptr);
    ~CXGuiWorkerHost() override;
    CXGuiWorkerHost(const CXGuiWorkerHost&) = delete;
    CXGuiWorkerHost& operator=(const CXGuiWorkerHost&) = delete;

    // A new run: calls reach the target again. Only once the previous run's worker has ended.
    void Open();
    // The run is over for the window: calls waiting now and every later call return at once. The queued
    // list operations of the run are carried out first (they tell the list what the run did), unless the
    // window is going away.
    void Retire(bool runQueued = true);
    bool IsRetired() const;
    // While held, calls wait and are not run; after the release they run from the event loop.
    void Hold(bool hold);

    // Runs the calls that wait now (user-interface thread).
    void ServePending();

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
    // Skip all when the host is retired: no answer will come.
    PasswordAnswer AskPassword(const QString& archiveName) override;
    void ShowDiskSpaceMessage(const QString& text) override;
    void WindowClosing() override { Retire(false); }

private:
    struct Job
    {
        std::function<void()> m_fn;
        enum
        {
            Waiting,
            Running,
            Done,
            Dropped
        } m_state = Waiting;
        bool m_bQueued = false; // nobody waits for it: the host owns it
    };
    // Queues fn to run on the user-interface thread in order with the other calls; does not wait.
    void Queue(std::function<void()> fn);
    // Runs fn on the user-interface thread and waits for it; false (fn not run) when the host is retired.
    bool Call(std::function<void()> fn);
    // The texts shown: stored here, shown by ShowTexts from the event loop.
    struct ShownTexts
    {
        bool m_bState = false;
        int m_nState = 0;
        bool m_bFolder = false;
        QString m_strFolder;
        std::array<bool, 2> m_bLine{false, false};
        std::array<QString, 2> m_strLine;
    };
    void PostTexts(const std::function<void(ShownTexts&)>& change);
    // Shows the stored texts (user-interface thread), unless held.
    void ShowTexts();

    CXWorkerHost& m_target;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job*> m_jobs;
    bool m_bRetired = false;
    bool m_bHeld = false;
    ShownTexts m_texts;
    bool m_bTextsPosted = false;
    QTimer* m_pTextTimer = nullptr;
};
