#include "unpack/unpackrun.h"

#include "common/format.h"
#include "common/saturating.h"
#include "platform/diskspace.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "takeout/exportname.h"
#include "unpack/destination.h"
#include "unpack/extractloop.h"
#include "unpack/keep.h"
#include "unpack/prefetch.h"
#include "unpack/tempfiles.h"
#include "unpack/validation.h"

#include <chrono>
#include <deque>
#include <memory>
#include <QDir>
#include <QFileInfo>
#include <thread>
#include <utility>

bool CheckDiskSpace(quint64 need, const QString& folder, bool showMessage, CXWorkerHost* host)
{
    const zelvano::platform::DiskSpace space = zelvano::platform::QueryDiskSpace(folder);
    const quint64 free = space.m_bValid ? space.m_nFree : 0;
    if (free >= need)
        return true;
    if (showMessage && host) {
        const QString volume = space.m_strRoot.isEmpty() ? folder : space.m_strRoot;
        host->ShowDiskSpaceMessage(DiskSpaceMessage(zelvano::platform::VolumeText(volume), need, free));
    }
    return false;
}

QString DiskSpaceMessage(const QString& volume, quint64 need, quint64 free)
{
    return QStringLiteral("There's not enough disk space available on %1 to continue.\n\n"
                          "Unpacking selected archives requires around %2 of Free Disk Space and there's only "
                          "%3 available.")
        .arg(volume, FormatByteSize(need), FormatByteSize(free));
}

bool NeedsDiskSpaceCheck(const CXSettings& settings)
{
    return settings.m_nAfterExtraction == AfterDoNothing ||
           (settings.m_nAfterExtraction == AfterDeletePermanently && settings.m_nWhenToDelete == DeleteAfterAll);
}

void RecordDeleteFailure(CXArchiveFile& archive, bool recycle, const QStringList& left)
{
    CXArchiveItem item;
    item.m_strName = archive.m_strFileName;
    item.m_strPath = archive.m_strPath;
    item.m_nPackedSize = qint64(archive.m_nFileSize);
    item.m_strReason = recycle ? QStringLiteral("The archive could not be moved to the trash")
                               : QStringLiteral("The archive could not be deleted");
    if (!archive.m_arrVolumes.isEmpty()) {
        QStringList names;
        for (const QString& path : left)
            names << QFileInfo(path).fileName();
        item.m_strReason += QStringLiteral(" (volumes left: %1)").arg(names.join(QStringLiteral(", ")));
    }
    archive.m_arrFailedItems.append(item);
    archive.m_nErrors += 1;
}

QString UnopenedArchiveReason()
{
    return QStringLiteral("The archive could not be opened");
}

void RecordUnopenedArchive(CXArchiveFile& archive)
{
    CXArchiveItem item;
    item.m_strName = archive.m_strFileName;
    item.m_strPath = archive.m_strPath;
    item.m_nPackedSize = qint64(archive.m_nFileSize);
    item.m_strReason = UnopenedArchiveReason();
    archive.m_arrFailedItems.append(item);
    archive.m_nErrors += 1;
}

void RememberFilesUnpacked(CXSelItem& sel, const CXArchiveFile& archive)
{
    sel.m_identity = zelvano::platform::IdentifyFile(archive.m_strPath);
    sel.m_arrVolumeIdentities.clear();
    for (const QString& volume : archive.m_arrVolumes)
        sel.m_arrVolumeIdentities.append(zelvano::platform::IdentifyFile(volume));
}

bool StillTheFilesUnpacked(const CXSelItem& sel, const CXArchiveFile& archive)
{
    if (!sel.m_identity.m_bValid || zelvano::platform::IdentifyFile(archive.m_strPath) != sel.m_identity)
        return false;
    // A later volume replaced after the unpack (another download of the set, say) holds pictures no one
    // has seen: the set stays.
    if (sel.m_arrVolumeIdentities.size() != archive.m_arrVolumes.size())
        return false;
    for (qsizetype i = 0; i < archive.m_arrVolumes.size(); ++i) {
        const zelvano::platform::FileIdentity& was = sel.m_arrVolumeIdentities.at(i);
        if (!was.m_bValid || zelvano::platform::IdentifyFile(archive.m_arrVolumes.at(i)) != was)
            return false;
    }
    return true;
}

