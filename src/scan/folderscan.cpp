#include "scan/archivelist.h"

#include "archive/pathrules.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "platform/files.h"
#include "platform/scanscope.h"
#include "scan/examine.h"
#include "settings/settings.h"

#include <algorithm>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <map>
#include <utility>

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
        : m_model(model), m_run(run), m_settings(settings), m_pHost(model.m_pHost)
    {}

    bool Walk(const QString& folder)
    {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty()) {
            if (m_trash.IsInTrash(real)) {
                NotTaken(HoldingFolderText(folder), QStringLiteral("The folder is a trash folder"));
                return m_run.Check();
            }
            m_arrRoots.append(real);
            m_strChosen = real;
        }
        return WalkFolder(folder, real);
    }

private:
    // real: the folder's path without links, or empty when unknown (a folder that cannot be read).
    bool WalkFolder(const QString& folder, const QString& real)
    {
        if (!m_run.Check())
            return false;
        const QString holding = HoldingFolderText(folder);
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (!m_run.Check())
            return false;
        // The listing leaves out names that are not valid text; such folders and archives are named, not lost.
        for (const zelvano::platform::UnreadableEntry& entry : zelvano::platform::ListUnreadableEntries(folder)) {
            const QString path = JoinPath(folder, entry.m_strName);
            if (entry.m_bFolder || GetArchiveType(path) != -1)
                NotTaken(path, QStringLiteral("The name is not valid UTF-8"), true);
        }
        while (it.hasNext()) {
            if (!m_run.Check())
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
                if (IsRarVolumeName(path))
                    NotTaken(path, QStringLiteral("A volume of a multi-part RAR set; volume sets are not read yet"),
                             true);
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
            if (!m_run.Check())
                return false;
            if (!FirstVisit(path))
                continue;
            m_model.ExamineAndRecord(path, m_settings);
        }
        return m_run.Check();
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
        m_model.m_arrNotTaken.append(CXNotTaken{path, reason, missed});
    }

    void Progress(const QString& holding)
    {
        if (m_pHost)
            m_pHost->ScanProgress(holding);
    }

    CXArchiveList& m_model;
    CXRunControl& m_run;
    const CXSettings& m_settings;
    CXWorkerHost* m_pHost;
    QString m_strChosen;    // the chosen folder's real path
    QStringList m_arrRoots; // real paths of the trees entered so far
    const zelvano::platform::TrashFolders m_trash;
    std::map<std::pair<quint64, quint64>, QString> m_seenFiles; // device and file number: the first path
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
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    int error = 0;
    int photos = -1;
    int mode = -1;
    quint64 photoBytes = 0;
    quint64 packedBytes = 0;
    int folderCount = 0;
    const auto opened = [&] {
        if (m_pHost)
            m_pHost->StatusText(1, name);
    };
    if (!OpenAndExamineArchive(settings, path, m_strImagePatterns, &error, opened, photos, mode, photoBytes,
                               packedBytes, folderCount)) {
        const bool known = std::any_of(m_arrInvalid.cbegin(), m_arrInvalid.cend(),
                                       [&](const CXFileItem& item) { return item.m_strPath == path; });
        if (!known)
            m_arrInvalid.append(CXFileItem{name, path, error});
        return;
    }
    if (photos < 1) {
        if (!m_arrSkipped.Contains(path))
            m_arrSkipped.InsertSorted(path);
        return;
    }
    CXArchiveFile archive;
    archive.InitFromPath(path);
    archive.m_nPhotoCount = photos;
    archive.m_nArchiveType = GetArchiveType(path);
    archive.m_nSmartMode = mode;
    archive.m_nFolderCount = folderCount;
    archive.m_nPhotoBytes = photoBytes;
    archive.m_nPhotoPackedBytes = packedBytes;
    const qsizetype before = m_arrArchives.size();
    AddArchive(archive);
    if (m_arrArchives.size() == before)
        return; // listed already
    if (archive.m_nArchiveType == 0)
        ++m_nZipCount;
    else
        ++m_nRarCount;
}
