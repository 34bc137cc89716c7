#include "unpack/unpackrun.h"

#include "archive/zip.h"
#include "common/format.h"
#include "platform/diskspace.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"

#include <chrono>
#include <QDir>
#include <QFileInfo>

bool CheckDiskSpace(quint64 need, const QString& folder, bool showMessage, CXWorkerHost* host)
{
    const zelvano::platform::DiskSpace space = zelvano::platform::QueryDiskSpace(folder);
    const quint64 free = space.m_bValid ? space.m_nFree : 0;
    if (free >= need)
        return true;
    if (showMessage && host) {
        const QString volume = space.m_strRoot.isEmpty() ? folder : space.m_strRoot;
        host->ShowDiskSpaceMessage(DiskSpaceMessage(QDir::toNativeSeparators(volume), need, free));
    }
    return false;
}

QString DiskSpaceMessage(const QString& volume, quint64 need, quint64 free)
{
    return QStringLiteral("There's not enough disk space available on Drive (%1) to continue.\n\n"
                          "Unpacking selected archives requires around %2 of Free Disk Space and there's only "
                          "%3 available.")
        .arg(volume, FormatByteSize(need), FormatByteSize(free));
}

bool NeedsDiskSpaceCheck(const CXSettings& settings)
{
    return settings.m_nAfterExtraction == 0 || (settings.m_nAfterExtraction == 1 && settings.m_nWhenToDelete == 1);
}

void RecordDeleteFailure(CXArchiveFile& archive, bool recycle)
{
    CXArchiveItem item;
    item.m_strName = archive.m_strFileName;
    item.m_strPath = archive.m_strPath;
    item.m_nPackedSize = qint64(archive.m_nFileSize);
    item.m_strReason = recycle ? QStringLiteral("The archive could not be moved to the trash")
                               : QStringLiteral("The archive could not be deleted");
    archive.m_arrFailedItems.append(item);
    archive.m_nErrors += 1;
}

void RecordUnopenedArchive(CXArchiveFile& archive)
{
    CXArchiveItem item;
    item.m_strName = archive.m_strFileName;
    item.m_strPath = archive.m_strPath;
    item.m_nPackedSize = qint64(archive.m_nFileSize);
    item.m_strReason = QStringLiteral("The archive could not be opened");
    archive.m_arrFailedItems.append(item);
    archive.m_nErrors += 1;
}

UnpackTotals SumUnpackFigures(const CXArchiveList& list, const QList<CXSelItem>& selection)
{
    UnpackTotals totals;
    for (const CXSelItem& sel : selection) {
        if (sel.m_nArchive < 0 || sel.m_nArchive >= list.m_arrArchives.size())
            continue;
        const CXArchiveFile& a = list.m_arrArchives.at(sel.m_nArchive);
        totals.m_nSkipped += a.m_nSkipped;
        totals.m_nExtracted += a.m_nExtracted;
        totals.m_nErrors += a.m_nErrors;
        totals.m_nBytesOnDisk += a.m_nBytesOnDisk;
    }
    return totals;
}

void UnpackThreadProc(WorkerParams* params)
{
    params->m_pOwner->RunWorker();
}

CXUnpackRun::CXUnpackRun(CXArchiveList& list, const CXSettings& settings, CXWorkerHost& host, UnpackOperations ops)
    : m_list(list), m_settings(settings), m_host(host), m_ops(std::move(ops))
{
    m_ctx.m_pSettings = &m_settings;
    m_ctx.m_pHost = &m_host;
    m_ctx.m_pRun = &m_run;
    m_params.m_pRun = &m_run;
    m_params.m_pOwner = this;
    m_params.m_pThread = &m_thread;
}

CXUnpackRun::~CXUnpackRun()
{
    m_run.Stop();
    m_thread.Join();
}

UnpackStart CXUnpackRun::Start(const QList<CXSelItem>& selection, const QString& sourceFolder)
{
    if (m_thread.IsActive())
        return UnpackStart::AlreadyRunning;

    if (NeedsDiskSpaceCheck(m_settings)) {
        quint64 need = 0;
        for (const CXSelItem& sel : selection) {
            if (sel.m_nArchive >= 0 && sel.m_nArchive < m_list.m_arrArchives.size())
                need += m_list.m_arrArchives.at(sel.m_nArchive).m_nPhotoBytes;
        }
        if (!CheckDiskSpace(need, sourceFolder, true, &m_host))
            return UnpackStart::NotEnoughSpace;
    }

    m_thread.Join(); // a worker that ended by itself (Cancel, too little space) is still to be joined
    m_list.ClearFailedItems();
    const QString extensions = ToExtensionList(BuildImagePatternList(m_settings));
    m_list.SetImagePatterns(extensions);
    // The ZIP reader's own copy: it treats a directory-flagged entry with a picture name as a file.
    ZipSetPictureExtensions(m_list.m_strImagePatterns);
    m_ctx.m_strImageExtensions = m_list.m_strImagePatterns;
    m_ctx.m_strSourceFolder = sourceFolder;

    m_arrSelection.clear();
    for (const CXSelItem& sel : selection) {
        CXSelItem item;
        item.m_nArchive = sel.m_nArchive;
        item.m_nRow = sel.m_nRow;
        m_arrSelection.append(item);
    }
    m_nArchivesProcessed = 0;
    m_bStopWithoutAsking = false;
    m_nEnd = UnpackEnd::None;
    SetCurrentArchive(QString());

    m_run.Start();
    m_thread.Start([this] { UnpackThreadProc(&m_params); });
    return UnpackStart::Started;
}

