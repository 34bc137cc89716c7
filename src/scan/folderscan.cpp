#include "scan/archivelist.h"

#include "archive/pathrules.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "platform/files.h"
#include "platform/pathcompare.h"
#include "platform/scanscope.h"
#include "scan/examine.h"
#include "settings/settings.h"
#include "takeout/exportname.h"

#include <algorithm>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <QSet>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The text of the folder that holds the entries of folder: one trailing separator removed.
QString HoldingFolderText(const QString& folder)
{
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        return folder.left(folder.size() - 1);
    return folder;
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

const QString kOutsideReason = QStringLiteral("The link leads outside the chosen folder");

// Records examinations into the model. Outside a walk, each archive takes its place in path order at
// once. During a walk, archives are appended and sorted once when the walk ends (a sorted insert per
// archive costs time in the square of their number), and the "recorded before" tests use hash sets; the
// result is the same list.
class CXRecorder
{
public:
    CXRecorder(CXArchiveList& model, bool walk)
        : m_model(model), m_bWalk(walk), m_nSorted(model.m_arrArchives.size()),
          m_nSkippedSorted(model.m_arrSkipped.size())
    {
        if (!walk)
            return;
        for (const CXArchiveFile& archive : std::as_const(model.m_arrArchives))
            m_setListed.insert(PathKey(archive.m_strPath));
        for (const QString& path : model.m_arrSkipped)
            m_setSkipped.insert(path.toCaseFolded());
        for (const CXFileItem& item : std::as_const(model.m_arrInvalid))
            m_setInvalid.insert(item.m_strPath);
    }

    // An export's part in .tgz form is named in the list of invalid files, so it is not silently missed.
    void RecordTakeoutTarball(const QString& name, const QString& path)
    {
        const bool detect = !m_model.m_pSettings || m_model.m_pSettings->m_bExportDetection;
        if (detect && ParseTakeoutPartName(name).m_bTarball && !KnownInvalid(path))
            m_model.m_arrInvalid.append(CXFileItem{name, path, 0, TakeoutTarballReason()});
    }

    void Record(const CXExamination& found)
    {
        const QString& path = found.m_strPath;
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (!found.m_bOpened) {
            // A later volume belongs to the set its first volume opens; alone, the set is incomplete.
            if (found.m_bLaterVolume && QFileInfo::exists(FirstVolumeName(path)))
                return;
            if (!KnownInvalid(path))
                m_model.m_arrInvalid.append(CXFileItem{name, path, found.m_nError, found.m_strReason});
            return;
        }
        if (m_model.m_pHost)
            m_model.m_pHost->StatusText(1, name);
        if (found.m_nPhotos < 1) {
            if (!m_bWalk) {
                if (!m_model.m_arrSkipped.Contains(path))
                    m_model.m_arrSkipped.InsertSorted(path);
            } else if (!m_setSkipped.contains(path.toCaseFolded())) {
                // Appended, and put in order once the walk ends, like the archives.
                m_setSkipped.insert(path.toCaseFolded());
                m_model.m_arrSkipped.Append(path);
            }
            return;
        }
        CXArchiveFile archive;
        archive.InitFromExamination(found);
        // Every part of a photo export goes into the export's one folder, whatever its own layout advises.
        if (!archive.m_strExportKey.isEmpty() && (!m_model.m_pSettings || m_model.m_pSettings->m_bExportDetection))
            archive.m_nSmartMode = 2;
        if (!Add(archive))
            return; // listed already
        if (archive.m_nArchiveType == kZipArchive)
            ++m_model.m_nZipCount;
        else if (archive.m_nArchiveType == kSevenZArchive)
            ++m_model.m_nSevenZCount;
        else
            ++m_model.m_nRarCount;
    }

    // Puts the archives appended by the walk in their places among those listed before it. In place: a
    // second list of every record would raise the scan's peak memory.
    void Finish()
    {
        if (m_bWalk) {
            m_model.m_arrSkipped.SortFrom(m_nSkippedSorted);
            m_nSkippedSorted = m_model.m_arrSkipped.size();
        }
        QList<CXArchiveFile>& archives = m_model.m_arrArchives;
        if (!m_bWalk || archives.size() == m_nSorted)
            return;
        // No two records share a path, so the order is total and needs no stable sort.
        const auto less = [](const CXArchiveFile& a, const CXArchiveFile& b) {
            return ArchivePathLess(a.m_strPath, b.m_strPath);
        };
        std::sort(archives.begin() + m_nSorted, archives.end(), less);
        if (m_nSorted > 0)
            std::inplace_merge(archives.begin(), archives.begin() + m_nSorted, archives.end(), less);
        m_nSorted = archives.size();
    }

private:
    // Paths the file system takes for one are one key.
    static QString PathKey(const QString& path)
    {
        return zelvano::platform::FileNameCaseSensitivity() == Qt::CaseSensitive ? path : path.toCaseFolded();
    }

    bool KnownInvalid(const QString& path)
    {
        if (m_bWalk) {
            if (m_setInvalid.contains(path))
                return true;
            m_setInvalid.insert(path);
            return false;
        }
        const QList<CXFileItem>& invalid = m_model.m_arrInvalid;
        return std::any_of(invalid.cbegin(), invalid.cend(),
                           [&](const CXFileItem& item) { return item.m_strPath == path; });
    }

    // False when the path is listed already.
    bool Add(const CXArchiveFile& archive)
    {
        if (!m_bWalk) {
            const qsizetype before = m_model.m_arrArchives.size();
            m_model.AddArchive(archive);
            return m_model.m_arrArchives.size() != before;
        }
        const QString key = PathKey(archive.m_strPath);
        if (m_setListed.contains(key))
            return false;
        m_setListed.insert(key);
        m_model.m_arrArchives.append(archive);
        return true;
    }

    CXArchiveList& m_model;
    const bool m_bWalk;
    qsizetype m_nSorted;        // m_arrArchives[0, m_nSorted) is in path order
    qsizetype m_nSkippedSorted; // the same for m_arrSkipped
    QSet<QString> m_setSkipped; // case-folded, as the list compares them
    QSet<QString> m_setListed;
    QSet<QString> m_setInvalid;
};

// Examines the archives a walk hands in on a thread of its own, oldest first, so the walk looks for the
// next archive meanwhile. At most kAhead archives are handed in and not taken back; a walk that is that
// far ahead examines the newest waiting one itself instead of idling. Results are taken back in the order
// the archives were handed in. Without a second core (or when told so) each archive is examined at once
// on the walk's thread.
//
// A pause holds the walk at its next check; the examiner then finishes the few archives it was handed and
// waits. After a stop it examines nothing more.
class CXExaminer
{
public:
    static constexpr size_t kAhead = 8;

    CXExaminer(const CXSettings& settings, const QString& patterns, CXRunControl& run, bool ahead,
               CXPasswordStore* passwords, CXWorkerHost* host)
        : m_settings(settings), m_strPatterns(patterns), m_run(run), m_pPasswords(passwords), m_pHost(host)
    {
        if (ahead && std::thread::hardware_concurrency() > 1)
            m_thread = std::thread([this] { Work(); });
    }

    ~CXExaminer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bQuit = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    CXExaminer(const CXExaminer&) = delete;
    CXExaminer& operator=(const CXExaminer&) = delete;

    // kAhead archives handed in and not taken back.
    bool Full()
    {
        std::lock_guard lock(m_mutex);
        return m_jobs.size() >= kAhead;
    }

    void Submit(const QString& path)
    {
        if (!m_thread.joinable()) {
            m_jobs.push_back(Job{path, Examine(path), Job::Done});
            return;
        }
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(Job{path, std::nullopt, Job::Waiting});
            wake = m_bExaminerIdle;
        }
        if (wake)
            m_wake.notify_one();
    }

    // Examines the newest archive nobody has started on the calling thread; false when there is none.
    bool HelpOne()
    {
        std::unique_lock lock(m_mutex);
        const auto job =
            std::find_if(m_jobs.rbegin(), m_jobs.rend(), [](const Job& j) { return j.state == Job::Waiting; });
        if (job == m_jobs.rend())
            return false;
        Run(*job, lock);
        return true;
    }

    bool FrontReady()
    {
        std::lock_guard lock(m_mutex);
        return !m_jobs.empty() && m_jobs.front().state == Job::Done;
    }

    // The oldest archive's examination, waited for; empty when the run stopped before it was examined.
    std::optional<CXExamination> TakeFront()
    {
        std::unique_lock lock(m_mutex);
        if (m_jobs.front().state != Job::Done) {
            m_bWalkWaiting = true;
            m_ready.wait(lock, [this] { return m_jobs.front().state == Job::Done; });
            m_bWalkWaiting = false;
        }
        std::optional<CXExamination> found = std::move(m_jobs.front().found);
        m_jobs.pop_front();
        return found;
    }

private:
    struct Job
    {
        enum State
        {
            Waiting,
            Running,
            Done,
        };
        QString path;
        std::optional<CXExamination> found;
        State state;
    };

    std::optional<CXExamination> Examine(const QString& path)
    {
        if (!m_run.IsRunning())
            return std::nullopt;
        // The walk saw a regular file at path just now: the ZIP reader need not look it up again.
        return ExamineArchiveFile(m_settings, path, m_strPatterns, true, m_pPasswords, m_pHost);
    }

    // Examines one waiting job with the lock released meanwhile. (A deque keeps its elements in place
    // when others are added at the back or taken from the front, and a running job is not taken.)
    void Run(Job& job, std::unique_lock<std::mutex>& lock)
    {
        job.state = Job::Running;
        const QString path = job.path;
        lock.unlock();
        std::optional<CXExamination> found = Examine(path);
        lock.lock();
        job.found = std::move(found);
        job.state = Job::Done;
        if (m_bWalkWaiting)
            m_ready.notify_all();
    }

    void Work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const auto job =
                std::find_if(m_jobs.begin(), m_jobs.end(), [](const Job& j) { return j.state == Job::Waiting; });
            if (m_bQuit)
                return;
            if (job != m_jobs.end()) {
                Run(*job, lock);
                continue;
            }
            m_bExaminerIdle = true;
            m_wake.wait(lock);
            m_bExaminerIdle = false;
        }
    }

    const CXSettings& m_settings;
    const QString m_strPatterns;
    CXRunControl& m_run;
    CXPasswordStore* m_pPasswords;
    CXWorkerHost* m_pHost;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // the examiner's: work or quit
    std::condition_variable m_ready; // the walk's: an examination is done
    std::deque<Job> m_jobs;          // in the order handed in
    bool m_bExaminerIdle = false;    // the examiner waits for m_wake
    bool m_bWalkWaiting = false;     // the walk waits for m_ready
    bool m_bQuit = false;
    std::thread m_thread;
};

