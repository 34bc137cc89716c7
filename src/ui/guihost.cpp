#include "ui/guihost.h"

#include <QMetaObject>
#include <QThread>

CXGuiWorkerHost::CXGuiWorkerHost(CXWorkerHost& target, QObject* parent) : QObject(parent), m_target(target) {}

CXGuiWorkerHost::~CXGuiWorkerHost()
{
    Retire();
}

void CXGuiWorkerHost::Open()
{
    const std::lock_guard lock(m_mutex);
    m_bRetired = false;
    m_bHeld = false;
}

void CXGuiWorkerHost::Retire()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bRetired = true;
        for (Job* job : m_jobs)
            job->m_state = Job::Dropped;
        m_jobs.clear();
    }
    m_changed.notify_all();
}

bool CXGuiWorkerHost::IsRetired() const
{
    const std::lock_guard lock(m_mutex);
    return m_bRetired;
}

void CXGuiWorkerHost::Hold(bool hold)
{
    {
        const std::lock_guard lock(m_mutex);
        m_bHeld = hold;
    }
    // The waiting calls run from the event loop, never inside the command that released them.
    if (!hold)
        QMetaObject::invokeMethod(this, &CXGuiWorkerHost::ServePending, Qt::QueuedConnection);
}

void CXGuiWorkerHost::ServePending()
{
    for (;;) {
        Job* job = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_bHeld || m_jobs.empty())
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
            job->m_state = Job::Running;
        }
        // The worker waits until the job is done, so what the job refers to stays valid meanwhile.
        job->m_fn();
        {
            const std::lock_guard lock(m_mutex);
            job->m_state = Job::Done;
        }
        m_changed.notify_all();
    }
}

bool CXGuiWorkerHost::Call(std::function<void()> fn)
{
    if (QThread::currentThread() == thread()) {
        if (IsRetired())
            return false;
        fn();
        return true;
    }
    Job job;
    job.m_fn = std::move(fn);
    {
        const std::lock_guard lock(m_mutex);
        if (m_bRetired)
            return false;
        m_jobs.push_back(&job);
    }
    QMetaObject::invokeMethod(this, &CXGuiWorkerHost::ServePending, Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&job] { return job.m_state == Job::Done || job.m_state == Job::Dropped; });
    return job.m_state == Job::Done;
}

void CXGuiWorkerHost::ScanProgress(const QString& folder)
{
    Call([&] { m_target.ScanProgress(folder); });
}

void CXGuiWorkerHost::StatusText(int line, const QString& text)
{
    Call([&] { m_target.StatusText(line, text); });
}

void CXGuiWorkerHost::StatusState(int state)
{
    Call([&] { m_target.StatusState(state); });
}

void CXGuiWorkerHost::ScanFinished()
{
    Call([&] { m_target.ScanFinished(); });
}

void CXGuiWorkerHost::UnpackFinished()
{
    Call([&] { m_target.UnpackFinished(); });
}

void CXGuiWorkerHost::EnsureArchiveVisible(int archiveIndex)
{
    Call([&] { m_target.EnsureArchiveVisible(archiveIndex); });
}

void CXGuiWorkerHost::RemoveArchiveRow(int archiveIndex)
{
    Call([&] { m_target.RemoveArchiveRow(archiveIndex); });
}

void CXGuiWorkerHost::UncheckArchiveRow(int archiveIndex)
{
    Call([&] { m_target.UncheckArchiveRow(archiveIndex); });
}

void CXGuiWorkerHost::RequestStop()
{
    Call([&] { m_target.RequestStop(); });
}

void CXGuiWorkerHost::StepProgress()
{
    Call([&] { m_target.StepProgress(); });
}

DeleteAnswer CXGuiWorkerHost::ConfirmArchiveDelete(const QString& fileName, bool moreFollow)
{
    // A question the window never answered keeps the archive.
    DeleteAnswer answer = DeleteAnswer::No;
    Call([&] { answer = m_target.ConfirmArchiveDelete(fileName, moreFollow); });
    return answer;
}

void CXGuiWorkerHost::ShowDiskSpaceMessage(const QString& text)
{
    Call([&] { m_target.ShowDiskSpaceMessage(text); });
}
