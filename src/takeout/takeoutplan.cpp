#include "takeout/takeoutplan.h"

#include "takeout/sidecarnames.h"

#include <algorithm>

namespace {

const QString& TopFolder()
{
    static const QString top = QStringLiteral("takeout/");
    return top;
}

// "Takeout/<name>/" for a path at least one folder below it, else empty.
QString SecondLevelFolder(const QString& path)
{
    if (!path.startsWith(TopFolder(), Qt::CaseInsensitive))
        return QString();
    const qsizetype slash = path.indexOf(QLatin1Char('/'), TopFolder().size());
    if (slash <= TopFolder().size() || slash + 1 >= path.size())
        return QString();
    return path.left(slash + 1);
}

QString FolderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Sidecars by folder and name, case folded; the first one met wins.
using SidecarIndex = QHash<QString, CXTakeoutEntryRef>;

SidecarIndex IndexSidecars(const QList<QStringList>& parts, const QString& under)
{
    SidecarIndex index;
    for (int p = 0; p < parts.size(); ++p) {
        const QStringList& entries = parts.at(p);
        for (int i = 0; i < entries.size(); ++i) {
            const QString& path = entries.at(i);
            if (path.endsWith(QLatin1Char('/')) || !IsSidecarName(NameOf(path)))
                continue;
            if (!under.isEmpty() && !path.startsWith(under, Qt::CaseInsensitive))
                continue;
            index.insert(path.toCaseFolded(), CXTakeoutEntryRef{p, i});
        }
    }
    return index;
}

CXTakeoutEntryRef FindSidecar(const SidecarIndex& index, const QString& picturePath)
{
    const QString folder = FolderOf(picturePath).toCaseFolded();
    for (const QString& candidate : SidecarCandidates(NameOf(picturePath))) {
        const auto it = index.constFind(folder + candidate.toCaseFolded());
        if (it != index.cend())
            return it.value();
    }
    return CXTakeoutEntryRef{};
}

bool IsPictureEntry(const QString& path, const TakeoutPictureTest& isPicture)
{
    return !path.endsWith(QLatin1Char('/')) && !IsSidecarName(NameOf(path)) && isPicture(NameOf(path));
}

} // namespace

QString FindTakeoutPhotosFolder(const QList<QStringList>& parts, const TakeoutPictureTest& isPicture)
{
    const SidecarIndex index = IndexSidecars(parts, TopFolder());
    if (index.isEmpty())
        return QString();
    QHash<QString, int> matched; // by the folder's case-folded name
    QHash<QString, QString> spelled;
    for (const QStringList& entries : parts) {
        for (const QString& path : entries) {
            const QString folder = SecondLevelFolder(path);
            if (folder.isEmpty() || !IsPictureEntry(path, isPicture) || !FindSidecar(index, path).IsValid())
                continue;
            const QString key = folder.toCaseFolded();
            ++matched[key];
            if (!spelled.contains(key))
                spelled.insert(key, folder);
        }
    }
    QString best;
    int bestCount = 0;
    for (auto it = matched.cbegin(); it != matched.cend(); ++it) {
        // Ties go to the first name in sort order, so the answer does not depend on hashing.
        if (it.value() > bestCount || (it.value() == bestCount && it.key() < best)) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return bestCount > 0 ? spelled.value(best) : QString();
}

int CXTakeoutPlan::AddPart(const QStringList& entryPaths)
{
    m_parts << entryPaths;
    return int(m_parts.size()) - 1;
}

void CXTakeoutPlan::Build(const TakeoutPictureTest& isPicture)
{
    m_pictures.clear();
    m_sidecarOf.clear();
    m_sidecars.clear();
    m_strPhotosFolder = FindTakeoutPhotosFolder(m_parts, isPicture);
    if (m_strPhotosFolder.isEmpty())
        return;
    const SidecarIndex index = IndexSidecars(m_parts, m_strPhotosFolder);
    for (int p = 0; p < m_parts.size(); ++p) {
        const QStringList& entries = m_parts.at(p);
        for (int i = 0; i < entries.size(); ++i) {
            const QString& path = entries.at(i);
            if (!path.startsWith(m_strPhotosFolder, Qt::CaseInsensitive) || !IsPictureEntry(path, isPicture))
                continue;
            const CXTakeoutEntryRef picture{p, i};
            m_pictures.insert(Key(picture));
            const CXTakeoutEntryRef sidecar = FindSidecar(index, path);
            if (sidecar.IsValid()) {
                m_sidecarOf.insert(Key(picture), sidecar);
                m_sidecars.insert(Key(sidecar));
            }
        }
    }
}

CXTakeoutEntryRef CXTakeoutPlan::SidecarOf(const CXTakeoutEntryRef& picture) const
{
    return m_sidecarOf.value(Key(picture));
}

QList<CXTakeoutEntryRef> CXTakeoutPlan::PicturesWithoutSidecar() const
{
    QList<CXTakeoutEntryRef> missing;
    for (quint64 key : m_pictures) {
        if (!m_sidecarOf.contains(key))
            missing << CXTakeoutEntryRef{int(key >> 32), int(key & 0xFFFFFFFFu)};
    }
    std::sort(missing.begin(), missing.end(), [](const CXTakeoutEntryRef& a, const CXTakeoutEntryRef& b) {
        return a.m_nPart != b.m_nPart ? a.m_nPart < b.m_nPart : a.m_nIndex < b.m_nIndex;
    });
    return missing;
}

QString CXTakeoutPlan::EntryPath(const CXTakeoutEntryRef& entry) const
{
    if (entry.m_nPart < 0 || entry.m_nPart >= m_parts.size())
        return QString();
    const QStringList& entries = m_parts.at(entry.m_nPart);
    return entry.m_nIndex >= 0 && entry.m_nIndex < entries.size() ? entries.at(entry.m_nIndex) : QString();
}