// One walk of a folder tree, depth first, in the order the file system lists the entries.
//
// Trash folders are never entered, nor is a chosen folder that lies in one: archives an earlier run moved
// to the trash would be found and unpacked there again. Each is kept as not taken.
//
// A link (to a folder, or to an archive) whose target lies outside the chosen folder is not followed and
// is kept as not taken: an unpack would write and delete out there, where the user never pointed.
// Links within it are followed, but no real folder is searched twice: the walk keeps the real paths of
// the trees it has entered (the source folder and the target of every link it followed). A link whose
// target lies in one of them is not followed (the target is or was searched there, or the link closes a
// cycle), and a folder met on the way that is one of them is not searched again. Only these roots are
// kept, so memory does not grow with the size of the tree.
class CXFolderWalker
{
public:
    CXFolderWalker(CXArchiveList& model, CXRunControl& run, const CXSettings& settings)
        : m_model(model), m_run(run), m_pHost(model.m_pHost), m_recorder(model, true),
          m_examiner(settings, model.m_strImagePatterns, run, model.m_bExamineAhead, model.m_pPasswords, model.m_pHost)
    {}

    // The archives found are sorted when it returns, after a stop too.
    bool Walk(const QString& folder)
    {
        const bool completed = WalkFrom(folder);
        Apply(Wait::All);
        m_recorder.Finish();
        return completed && !m_bHalted && m_run.Check();
    }

private:
    // What the walk met, kept in walk order while an archive met before it is being examined: applied
    // once that examination is done, so the model and the host see everything in walk order.
    struct Event
    {
        enum Kind
        {
            Check,    // the walk checked the run flag here: after a stop, nothing that follows is applied
            Progress, // text: the folder for the host's progress
            NotTaken, // text, reason, missed
            Examined, // the oldest examination handed in
        };
        Kind kind;
        QString text;
        QString reason;
        bool missed = false;
    };
    // Bounds the memory of a walk that runs far ahead of a slow examination.
    static constexpr size_t kMaxEvents = 4096;

