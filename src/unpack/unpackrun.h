#pragma once

#include "common/hostgate.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "common/workerthread.h"
#include "platform/files.h"
#include "settings/settings.h"
#include "unpack/orderedhost.h"
#include "unpack/unpackcontext.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CXArchiveFile;
class CXArchiveList;
class CXUnpackRun;

// One archive of an unpack run's selection, and what the run did with it.
struct CXSelItem
{
    qint32 m_nArchive = 0; // index into CXArchiveList::m_arrArchives
    qint32 m_nRow = 0;     // its list row when the run started (rows move later; the worker does not use it)

    // Written by the worker.
    bool m_bProcessed = false;    // handed to extraction in this run
    bool m_bExtracted = false;    // its extraction in this run opened the archive and failed no entry
    bool m_bDeleted = false;      // deleted (or moved to the trash) by this run
    bool m_bDeleteFailed = false; // a deletion was decided but the archive is still there
    // Why the archive was not deleted although deletion was chosen (empty when it was deleted, or when
    // nothing is deleted in this run).
    QString m_strKept;
    // The archive file as it was when this run unpacked it; invalid when it changed during the extraction.
    zelvano::platform::FileIdentity m_identity;
    // The same for each later volume of a RAR set, in the order of CXArchiveFile::m_arrVolumes.
    QList<zelvano::platform::FileIdentity> m_arrVolumeIdentities;
    // The files that stand for its pictures (written or verified duplicates), made durable before deletion.
    QStringList m_arrOnDisk;
};

// Records the identity of the archive file and of each later volume of its set, just before unpacking.
void RememberFilesUnpacked(CXSelItem& sel, const CXArchiveFile& archive);
// True when the archive file and every later volume are still the files RememberFilesUnpacked saw.
[[nodiscard]] bool StillTheFilesUnpacked(const CXSelItem& sel, const CXArchiveFile& archive);

// Why an archive of the run may not be deleted (a text of zelvano::kept), or empty when every entry is
// accounted for: it was unpacked in full, holds no other files (or the settings let such archives go) and
// is still the very file that was unpacked.
[[nodiscard]] QString WhyKept(const CXSelItem& sel, const CXArchiveFile& archive, const CXSettings& settings);
// Makes the archive's pictures durable, then deletes every file of it (DeleteVolumes); false when any
// is still there (also when the pictures could not be flushed: then nothing is touched). left, when
// given, receives the files that stayed.
[[nodiscard]] bool DeleteUnpackedArchive(const CXSelItem& sel, const QStringList& volumes, bool recycle,
                                         const std::function<bool(const QString&, bool)>& deleteArchive,
                                         QStringList* left = nullptr);
// Deletes the files of one archive, a volume set whole: first volume first in volumes. A set is deleted
// only when every folder it lies in can be changed, the later volumes from the last one back and the
// first volume last, stopping at the first file that stays: what is left still opens as the set it was,
// by its first volume, as far as it goes. Returns the files still there, in the order of volumes.
QStringList DeleteVolumes(const QStringList& volumes, bool recycle,
                          const std::function<bool(const QString&, bool)>& deleteOne);

// The block handed to the unpack worker.
struct WorkerParams
{
    CXRunControl* m_pRun = nullptr; // the run flag and pause gate
    CXUnpackRun* m_pOwner = nullptr;
    CXWorkerThread* m_pThread = nullptr;
    QString m_szFolder; // empty for the unpack worker
};

// The calls the run makes per archive. Tests replace them to play every answer and failure.
struct UnpackOperations
{
    std::function<bool(CXUnpackContext&, CXArchiveFile&)> extractZip;
    std::function<bool(CXUnpackContext&, CXArchiveFile&)> extractRar;
    std::function<bool(CXUnpackContext&, CXArchiveFile&)> extractSevenZ;
    std::function<DeleteAnswer(CXUnpackContext&, const QString&, bool)> confirmDelete;
    std::function<bool(const QString&, bool)> deleteArchive;
    std::function<bool(const QStringList&, bool)> deleteArchives;
};

// The extraction and deletion of the unpack engine.
UnpackOperations DefaultUnpackOperations();

// True when the volume holding folder has at least need free bytes. Otherwise, when showMessage is set,
// the not-enough-space message goes to the host, and the result is false. A volume that cannot be
// queried has no free bytes.
[[nodiscard]] bool CheckDiskSpace(quint64 need, const QString& folder, bool showMessage, CXWorkerHost* host);
// The message CheckDiskSpace shows; volume as the platform names it ("Drive (C:\)", "Volume (/home)").
QString DiskSpaceMessage(const QString& volume, quint64 need, quint64 free);

// Whether the start of a run checks the free space: only when nothing is deleted, or the archives are
// deleted permanently at the end (with the trash, or a deletion after each archive, the space comes back).
bool NeedsDiskSpaceCheck(const CXSettings& settings);