QString WhyKept(const CXSelItem& sel, const CXArchiveFile& archive, const CXSettings& settings)
{
    if (!sel.m_bProcessed)
        return zelvano::kept::Stopped();
    const qsizetype failed = archive.m_arrFailedItems.size();
    if (failed == 1 && archive.m_arrFailedItems.front().m_strPath == archive.m_strPath &&
        archive.m_arrFailedItems.front().m_strReason == UnopenedArchiveReason())
        return zelvano::kept::NotOpened();
    if (failed > 0)
        return zelvano::kept::FailedEntries(int(failed));
    if (!sel.m_bExtracted)
        return zelvano::kept::Stopped();
    if (archive.m_nOtherFiles > 0 && !settings.m_bDeleteOtherFiles)
        return zelvano::kept::OtherFiles(archive.m_nOtherFiles, archive.m_arrOtherFiles);
    if (!StillTheFilesUnpacked(sel, archive))
        return zelvano::kept::Changed();
    return QString();
}

bool DeleteUnpackedArchive(const CXSelItem& sel, const QStringList& volumes, bool recycle,
                           const std::function<bool(const QString&, bool)>& deleteArchive, QStringList* left)
{
    if (left)
        *left = volumes;
    // The pictures must survive a power loss right after the archive is gone.
    if (!zelvano::platform::MakeDurable(sel.m_arrOnDisk))
        return false;
    const QStringList stayed = DeleteVolumes(volumes, recycle, deleteArchive);
    if (left)
        *left = stayed;
    return stayed.isEmpty();
}

QStringList DeleteVolumes(const QStringList& volumes, bool recycle,
                          const std::function<bool(const QString&, bool)>& deleteOne)
{
    const auto there = [](const QString& path) { return zelvano::platform::AnythingAt(path); };
    if (volumes.size() == 1)
        return deleteOne(volumes.front(), recycle) ? QStringList() : volumes;
    // All or nothing where it can be told beforehand: a folder that cannot be changed keeps every volume.
    for (const QString& path : volumes) {
        const QFileInfo info(path);
        if (there(path) && !QFileInfo(info.absolutePath()).isWritable())
            return volumes;
    }
    for (qsizetype i = volumes.size() - 1; i >= 0; --i) {
        const QString& path = volumes.at(i);
        if (!there(path))
            continue;
        if (!deleteOne(path, recycle) || there(path))
            break;
    }
    QStringList stayed;
    for (const QString& path : volumes) {
        if (there(path))
            stayed << path;
    }
    return stayed;
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
        totals.m_nDatesRestored += a.m_nDatesRestored;
        totals.m_nNoDate += a.m_nNoDate;
    }
    return totals;
}

void UnpackThreadProc(WorkerParams* params)
{
    params->m_pOwner->RunWorker();
}

CXUnpackRun::CXUnpackRun(CXArchiveList& list, const CXSettings& settings, CXWorkerHost& host, UnpackOperations ops)
    : m_list(list), m_settings(settings), m_options(settings), m_host(&host), m_ops(std::move(ops))
{
    m_ctx.m_pSettings = &m_options;
    m_ctx.m_pHost = &m_held;
    m_ctx.m_pRun = &m_run;
    m_params.m_pRun = &m_run;
    m_params.m_pOwner = this;
    m_params.m_pThread = &m_thread;
}

CXUnpackRun::~CXUnpackRun()
{
    m_host.Close();
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
                need = SaturatingAdd(need, m_list.m_arrArchives.at(sel.m_nArchive).m_nPhotoBytes);
        }
        if (!CheckDiskSpace(need, sourceFolder, true, &m_host))
            return UnpackStart::NotEnoughSpace;
    }

    m_thread.Join(); // a worker that ended by itself (Cancel, too little space) is still to be joined
    m_options = m_settings;
    // The passwords of the scan that made the list (and those typed since) serve its unpack.
    m_ctx.m_pPasswords = m_list.m_pPasswords;
    m_host.Open();
    m_list.ClearFailedItems();
    const QString extensions = ToExtensionList(BuildImagePatternList(m_options));
    m_list.SetImagePatterns(extensions);
    m_ctx.m_strImageExtensions = m_list.m_strImagePatterns;
    m_ctx.m_strSourceFolder = sourceFolder;
    m_ctx.ResetRun();
    // Every listed part of an export, selected or not: a picture's sidecar may lie in any of them.
    for (const CXArchiveFile& archive : std::as_const(m_list.m_arrArchives)) {
        if (IsExportPart(m_options, archive))
            m_ctx.m_exportParts[archive.m_strExportKey].append(archive.m_strPath);
    }
    // A part of sidecars only holds no picture, so the scan skipped it; its sidecars still count.
    for (const QString& path : m_list.m_arrSkipped) {
        const CXTakeoutPartName part = ParseTakeoutPartName(path);
        const auto it = m_ctx.m_exportParts.find(part.m_strKey);
        if (part.m_bValid && !part.m_bTarball && it != m_ctx.m_exportParts.end())
            it->append(path);
    }

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

