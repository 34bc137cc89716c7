#pragma once

#include <QSet>
#include <QString>

class CXSettings;
class CXArchiveFile;

// True for a part of a Google Takeout export when the options detect exports: all its parts unpack into
// one folder named after the export.
bool IsExportPart(const CXSettings& settings, const CXArchiveFile& archive);
// The extraction mode of an archive: the user's choice when it is not 0, else the archive's own advice.
// 1 writes into the archive's folder, 2 into a new folder beside it named after the archive.
int GetExtractMode(const CXSettings& settings, const CXArchiveFile& archive);
// The archive's title (file name without its last extension), renamed when the option asks for it.
QString GetContainingFolderName(const CXSettings& settings, const CXArchiveFile& archive);
// The folder-name conversion: 0 upper case, 1 lower case, anything else Title Case.
QString RenameFolderName(int caseChoice, const QString& name);

// Why an entry gets no output path. Each one becomes a failed entry of its archive.
namespace zelvano::reason {
inline QString UnsafeName()
{
    return QStringLiteral("Name leads outside the destination folder");
}
inline QString ControlCharacters()
{
    return QStringLiteral("Name holds control characters");
}
inline QString NoFileName()
{
    return QStringLiteral("Name holds no file name");
}
inline QString LinkLeadsOut()
{
    return QStringLiteral("A link leads outside the destination folder");
}
inline QString BadFolderName()
{
    return QStringLiteral("The archive's name gives no usable folder name");
}
inline QString NoMode()
{
    return QStringLiteral("No destination for this extraction mode");
}
} // namespace zelvano::reason

// One planned output: the absolute "/"-separated path and the file name shown for it, or, when the
// entry must not be written, the reason (and a path only for the record).
struct CXPlannedPath
{
    QString m_strPath;
    QString m_strDisplayName;
    QString m_strReason; // empty when the path may be written

    bool IsSafe() const { return m_strReason.isEmpty(); }
};

// The destination of one archive: the per-archive facts computed once (folder, title, new folder name,
// mode), then one output path per extracted entry.
//
// Every output path stays inside the destination: the archive's folder in mode 1, the new folder in
// mode 2. Entry names with ".." parts, absolute names, drive letters, UNC names or control characters
// get no path; "\" counts as a separator like "/", because archivers made on Windows store it so.
// Folders are created only inside the destination, and never through an existing link that leads out.
class CXDestinationPlanner
{
public:
    void Begin(const CXSettings& settings, const CXArchiveFile& archive);

    int Mode() const { return m_nMode; }
    // The archive's folder, without a trailing "/" (unless it is the file system root).
    QString Folder() const { return m_strFolder; }
    QString Title() const { return m_strTitle; }
    QString NewFolderName() const { return m_strNewName; }

    // The output path of one entry (its name as the extraction passes it), checked against links on
    // the way that lead out. Creates nothing.
    CXPlannedPath PlanOutputPath(const QString& entryName);
    // Creates the folders of a safe planned path, just before a file is written there.
    bool CreateFolderFor(const CXPlannedPath& planned);
    // The same without touching the disk (no folder is created, no link examined).
    CXPlannedPath PlanOutputPathOnly(const QString& entryName) const;

private:
    CXPlannedPath Plan(const QString& entryName, QString* destination) const;
    bool CheckFolder(const QString& destination, const QString& folder);
    static QString Join(const QString& folder, const QString& relative);

    QString m_strFolder;
    QString m_strCanonicalFolder;
    QString m_strTitle;
    QString m_strNewName;
    int m_nMode = 0;
    bool m_bRenameInPlace = false;
    QSet<QString> m_setCheckedFolders; // folders already checked for links that lead out
    QSet<QString> m_setCreatedFolders; // folders already created for this archive
};
