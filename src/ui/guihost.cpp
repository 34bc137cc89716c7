#include "ui/guihost.h"

#include <memory>
#include <QMetaObject>
#include <QThread>

namespace {
// How often the worker's texts are shown at most: faster than anyone reads, slow enough to cost nothing.
constexpr int kTextIntervalMs = 40;
} // namespace

CXGuiWorkerHost::CXGuiWorkerHost(CXWorkerHost& target, QObject* parent)
    : QObject(parent), m_target(target), m_pTextTimer(new QTimer(this))
{
    m_pTextTimer->setSingleShot(true);
    m_pTextTimer->setInterval(kTextIntervalMs);
    connect(m_pTextTimer, &QTimer::timeout, this, &CXGuiWorkerHost::ShowTexts);
}

CXGuiWorkerHost::~CXGuiWorkerHost()
{
    Retire(false);
}

void CXGuiWorkerHost::Open()
{
    const std::lock_guard lock(m_mutex);
    m_bRetired = false;
    m_bHeld = false;
}

void CXGuiWorkerHost::Retire(bool runQueued)
{
    std::deque<Job*> queued;
    {
        const std::lock_guard lock(m_mutex);
        m_bRetired = true;
        m_texts = ShownTexts();
        m_bTextsPosted = false;
        for (Job* job : m_jobs) {
            if (job->m_bQueued)
                queued.push_back(job);
            else
                job->m_state = Job::Dropped;
        }
        m_jobs.clear();
    }
    m_changed.notify_all();
    const bool run = runQueued && QThread::currentThread() == thread();
    for (Job* job : queued) {
        if (run)
            job->m_fn();
        delete job;
    }
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
    if (!hold) {
        QMetaObject::invokeMethod(this, &CXGuiWorkerHost::ServePending, Qt::QueuedConnection);
        m_pTextTimer->start();
    }
}

void CXGuiWorkerHost::PostTexts(const std::function<void(ShownTexts&)>& change)
{
    bool post = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_bRetired)
            return;
        change(m_texts);
        post = !m_bTextsPosted;
        m_bTextsPosted = true;
    }
    if (!post)
        return;
    if (QThread::currentThread() == thread())
        ShowTexts();
    else
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_pTextTimer->isActive())
                    m_pTextTimer->start();
            },
            Qt::QueuedConnection);
}

void CXGuiWorkerHost::ShowTexts()
{
    ShownTexts texts;
    {
        const std::lock_guard lock(m_mutex);
        if (m_bHeld || !m_bTextsPosted)
            return;
        texts = std::move(m_texts);
        m_texts = ShownTexts();
        m_bTextsPosted = false;
    }
    if (texts.m_bState)
        m_target.StatusState(texts.m_nState);
    if (texts.m_bFolder)
        m_target.ScanProgress(texts.m_strFolder);
    for (std::size_t line = 0; line < texts.m_bLine.size(); ++line) {
        if (texts.m_bLine[line])
            m_target.StatusText(int(line), texts.m_strLine[line]);
    }
}

void CXGuiWorkerHost::ServePending()
{
    for (;;) {
        Job* job = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_bHeld || m_jobs.empty())
                return;
        }
        // What the worker showed before this call is shown first.
        ShowTexts();
        {
            const std::lock_guard lock(m_mutex);
            if (m_bHeld || m_jobs.empty())
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
            job->m_state = Job::Running;
        }
        if (job->m_bQueued) {
            job->m_fn();
            delete job;
            continue;
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

void CXGuiWorkerHost::Queue(std::function<void()> fn)
{
    if (QThread::currentThread() == thread()) {
        Call(std::move(fn));
        return;
    }
    auto job = std::make_unique<Job>();
    job->m_fn = std::move(fn);
    job->m_bQueued = true;
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_bRetired)
            return;
        first = m_jobs.empty();
        m_jobs.push_back(job.release());
    }
    // One request to serve is enough for a queue that was not empty.
    if (first)
        QMetaObject::invokeMethod(this, &CXGuiWorkerHost::ServePending, Qt::QueuedConnection);
}

bool CXGuiWorkerHost::Call(std::function<void()> fn)
{
    if (QThread::currentThread() == thread()) {
        if (IsRetired())
            return false;
        ShowTexts();
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
    PostTexts([&](ShownTexts& texts) {
        texts.m_bFolder = true;
        texts.m_strFolder = folder;
        texts.m_bLine[0] = false; // both are the main text: the later one is shown
    });
}

void CXGuiWorkerHost::StatusText(int line, const QString& text)
{
    if (line != 0 && line != 1)
        return;
    PostTexts([&](ShownTexts& texts) {
        texts.m_bLine[std::size_t(line)] = true;
        texts.m_strLine[std::size_t(line)] = text;
        if (line == 0)
            texts.m_bFolder = false;
    });
}

void CXGuiWorkerHost::StatusState(int state)
{
    PostTexts([&](ShownTexts& texts) {
        texts.m_bState = true;
        texts.m_nState = state;
    });
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
    Queue([this, archiveIndex] { m_target.EnsureArchiveVisible(archiveIndex); });
}

void CXGuiWorkerHost::RemoveArchiveRow(int archiveIndex)
{
    Queue([this, archiveIndex] { m_target.RemoveArchiveRow(archiveIndex); });
}

void CXGuiWorkerHost::UncheckArchiveRow(int archiveIndex)
{
    Queue([this, archiveIndex] { m_target.UncheckArchiveRow(archiveIndex); });
}

void CXGuiWorkerHost::RequestStop()
{
    Call([&] { m_target.RequestStop(); });
}

void CXGuiWorkerHost::StepProgress()
{
    Queue([this] { m_target.StepProgress(); });
}

DeleteAnswer CXGuiWorkerHost::ConfirmArchiveDelete(const QString& fileName, bool moreFollow)
{
    // A question the window never answered keeps the archive.
    DeleteAnswer answer = DeleteAnswer::No;
    Call([&] { answer = m_target.ConfirmArchiveDelete(fileName, moreFollow); });
    return answer;
}

PasswordAnswer CXGuiWorkerHost::AskPassword(const QString& archiveName)
{
    PasswordAnswer answer;
    answer.m_kind = PasswordAnswer::SkipAll;
    Call([&] { answer = m_target.AskPassword(archiveName); });
    return answer;
}

void CXGuiWorkerHost::ShowDiskSpaceMessage(const QString& text)
{
    Call([&] { m_target.ShowDiskSpaceMessage(text); });
}