    enum class Wait
    {
        None, // apply what is ready
        One,  // wait for the first examination that is not done, then apply what is ready
        All,  // wait for every examination
    };

    bool WalkFrom(const QString& folder)
    {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty()) {
            if (m_trash.IsInTrash(real)) {
                NotTaken(HoldingFolderText(folder), QStringLiteral("The folder is a trash folder"));
                return Check();
            }
            m_arrRoots.append(real);
            m_strChosen = real;
        }
        return WalkFolder(folder, real);
    }

    // The run flag (held while paused); marks the place in the events not applied yet.
    bool Check()
    {
        if (!m_run.Check())
            return false;
        if (!m_events.empty())
            m_events.push_back(Event{Event::Check, {}, {}, false});
        return true;
    }

    void Apply(Wait wait)
    {
        while (!m_events.empty()) {
            Event& event = m_events.front();
            switch (event.kind) {
            case Event::Check:
                if (!m_run.IsRunning())
                    return Halt();
                break;
            case Event::Progress:
                if (m_pHost)
                    m_pHost->ScanProgress(event.text);
                break;
            case Event::NotTaken:
                m_model.m_arrNotTaken.append(CXNotTaken{event.text, event.reason, event.missed});
                break;
            case Event::Examined: {
                // Rather than idle, the walk examines a later archive itself while this one is examined.
                while (!m_examiner.FrontReady()) {
                    if (wait == Wait::None)
                        return;
                    if (!m_examiner.HelpOne())
                        break;
                }
                if (wait == Wait::One)
                    wait = Wait::None;
                const std::optional<CXExamination> found = m_examiner.TakeFront();
                if (!found) // the run stopped before it was examined
                    return Halt();
                m_recorder.Record(*found);
                break;
            }
            }
            m_events.pop_front();
        }
    }

    // The run was found stopped: nothing more is applied.
    void Halt()
    {
        m_events.clear();
        m_bHalted = true;
    }

    void Push(Event&& event)
    {
        if (m_bHalted)
            return;
        if (m_events.size() >= kMaxEvents)
            Apply(Wait::One);
        m_events.push_back(std::move(event));
    }

    void Examine(const QString& path)
    {
        if (m_examiner.Full())
            Apply(Wait::One);
        if (m_bHalted)
            return;
        m_examiner.Submit(path);
        Push(Event{Event::Examined, {}, {}, false});
        Apply(Wait::None);
    }

    // real: the folder's path without links, or empty when unknown (a folder that cannot be read).
    bool WalkFolder(const QString& folder, const QString& real)
    {
        if (!Check())
            return false;
        const QString holding = HoldingFolderText(folder);
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (!Check())
            return false;
        // The listing leaves out names that are not valid text; such folders and archives are named, not lost.
        for (const zelvano::platform::UnreadableEntry& entry : zelvano::platform::ListUnreadableEntries(folder)) {
            const QString path = JoinPath(folder, entry.m_strName);
            if (entry.m_bFolder || GetArchiveType(path) != -1)
                NotTaken(path, QStringLiteral("The name is not valid UTF-8"), true);
        }
        while (it.hasNext()) {
            if (!Check())
                return false;
            it.next();
            const QFileInfo info = it.fileInfo();
            const QString name = info.fileName();
            const QString path = JoinPath(folder, name);
            if (info.isDir()) {
                Progress(holding);
                QString childReal;
                if (info.isSymLink() || info.isJunction()) {
                    childReal = info.canonicalFilePath();
                    if (childReal.isEmpty())
                        continue;
                    if (!InsideChosenFolder(childReal)) {
                        NotTaken(path, kOutsideReason);
                        continue;
                    }
                    if (InsideEnteredTree(childReal))
                        continue;
                    m_arrRoots.append(childReal);
                } else if (!real.isEmpty()) {
                    childReal = JoinPath(real, name);
                    if (m_arrRoots.contains(childReal))
                        continue;
                }
                if (m_trash.IsTrash(childReal.isEmpty() ? path : childReal)) {
                    NotTaken(path, QStringLiteral("The folder is a trash folder"));
                    continue;
                }
                if (!WalkFolder(path, childReal))
                    return false;
                continue;
            }
            const int type = GetArchiveType(path);
            Progress(holding);
            if (type == -1) {
                m_recorder.RecordTakeoutTarball(name, path);
                continue;
            }
            if (info.isSymLink() || info.isJunction()) {
                const QString target = info.canonicalFilePath();
                if (!target.isEmpty() && !InsideChosenFolder(target)) {
                    NotTaken(path, kOutsideReason);
                    continue;
                }
            }
            // Opening a pipe or a device blocks until someone writes to it, beyond the reach of a stop.
            // A link that leads nowhere is examined, and fails to open, as an archive that is gone.
            if (info.exists() && !info.isFile()) {
                NotTaken(path, QStringLiteral("It is not a regular file"));
                continue;
            }
            if (!Check())
                return false;
            if (!FirstVisit(path))
                continue;
            Examine(path);
        }
        return Check();
    }

    // False when the file was met before under another path (a hard link, a bind mount, two links inside
    // the tree): one archive is listed once. A file that cannot be identified is examined as it is.
    bool FirstVisit(const QString& path)
    {
        const zelvano::platform::FileIdentity id = zelvano::platform::IdentifyFile(path);
        if (!id.m_bValid)
            return true;
        const auto [it, inserted] = m_seenFiles.emplace(std::make_pair(id.m_nDevice, id.m_nFile), path);
        if (!inserted)
            NotTaken(path, QStringLiteral("The same file as %1").arg(it->second));
        return inserted;
    }

    bool InsideChosenFolder(const QString& real) const
    {
        return !m_strChosen.isEmpty() && zelvano::pathrules::IsWithin(real, m_strChosen);
    }

    bool InsideEnteredTree(const QString& real) const
    {
        for (const QString& root : m_arrRoots) {
            if (zelvano::pathrules::IsWithin(real, root))
                return true;
        }
        return false;
    }

    void NotTaken(const QString& path, const QString& reason, bool missed = false)
    {
        if (m_events.empty() && !m_bHalted)
            m_model.m_arrNotTaken.append(CXNotTaken{path, reason, missed});
        else
            Push(Event{Event::NotTaken, path, reason, missed});
    }

    void Progress(const QString& holding)
    {
        if (!m_pHost)
            return;
        if (m_events.empty() && !m_bHalted)
            m_pHost->ScanProgress(holding);
        else
            Push(Event{Event::Progress, holding, {}, false});
    }

    CXArchiveList& m_model;
    CXRunControl& m_run;
    CXWorkerHost* m_pHost;
    QString m_strChosen;    // the chosen folder's real path
    QStringList m_arrRoots; // real paths of the trees entered so far
    const zelvano::platform::TrashFolders m_trash;
    std::map<std::pair<quint64, quint64>, QString> m_seenFiles; // device and file number: the first path
    CXRecorder m_recorder;
    std::deque<Event> m_events;
    bool m_bHalted = false;
    CXExaminer m_examiner; // last: its thread ends before the members it reads
};

const CXSettings& DefaultSettings()
{
    static const CXSettings settings;
    return settings;
}

} // namespace

bool CXArchiveList::StartScan(const QString& folder, CXRunControl& run)
{
    ResetForScan();
    ScanFolder(folder, run);
    if (m_pHost && run.Check())
        m_pHost->ScanFinished();
    return !m_arrArchives.isEmpty();
}

bool CXArchiveList::ScanFolder(const QString& folder, CXRunControl& run)
{
    CXFolderWalker walker(*this, run, m_pSettings ? *m_pSettings : DefaultSettings());
    return walker.Walk(QDir::fromNativeSeparators(folder));
}

void CXArchiveList::ExamineAndRecord(const QString& path, const CXSettings& settings)
{
    RecordExamination(ExamineArchiveFile(settings, path, m_strImagePatterns, false, m_pPasswords, m_pHost));
}

void CXArchiveList::RecordExamination(const CXExamination& found)
{
    CXRecorder(*this, false).Record(found);
}
