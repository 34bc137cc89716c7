#include "ui/taskbarstatus.h"

#include <QCoreApplication>
#include <QThread>

#include <utility>

CXTaskbarStatus::CXTaskbarStatus(QWidget* window) : m_window(window) {}

CXTaskbarStatus::~CXTaskbarStatus()
{
    DetachTaskbar();
}

void CXTaskbarStatus::AttachTaskbar()
{
    AttachTaskbar(CreateTaskbarBackend(m_window));
}

void CXTaskbarStatus::AttachTaskbar(std::unique_ptr<CXTaskbarBackend> backend)
{
    CheckThread();
    DetachTaskbar();
    m_backend = std::move(backend);
    if (m_backend)
        m_backend->SetState(Normal);
}

void CXTaskbarStatus::SetTaskbarState(int state)
{
    CheckThread();
    if (m_backend)
        m_backend->SetState(state);
}

void CXTaskbarStatus::StepProgress()
{
    CheckThread();
    ++m_nDone;
    if (m_backend)
        m_backend->SetValue(m_nDone, m_nTotal);
}

void CXTaskbarStatus::ResetProgress()
{
    CheckThread();
    if (m_backend) {
        m_backend->SetValue(0, 0);
        m_backend->SetState(NoProgress);
    }
    m_nDone = 0;
    m_nTotal = 0;
}

void CXTaskbarStatus::SetTotal(quint64 total)
{
    CheckThread();
    m_nTotal = total;
}

void CXTaskbarStatus::DetachTaskbar()
{
    if (!m_backend)
        return;
    m_backend->SetState(NoProgress);
    m_backend.reset();
}

void CXTaskbarStatus::CheckThread() const
{
    // The counters have no lock: a worker must reach them through the user-interface thread.
    Q_ASSERT(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread());
}