bool CXUnpackRun::Stop()
{
    m_run.Stop();
    return m_thread.WaitFor(std::chrono::milliseconds(100 + 500));
}

QString CXUnpackRun::CurrentArchive() const
{
    std::lock_guard lock(m_currentMutex);
    return m_strCurrentArchive;
}

void CXUnpackRun::SetCurrentArchive(const QString& path)
{
    std::lock_guard lock(m_currentMutex);
    m_strCurrentArchive = path;
}

void CXUnpackRun::EndByWorker(UnpackEnd end)
{
    // The window stops the run without asking: the worker decided it.
    SetCurrentArchive(QString());
    m_nEnd = end;
    m_bStopWithoutAsking = true;
    m_host.RequestStop();
}

void CXUnpackRun::RunWorker()
{
    bool yesToAll = false;
    bool noToAll = false;
    const bool deleteAfterEach = m_settings.m_nAfterExtraction != 0 && m_settings.m_nWhenToDelete == 0;
    const bool recycle = m_settings.m_nAfterExtraction == 2;
    const qsizetype count = m_arrSelection.size();

    for (qsizetype i = 0; i < count && m_run.Check(); ++i) {
        CXSelItem& sel = m_arrSelection[i];
        if (sel.m_nArchive < 0 || sel.m_nArchive >= m_list.m_arrArchives.size())
            continue;
        CXArchiveFile& archive = m_list.m_arrArchives[sel.m_nArchive];
        const QString path = archive.m_strPath;

        SetCurrentArchive(path);
        m_host.StatusState(3);
        m_host.StatusText(0, path);
        m_host.EnsureArchiveVisible(sel.m_nArchive);

        bool ok = false;
        switch (GetArchiveType(path)) {
        case 0:
            ok = m_ops.extractZip(m_ctx, archive);
            break;
        case 1:
            ok = m_ops.extractRar(m_ctx, archive);
            break;
        default:
            break;
        }
        sel.m_bProcessed = true;
        // The extraction tells an archive that did not open by its result alone; remembering that result
        // keeps such an archive from every later deletion.
        sel.m_bExtracted = ok;
        if (!ok && archive.m_arrFailedItems.isEmpty() && m_run.IsRunning())
            RecordUnopenedArchive(archive);
        m_nArchivesProcessed += 1;

        if (!m_run.Check())
            break; // stopped inside the archive: neither deleted nor unchecked

        bool rowRemoved = false;
        if (ok && deleteAfterEach) {
            const bool moreFollow = count > 1 && i != count - 1;
            bool decision = yesToAll;
            if (!yesToAll && !noToAll) {
                switch (m_ops.confirmDelete(m_ctx, archive.m_strFileName, moreFollow)) {
                case DeleteAnswer::Yes:
                    decision = true;
                    break;
                case DeleteAnswer::YesToAll:
                    yesToAll = true;
                    decision = true;
                    break;
                case DeleteAnswer::No:
                    decision = false;
                    break;
                case DeleteAnswer::NoToAll:
                    noToAll = true;
                    decision = false;
                    break;
                case DeleteAnswer::Cancel:
                    EndByWorker(UnpackEnd::Cancelled);
                    return;
                }
            }
            if (decision) {
                if (m_ops.deleteArchive(path, recycle)) {
                    m_host.RemoveArchiveRow(sel.m_nArchive);
                    rowRemoved = true;
                    archive.m_bRemoved = 1;
                    sel.m_bDeleted = true;
                } else {
                    RecordDeleteFailure(archive, recycle);
                    sel.m_bDeleteFailed = true;
                }
            } else if (noToAll) {
                // Nothing is freed any more; make sure the next archive still fits.
                if (!CheckDiskSpace(archive.m_nPhotoBytes, m_ctx.m_strSourceFolder, true, &m_host)) {
                    EndByWorker(UnpackEnd::OutOfSpace);
                    return;
                }
            }
        }

        m_host.StepProgress();
        if (!m_run.Check())
            break;
        if (!rowRemoved)
            m_host.UncheckArchiveRow(sel.m_nArchive);
    }

    SetCurrentArchive(QString());
    if (m_run.IsRunning()) {
        m_nEnd = UnpackEnd::Finished;
        m_host.UnpackFinished();
    } else {
        m_nEnd = UnpackEnd::Stopped;
    }
}