// An archive that was to be deleted but is still there: one failed record naming the archive itself and
// one more error, so the results and the report show it and the archive stays listed.
// left: the files of a volume set that stayed, named in the reason.
void RecordDeleteFailure(CXArchiveFile& archive, bool recycle, const QStringList& left = {});
// An archive whose extraction failed without a failed entry (it did not open, or is of no known type): one
// failed record naming the archive, so the results do not show it as a clean run.
void RecordUnopenedArchive(CXArchiveFile& archive);
QString UnopenedArchiveReason();

// How the last run ended.
enum class UnpackEnd
{
    None,       // no run yet, or still running
    Finished,   // every selected archive was processed; UnpackFinished was sent
    Stopped,    // the run flag was cleared from outside
    Cancelled,  // Cancel was answered to a delete question
    OutOfSpace, // too little free space after No to All
};

enum class UnpackStart
{
    Started,
    AlreadyRunning,
    NotEnoughSpace
};

// The unpack run: owns the worker thread and the run control. The selection and the found-archive model
// must not change while it runs (the window locks them), so the worker reads them without locks. The
// options are copied when the run starts: the worker never reads the settings record, which the window
// may change. The worker reaches the host only through a gate that the window can close.
class CXUnpackRun
{
public:
    CXUnpackRun(CXArchiveList& list, const CXSettings& settings, CXWorkerHost& host,
                UnpackOperations ops = DefaultUnpackOperations());
    // Closes the gate to the host, stops the worker and waits for it (released by the gate, it ends at
    // its next look at the run flag or data chunk).
    ~CXUnpackRun();
    CXUnpackRun(const CXUnpackRun&) = delete;
    CXUnpackRun& operator=(const CXUnpackRun&) = delete;

    // Checks the free space when the options call for it (the message goes to the host), empties every
    // archive's failed items, builds the run's picture-extension list and starts the worker on the
    // selection. sourceFolder is the scanned folder, whose volume receives the pictures.
    UnpackStart Start(const QList<CXSelItem>& selection, const QString& sourceFolder);
    // Clears the run flag (a paused worker wakes up) and waits a bounded time for the worker to end.
    // True when it ended; otherwise it ends by itself at its next look at the flag.
    bool Stop();
    // The window is closing: every later host call of the worker returns at once with the safe answer,
    // and calls waiting for the window are released. Then stops the worker like Stop.
    bool CloseHost();
    void Pause() { m_run.Pause(); }
    void Resume() { m_run.Resume(); }
    bool IsPaused() const { return m_run.IsPaused(); }
    bool IsActive() const { return m_thread.IsActive(); }
    // Waits at most timeout for the worker to end; true when it has ended (or never started).
    bool WaitFor(std::chrono::milliseconds timeout) { return m_thread.WaitFor(timeout); }
    // Waits until the worker has ended.
    void Wait() { m_thread.Join(); }

    // The worker's loop (UnpackThreadProc calls it on the worker thread).
    void RunWorker();

    int ArchivesProcessed() const { return m_nArchivesProcessed.load(); }
    QString CurrentArchive() const;
    bool StopWithoutAsking() const { return m_bStopWithoutAsking.load(); }
    void ClearStopWithoutAsking() { m_bStopWithoutAsking = false; }
    UnpackEnd End() const { return m_nEnd.load(); }
    // Read them once the worker has ended or while it waits in UnpackFinished.
    const QList<CXSelItem>& Selection() const { return m_arrSelection; }
    QList<CXSelItem>& Selection() { return m_arrSelection; }
    const CXUnpackContext& Context() const { return m_ctx; }
    CXUnpackContext& Context() { return m_ctx; }
    // The options of the current (or last) run.
    const CXSettings& Options() const { return m_options; }
    CXRunControl& RunControl() { return m_run; }

private:
    void SetCurrentArchive(const QString& path);
    void EndByWorker(UnpackEnd end);

    CXArchiveList& m_list;
    const CXSettings& m_settings; // the window's record: read only by Start
    CXSettings m_options;         // what the worker reads: the record as it was at Start
    CXHostGate m_host;
    CXOrderedHost m_held{m_host}; // what the worker calls: the gate, in selection order
    UnpackOperations m_ops;

    CXRunControl m_run;
    CXUnpackContext m_ctx;
    WorkerParams m_params;
    QList<CXSelItem> m_arrSelection;
    std::atomic<int> m_nArchivesProcessed{0};
    std::atomic<bool> m_bStopWithoutAsking{false};
    std::atomic<UnpackEnd> m_nEnd{UnpackEnd::None};
    mutable std::mutex m_currentMutex;
    QString m_strCurrentArchive;
    CXWorkerThread m_thread; // last: joined before the members it uses go away
};

// The unpack worker's procedure: runs the owner's loop on the calling thread.
void UnpackThreadProc(WorkerParams* params);

// Sums of the per-archive unpack figures over a selection.
struct UnpackTotals
{
    qint32 m_nSkipped = 0;
    qint32 m_nExtracted = 0;
    qint32 m_nErrors = 0;
    quint64 m_nBytesOnDisk = 0;
    qint32 m_nDatesRestored = 0;
    qint32 m_nNoDate = 0;
};
UnpackTotals SumUnpackFigures(const CXArchiveList& list, const QList<CXSelItem>& selection);
