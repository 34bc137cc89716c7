#include "unpack/destination.h"

#include "archive/pathrules.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "settings/titlecase.h"
#include "takeout/exportname.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// Splits an entry name into the parts of a relative path by the shared path rules, and gives the reason
// when the name gets no output path.
QString SplitRelative(const QString& name, QStringList& parts)
{
    switch (zelvano::pathrules::SplitEntryName(name, parts)) {
    case zelvano::pathrules::NameCheck::ControlCharacters:
        return zelvano::reason::ControlCharacters();
    case zelvano::pathrules::NameCheck::LeadsOutside:
        return zelvano::reason::UnsafeName();
    case zelvano::pathrules::NameCheck::Relative:
        break;
    }
    const QStringView last = zelvano::pathrules::LastPart(name);
    if (last.isEmpty() || last == QLatin1String(".") || parts.isEmpty())
        return zelvano::reason::NoFileName();
    return QString();
}

bool IsUsableFolderName(const QString& name)
{
    if (name.isEmpty() || zelvano::pathrules::IsDotsOnly(name) || name == QLatin1String("."))
        return false;
    for (const QChar c : name) {
        if (zelvano::pathrules::IsControlCharacter(c) || zelvano::pathrules::IsSeparator(c))
            return false;
    }
    return true;
}

QString TitleOf(const QString& archivePath)
{
    const QString name = QFileInfo(archivePath.trimmed()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 ? name.left(dot) : name;
}

QString Sanitized(const QString& name)
{
    QString s = name;
    for (QChar& c : s) {
        if (zelvano::pathrules::IsControlCharacter(c))
            c = QLatin1Char('?');
        else if (c == QLatin1Char('\\'))
            c = QLatin1Char('/');
    }
    return s;
}

} // namespace

bool IsExportPart(const CXSettings& settings, const CXArchiveFile& archive)
{
    return settings.m_bExportDetection && !TakeoutFolderName(archive.m_strExportKey).isEmpty();
}

int GetExtractMode(const CXSettings& settings, const CXArchiveFile& archive)
{
    // All parts of an export take one decision: the export's own folder, unless the user chose a mode.
    if (IsExportPart(settings, archive) && settings.m_nExtractTo == ExtractSmart)
        return 2;
    return settings.m_nExtractTo != ExtractSmart ? settings.m_nExtractTo : archive.m_nSmartMode;
}

QString RenameFolderName(int caseChoice, const QString& name)
{
    QString title = MakeTitleCase(name, false);
    switch (caseChoice) {
    case RenameUpper:
        return title.toUpper();
    case RenameLower:
        return title.toLower();
    default:
        return title;
    }
}

QString GetContainingFolderName(const CXSettings& settings, const CXArchiveFile& archive)
{
    if (IsExportPart(settings, archive))
        return TakeoutFolderName(archive.m_strExportKey);
    const QString title = TitleOf(archive.m_strPath);
    return settings.m_bRenameFolder ? RenameFolderName(settings.m_nRenameCase, title) : title;
}

void CXDestinationPlanner::Begin(const CXSettings& settings, const CXArchiveFile& archive)
{
    const QFileInfo info(archive.m_strPath.trimmed());
    m_strFolder = QDir::cleanPath(info.absolutePath());
    m_strCanonicalFolder = QFileInfo(m_strFolder).canonicalFilePath();
    m_strTitle = TitleOf(archive.m_strPath);
    m_strNewName = GetContainingFolderName(settings, archive);
    // A name the conversion empties (an archive called "___.zip") still gets a folder of its own.
    if (!IsUsableFolderName(m_strNewName) && IsUsableFolderName(m_strTitle))
        m_strNewName = m_strTitle;
    m_nMode = GetExtractMode(settings, archive);
    m_bRenameInPlace = settings.m_bRenameFolder && archive.m_nFolderCount == 1 && !m_strTitle.isEmpty();
    m_setCheckedFolders.clear();
    m_setCreatedFolders.clear();
}

QString CXDestinationPlanner::Join(const QString& folder, const QString& relative)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + relative : folder + QLatin1Char('/') + relative;
}

