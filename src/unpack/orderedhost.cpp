#include "unpack/orderedhost.h"

void CXOrderedHost::Call(std::function<void()> step)
{
    if (m_pHeld)
        m_pHeld->push_back(std::move(step));
    else
        step();
}

void CXOrderedHost::Release(Calls& held)
{
    Calls calls = std::move(held);
    held.clear();
    for (const std::function<void()>& call : calls)
        call();
}

void CXOrderedHost::ScanProgress(const QString& folder)
{
    Call([this, folder] { m_target.ScanProgress(folder); });
}

void CXOrderedHost::StatusText(int line, const QString& text)
{
    Call([this, line, text] { m_target.StatusText(line, text); });
}

void CXOrderedHost::StatusState(int state)
{
    Call([this, state] { m_target.StatusState(state); });
}

void CXOrderedHost::ScanFinished()
{
    Call([this] { m_target.ScanFinished(); });
}

void CXOrderedHost::UnpackFinished()
{
    Call([this] { m_target.UnpackFinished(); });
}

void CXOrderedHost::EnsureArchiveVisible(int archiveIndex)
{
    Call([this, archiveIndex] { m_target.EnsureArchiveVisible(archiveIndex); });
}

void CXOrderedHost::RemoveArchiveRow(int archiveIndex)
{
    Call([this, archiveIndex] { m_target.RemoveArchiveRow(archiveIndex); });
}

void CXOrderedHost::UncheckArchiveRow(int archiveIndex)
{
    Call([this, archiveIndex] { m_target.UncheckArchiveRow(archiveIndex); });
}

void CXOrderedHost::RequestStop()
{
    Call([this] { m_target.RequestStop(); });
}

void CXOrderedHost::StepProgress()
{
    Call([this] { m_target.StepProgress(); });
}

DeleteAnswer CXOrderedHost::ConfirmArchiveDelete(const QString& fileName, bool moreFollow)
{
    return m_target.ConfirmArchiveDelete(fileName, moreFollow);
}

PasswordAnswer CXOrderedHost::AskPassword(const QString& archiveName)
{
    // A question waits for its answer: it is never held back.
    return m_target.AskPassword(archiveName);
}

void CXOrderedHost::ShowDiskSpaceMessage(const QString& text)
{
    m_target.ShowDiskSpaceMessage(text);
}

void CXOrderedHost::WindowClosing()
{
    m_target.WindowClosing();
}

void CXOrderedHost::EntryProgress(qint64 bytesDone, qint64 bytesTotal)
{
    Call([this, bytesDone, bytesTotal] { m_target.EntryProgress(bytesDone, bytesTotal); });
}