bool CXUnpackRun::CloseHost()
{
    m_host.Close();
    return Stop();
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
    m_held.RequestStop();
}

namespace {

// Archives extracted whose outcome still waits for their last picture tests, at most: more would only let
// the results and the list fall further behind the extraction.
constexpr size_t kMaxOutstanding = 3;

// What comes of applying an archive's outcome: go on, stop the loop, or end the run (the worker ended it).
enum class Flow
{
    Continue,
    Break,
    Return
};

// An archive of the selection whose outcome is not applied yet.
struct Outstanding
{
    qsizetype m_nIndex = 0; // into the selection
    bool m_bExtracted = false;
    bool m_bOk = false; // the extraction ran to its end
    std::shared_ptr<CXArchiveTally> m_pTally;
    CXOrderedHost::Calls m_held; // what the host is told of it before the archive ahead of it is done
};

} // namespace

void CXUnpackRun::RunWorker()
{
    bool yesToAll = false;
    bool noToAll = false;
    const bool deleting =
        m_options.m_nAfterExtraction == AfterDeletePermanently || m_options.m_nAfterExtraction == AfterDeleteToTrash;
    const bool deleteAfterEach = deleting && m_options.m_nWhenToDelete == DeleteAfterEach;
    const bool recycle = m_options.m_nAfterExtraction == AfterDeleteToTrash;
    const qsizetype count = m_arrSelection.size();

    // When the run ends early, every archive it did not delete says why it stays.
    const auto explainKept = [&] {
        if (!deleting)
            return;
        for (CXSelItem& sel : m_arrSelection) {
            if (sel.m_bDeleted || !sel.m_strKept.isEmpty() || sel.m_nArchive < 0 ||
                sel.m_nArchive >= m_list.m_arrArchives.size())
                continue;
            const QString why = WhyKept(sel, m_list.m_arrArchives.at(sel.m_nArchive), m_options);
            sel.m_strKept = why.isEmpty() ? zelvano::kept::Stopped() : why;
        }
    };

    // The archives whose outcome is still to be applied, in selection order. At level 3 an archive's last
    // picture tests may still run while the next archive is extracted; its outcome is applied as soon as
    // they are done, always before anything of a later archive, and the host hears of the later archive
    // only after that.
    std::deque<Outstanding> outstanding;
    const auto holdForCurrent = [&] {
        const bool behind = outstanding.size() > 1 && !outstanding.back().m_bExtracted;
        m_held.HoldInto(behind ? &outstanding.back().m_held : nullptr);
    };

    // The archive's figures: the tests are all done.
    const auto recordFigures = [&](Outstanding& o) {
        CXSelItem& sel = m_arrSelection[o.m_nIndex];
        CXArchiveFile& archive = m_list.m_arrArchives[sel.m_nArchive];
        bool ok = o.m_bOk;
        if (o.m_pTally) {
            ok = o.m_pTally->Finish() && ok;
            sel.m_arrOnDisk = o.m_pTally->TakeOnDisk();
            o.m_pTally.reset();
        }
        sel.m_bProcessed = true;
        // The extraction tells an archive that did not open by its result alone; remembering that result
        // keeps such an archive from every later deletion.
        sel.m_bExtracted = ok;
        if (!ok && archive.m_arrFailedItems.isEmpty() && m_run.IsRunning())
            RecordUnopenedArchive(archive);
        m_nArchivesProcessed += 1;
    };

    // The outcome of one archive: its figures, then the deletion and the list.
    const auto applyOutcome = [&](Outstanding& o) -> Flow {
        recordFigures(o);
        CXSelItem& sel = m_arrSelection[o.m_nIndex];
        CXArchiveFile& archive = m_list.m_arrArchives[sel.m_nArchive];
        const QString path = archive.m_strPath;
        if (!m_run.Check())
            return Flow::Break; // stopped inside the archive: neither deleted nor unchecked

        bool rowRemoved = false;
        const QString kept = deleteAfterEach ? WhyKept(sel, archive, m_options) : QString();
        if (deleteAfterEach && !kept.isEmpty())
            sel.m_strKept = kept;
        if (deleteAfterEach && kept.isEmpty()) {
            const bool moreFollow = count > 1 && o.m_nIndex != count - 1;
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
                    sel.m_strKept = zelvano::kept::NotConfirmed();
                    explainKept();
                    EndByWorker(UnpackEnd::Cancelled);
                    return Flow::Return;
                }
            }
            // The answer may have taken a while: look at the file once more.
            const QString changed = decision ? WhyKept(sel, archive, m_options) : QString();
            if (decision && !changed.isEmpty()) {
                sel.m_strKept = changed;
            } else if (decision) {
                QStringList left;
                if (DeleteUnpackedArchive(sel, archive.AllVolumes(), recycle, m_ops.deleteArchive, &left)) {
                    m_held.RemoveArchiveRow(sel.m_nArchive);
                    rowRemoved = true;
                    archive.m_bRemoved = 1;
                    sel.m_bDeleted = true;
                } else {
                    RecordDeleteFailure(archive, recycle, left);
                    sel.m_bDeleteFailed = true;
                    sel.m_strKept = zelvano::kept::DeleteFailed(recycle);
                }
            } else {
                sel.m_strKept = zelvano::kept::NotConfirmed();
                if (noToAll) {
                    // Nothing is freed any more; make sure the next archive still fits.
                    if (!CheckDiskSpace(archive.m_nPhotoBytes, m_ctx.m_strSourceFolder, true, &m_held)) {
                        explainKept();
                        EndByWorker(UnpackEnd::OutOfSpace);
                        return Flow::Return;
                    }
                }
            }
        }

        m_held.StepProgress();
        if (!m_run.Check())
            return Flow::Break;
        if (!rowRemoved)
            m_held.UncheckArchiveRow(sel.m_nArchive);
        return Flow::Continue;
    };

    // Applies the outcomes of the extracted archives at the front whose tests are done (all of them,
    // waiting for their tests, when wait is set).
    const auto applyDone = [&](bool wait) -> Flow {
        while (!outstanding.empty() && outstanding.front().m_bExtracted) {
            Outstanding& o = outstanding.front();
            if (o.m_pTally) {
                if (wait)
                    o.m_pTally->Settle();
                else if (!o.m_pTally->Settled())
                    return Flow::Continue;
            }
            m_held.HoldInto(nullptr); // the front archive's own calls have gone out already
            const Flow flow = applyOutcome(o);
            outstanding.pop_front();
            if (!outstanding.empty())
                CXOrderedHost::Release(outstanding.front().m_held);
            holdForCurrent();
            if (flow != Flow::Continue)
                return flow;
        }
        return Flow::Continue;
    };

    // The run ends early: what was extracted keeps its figures, nothing more is deleted or unchecked.
    const auto finishEarly = [&] {
        m_held.HoldInto(nullptr);
        for (Outstanding& o : outstanding) {
            CXOrderedHost::Release(o.m_held);
            if (o.m_bExtracted)
                recordFigures(o);
        }
        outstanding.clear();
    };

    // Below level 3 the second core extracts the next archive's pictures while this one is unpacked (at
    // level 3 the picture tests keep every core busy).
    const bool ahead = m_options.m_nValidationLevel != ValidateLoads && std::thread::hardware_concurrency() >= 2;
    std::unique_ptr<CXPrefetch> next;
    qsizetype nextIndex = -1;
    const auto newSource = [this](int type) -> std::unique_ptr<CXArchiveSource> {
        if (type == kZipArchive)
            return NewZipSource(m_ctx.m_strImageExtensions);
        return type == kSevenZArchive ? NewSevenZSource() : NewRarSource();
    };
    const auto startAhead = [&](qsizetype from) {
        next.reset();
        nextIndex = -1;
        for (qsizetype j = from; ahead && j < count; ++j) {
            const CXSelItem& later = m_arrSelection[j];
            if (later.m_nArchive < 0 || later.m_nArchive >= m_list.m_arrArchives.size())
                continue;
            const QString path = m_list.m_arrArchives.at(later.m_nArchive).m_strPath;
            const int type = DetectArchiveType(path);
            if (type != kZipArchive && type != kRarArchive && type != kSevenZArchive)
                return;
            const QString folder = QFileInfo(path).absolutePath();
            if (!m_ctx.m_cleanedFolders.contains(folder)) {
                m_ctx.m_cleanedFolders.insert(folder);
                RemoveStaleTempFiles(folder);
            }
            next = std::make_unique<CXPrefetch>(newSource(type), path, m_ctx.m_strImageExtensions, folder, m_run);
            nextIndex = j;
            return;
        }
    };

    Flow flow = Flow::Continue;
    for (qsizetype i = 0; i < count && m_run.Check(); ++i) {
        CXSelItem& sel = m_arrSelection[i];
        if (sel.m_nArchive < 0 || sel.m_nArchive >= m_list.m_arrArchives.size())
            continue;
        if ((flow = applyDone(false)) != Flow::Continue)
            break;
        CXArchiveFile& archive = m_list.m_arrArchives[sel.m_nArchive];
        const QString path = archive.m_strPath;
        std::unique_ptr<CXPrefetch> mine = nextIndex == i ? std::move(next) : nullptr;
        startAhead(i + 1);

        outstanding.push_back(Outstanding{i, false, false, nullptr, {}});
        holdForCurrent();
        m_held.Call([this, path] { SetCurrentArchive(path); });
        m_held.StatusState(3);
        m_held.StatusText(0, path);
        m_held.EnsureArchiveVisible(sel.m_nArchive);

        // What is deleted later must be the very file unpacked now.
        RememberFilesUnpacked(sel, archive);
        // What was extracted ahead counts only from this very file.
        m_ctx.m_pPrefetch = mine && mine->Identity() == sel.m_identity ? mine.get() : nullptr;
        m_ctx.m_bHandOver = true;
        m_ctx.m_pHandedOver.reset();
        m_ctx.m_betweenEntries = [&] { return (flow = applyDone(false)) == Flow::Continue; };
        bool ok = false;
        // The reader is chosen by the file's bytes, as the scan chose it.
        switch (DetectArchiveType(path)) {
        case kZipArchive:
            ok = m_ops.extractZip(m_ctx, archive);
            break;
        case kRarArchive:
            ok = m_ops.extractRar(m_ctx, archive);
            break;
        case kSevenZArchive:
            ok = m_ops.extractSevenZ && m_ops.extractSevenZ(m_ctx, archive);
            break;
        default:
            break;
        }
        m_ctx.m_betweenEntries = nullptr;
        m_ctx.m_pPrefetch = nullptr;
        mine.reset();
        if (!StillTheFilesUnpacked(sel, archive))
            sel.m_identity = zelvano::platform::FileIdentity(); // changed while it was read
        Outstanding& current = outstanding.back();
        current.m_bExtracted = true;
        current.m_bOk = ok;
        current.m_pTally = std::exchange(m_ctx.m_pHandedOver, nullptr);
        if (flow != Flow::Continue)
            break;

        // Wait for the tests where the next step may ask the user (the question must come before anything
        // of the next archive), where too many archives are behind, and at the end.
        const bool asks = deleteAfterEach && !yesToAll && m_options.m_bConfirmDelete;
        const bool wait = asks || outstanding.size() > kMaxOutstanding || i == count - 1;
        if ((flow = applyDone(wait)) != Flow::Continue)
            break;
    }
    next.reset(); // what was extracted ahead and not used goes
    if (flow == Flow::Continue && m_run.IsRunning())
        flow = applyDone(true);
    m_ctx.m_bHandOver = false;
    finishEarly();
    if (flow == Flow::Return)
        return;

    m_held.Call([this] { SetCurrentArchive(QString()); });
    if (m_run.IsRunning()) {
        if (deleteAfterEach)
            explainKept();
        m_nEnd = UnpackEnd::Finished;
        m_held.UnpackFinished();
    } else {
        explainKept();
        m_nEnd = UnpackEnd::Stopped;
    }
}