CXPlannedPath CXDestinationPlanner::Plan(const QString& entryName, QString* destination) const
{
    CXPlannedPath planned;
    QString dest;
    if (m_nMode == 1) {
        dest = m_strFolder;
    } else if (m_nMode == 2) {
        dest = Join(m_strFolder, m_strNewName);
    }

    QStringList parts;
    QString reason = SplitRelative(entryName, parts);
    if (reason.isEmpty() && m_nMode == 1 && m_bRenameInPlace) {
        // The top folder the archive brings, named like the archive, gets the converted name. Only the
        // entry's own part of the path is touched: the archive's folder keeps its name even when it
        // carries the title too.
        // Only a leading folder equal to the title is renamed: never a file name, never part of a word.
        if (parts.size() > 1 && parts.front() == m_strTitle)
            parts.front() = m_strNewName;
    }
    if (reason.isEmpty() && m_nMode == 2 && !IsUsableFolderName(m_strNewName))
        reason = zelvano::reason::BadFolderName();
    if (m_nMode != 1 && m_nMode != 2) {
        reason = zelvano::reason::NoMode();
        dest = m_strFolder;
    }

    if (!reason.isEmpty()) {
        // Nothing is written; the record still shows where the name pointed.
        const QString shown = Sanitized(entryName);
        planned.m_strReason = reason;
        planned.m_strPath = Join(dest, shown);
        const qsizetype slash = shown.lastIndexOf(QLatin1Char('/'));
        planned.m_strDisplayName = slash >= 0 && slash + 1 < shown.size() ? shown.mid(slash + 1) : shown;
        return planned;
    }

    planned.m_strPath = Join(dest, parts.join(QLatin1Char('/')));
    planned.m_strDisplayName = parts.last();
    if (destination)
        *destination = dest;
    return planned;
}

CXPlannedPath CXDestinationPlanner::PlanOutputPathOnly(const QString& entryName) const
{
    return Plan(entryName, nullptr);
}

CXPlannedPath CXDestinationPlanner::PlanOutputPath(const QString& entryName)
{
    QString dest;
    CXPlannedPath planned = Plan(entryName, &dest);
    if (!planned.IsSafe())
        return planned;
    const QString folder = planned.m_strPath.left(planned.m_strPath.lastIndexOf(QLatin1Char('/')));
    if (!CheckFolder(dest, folder))
        planned.m_strReason = zelvano::reason::LinkLeadsOut();
    return planned;
}

bool CXDestinationPlanner::CreateFolderFor(const CXPlannedPath& planned)
{
    const QString folder = planned.m_strPath.left(planned.m_strPath.lastIndexOf(QLatin1Char('/')));
    if (m_setCreatedFolders.contains(folder))
        return true;
    if (!QDir().mkpath(folder))
        return false;
    m_setCreatedFolders.insert(folder);
    return true;
}

// Checks that no existing part of the path from the destination down to folder is a link that leads out
// of the destination. Nothing is created here: folders are made only when a file is written into them.
bool CXDestinationPlanner::CheckFolder(const QString& destination, const QString& folder)
{
    if (m_setCheckedFolders.contains(folder))
        return true;
    if (m_strCanonicalFolder.isEmpty())
        return false; // the archive's folder is gone: nothing is created in its place
    const QString canonicalDest = m_nMode == 2 ? Join(m_strCanonicalFolder, m_strNewName) : m_strCanonicalFolder;

    QStringList below;
    if (folder.size() > destination.size())
        below = folder.mid(destination.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = destination;
    for (qsizetype i = -1; i < below.size(); ++i) {
        if (i >= 0)
            current = Join(current, below[i]);
        const QFileInfo info(current);
        const bool isLink = info.isSymLink();
        if (!isLink && !info.exists())
            break; // this part and everything below it will be new folders
        if (isLink) {
            const QString target = info.canonicalFilePath();
            if (target.isEmpty() || !zelvano::pathrules::IsWithin(target, canonicalDest))
                return false;
        }
    }
    m_setCheckedFolders.insert(folder);
    return true;
}
