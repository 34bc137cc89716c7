#pragma once

#include <QtGlobal>

#include <memory>

class QWidget;

// The progress shown on the program's taskbar button (Windows) or launcher entry (Linux docks and task
// managers). States: 0 no progress, 1 indeterminate (busy, share unknown), 2 normal (done of total).
class CXTaskbarBackend
{
public:
    virtual ~CXTaskbarBackend() = default;
    virtual void SetState(int state) = 0;
    // Like the Windows taskbar, a value switches a hidden or indeterminate bar to the normal state.
    virtual void SetValue(quint64 done, quint64 total) = 0;
};

// The platform's progress for the window's button, or null when the platform offers none (the calls then
// do nothing). On Linux the window is not needed: the launcher entry is found by the desktop entry's name.
std::unique_ptr<CXTaskbarBackend> CreateTaskbarBackend(QWidget* window = nullptr);
