#include "common/hostgate.h"

void CXHostGate::Close()
{
    m_bClosed = true;
    if (m_pHost)
        m_pHost->WindowClosing();
}

void CXHostGate::ScanProgress(const QString& folder)
{
    if (CXWorkerHost* host = Live())
        host->ScanProgress(folder);
}

void CXHostGate::StatusText(int line, const QString& text)
{
    if (CXWorkerHost* host = Live())
        host->StatusText(line, text);
}

void CXHostGate::StatusState(int state)
{
    if (CXWorkerHost* host = Live())
        host->StatusState(state);
}

void CXHostGate::ScanFinished()
{
    if (CXWorkerHost* host = Live())
        host->ScanFinished();
}

void CXHostGate::UnpackFinished()
{
    if (CXWorkerHost* host = Live())
        host->UnpackFinished();
}

void CXHostGate::EnsureArchiveVisible(int archiveIndex)
{
    if (CXWorkerHost* host = Live())
        host->EnsureArchiveVisible(archiveIndex);
}

void CXHostGate::RemoveArchiveRow(int archiveIndex)
{
    if (CXWorkerHost* host = Live())
        host->RemoveArchiveRow(archiveIndex);
}

void CXHostGate::UncheckArchiveRow(int archiveIndex)
{
    if (CXWorkerHost* host = Live())
        host->UncheckArchiveRow(archiveIndex);
}

void CXHostGate::RequestStop()
{
    if (CXWorkerHost* host = Live())
        host->RequestStop();
}

void CXHostGate::StepProgress()
{
    if (CXWorkerHost* host = Live())
        host->StepProgress();
}

DeleteAnswer CXHostGate::ConfirmArchiveDelete(const QString& fileName, bool moreFollow)
{
    CXWorkerHost* host = Live();
    if (!host)
        return DeleteAnswer::No;
    const DeleteAnswer answer = host->ConfirmArchiveDelete(fileName, moreFollow);
    // The window closed while it asked: nothing is deleted on an answer no one may have given.
    return m_bClosed.load() ? DeleteAnswer::No : answer;
}

PasswordAnswer CXHostGate::AskPassword(const QString& archiveName)
{
    PasswordAnswer skipAll;
    skipAll.m_kind = PasswordAnswer::SkipAll;
    CXWorkerHost* host = Live();
    if (!host)
        return skipAll;
    PasswordAnswer answer = host->AskPassword(archiveName);
    // The window closed while it asked: the answer may be no one's.
    return m_bClosed.load() ? skipAll : answer;
}

void CXHostGate::ShowDiskSpaceMessage(const QString& text)
{
    if (CXWorkerHost* host = Live())
        host->ShowDiskSpaceMessage(text);
}

void CXHostGate::EntryProgress(qint64 bytesDone, qint64 bytesTotal)
{
    if (CXWorkerHost* host = Live())
        host->EntryProgress(bytesDone, bytesTotal);
}
