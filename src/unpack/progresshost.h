#pragma once

#include "common/workerhost.h"
#include "unpack/unpackprogress.h"

#include <mutex>
#include <QElapsedTimer>
#include <QString>

class CXArchiveList;

// Stands between an unpack run's worker and the window's host: every call goes on to the window, and the
// run's progress figures are kept from them on the worker's thread (which wrote the archive figures they
// read). The secondary status text becomes the progress ("Archive 2 of 10 · 12.3 MB of 1.20 GB · 4.50 MB/s ·
// 0:42 left") followed by the entry being written, at most ten times a second.
class CXProgressHost final : public CXWorkerHost
{
public:
    CXProgressHost(CXWorkerHost& target, const CXArchiveList& list);

    // A run starts with these totals (before its worker starts).
    void Start(int archives, qint64 pictures, quint64 pictureBytes);
    // The run is paused or goes on again: the rate and the time left leave the pause out. Any thread.
    void Pause();
    void Resume();

    void ScanProgress(const QString& folder) override { m_target.ScanProgress(folder); }
    void StatusText(int line, const QString& text) override;
    void StatusState(int state) override { m_target.StatusState(state); }
    void ScanFinished() override { m_target.ScanFinished(); }
    void UnpackFinished() override { m_target.UnpackFinished(); }
    void EnsureArchiveVisible(int archiveIndex) override;
    void RemoveArchiveRow(int archiveIndex) override { m_target.RemoveArchiveRow(archiveIndex); }
    void UncheckArchiveRow(int archiveIndex) override { m_target.UncheckArchiveRow(archiveIndex); }
    void RequestStop() override { m_target.RequestStop(); }
    void StepProgress() override;
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        return m_target.ConfirmArchiveDelete(fileName, moreFollow);
    }
    PasswordAnswer AskPassword(const QString& archiveName) override { return m_target.AskPassword(archiveName); }
    void ShowDiskSpaceMessage(const QString& text) override { m_target.ShowDiskSpaceMessage(text); }
    void WindowClosing() override { m_target.WindowClosing(); }
    void EntryProgress(qint64 bytesDone, qint64 bytesTotal) override;

private:
    // Shows the progress with the current entry when due (always when forced). Called with the lock held.
    void Show(bool force);

    CXWorkerHost& m_target;
    const CXArchiveList& m_list;
    std::mutex m_mutex;
    CXUnpackProgress m_progress;
    QElapsedTimer m_clock;
    qint64 m_nShownAt = -1;
    int m_nArchiveIndex = -1;
    QString m_strEntry;
};
