#pragma once

#include "platform/desktop/taskbarprogress.h"

#include <QtGlobal>

#include <memory>

class QWidget;

// The run's progress on the window's taskbar button: a busy bar while scanning, archives done of the total
// while unpacking. Every call does nothing while no platform progress is attached; the counters are kept
// regardless. Use it on the user-interface thread only (the counters have no lock).
class CXTaskbarStatus
{
public:
    enum State
    {
        NoProgress = 0,
        Indeterminate = 1,
        Normal = 2
    };

    explicit CXTaskbarStatus(QWidget* window = nullptr);
    ~CXTaskbarStatus();
    CXTaskbarStatus(const CXTaskbarStatus&) = delete;
    CXTaskbarStatus& operator=(const CXTaskbarStatus&) = delete;

    // Attaches the platform's progress for the window (nothing when the platform has none) and sets it to
    // the normal state.
    void AttachTaskbar();
    // Attaches the given progress instead of the platform's, detaching any attached one first (tests pass a
    // recording double here).
    void AttachTaskbar(std::unique_ptr<CXTaskbarBackend> backend);
    // 0 no progress, 1 indeterminate, 2 normal.
    void SetTaskbarState(int state);
    // One more unit done; shows done of total.
    void StepProgress();
    // Removes the bar and clears both counters (also when nothing is attached).
    void ResetProgress();
    void SetTotal(quint64 total);
    // Removes the bar and lets the platform progress go.
    void DetachTaskbar();

    bool IsAttached() const { return m_backend != nullptr; }
    quint64 Done() const { return m_nDone; }
    quint64 Total() const { return m_nTotal; }

private:
    void CheckThread() const;

    QWidget* m_window = nullptr;
    std::unique_ptr<CXTaskbarBackend> m_backend;
    quint64 m_nDone = 0;
    quint64 m_nTotal = 0;
};
