#pragma once

// Matches the pictures of a Google Takeout export with their JSON sidecars over the entry lists of all
// its parts: a sidecar may lie in another part than its picture (Google splits the export by size, not
// by folder). Works on names only; nothing here reads entry data.

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// One entry of one part: the part's number in the plan and the entry's index in that part's list.
struct CXTakeoutEntryRef
{
    int m_nPart = -1;
    int m_nIndex = -1;

    bool IsValid() const { return m_nPart >= 0 && m_nIndex >= 0; }
    bool operator==(const CXTakeoutEntryRef&) const = default;
};

// Says whether an entry name is a picture (the program's image patterns).
using TakeoutPictureTest = std::function<bool(const QString& name)>;

// The Google Photos folder of an export, as "Takeout/<name>/": the folder right below "Takeout/" whose
// pictures have matching sidecars beside them (its name is translated, so it is found by its content).
// Of several, the one with the most matched pictures; empty when no folder has one.
QString FindTakeoutPhotosFolder(const QList<QStringList>& parts, const TakeoutPictureTest& isPicture);

class CXTakeoutPlan
{
public:
    // Adds the next part's entry paths ("/" separated, as the archive lists them; folder entries may be
    // among them); its number is the count of parts added before. Returns that number.
    int AddPart(const QStringList& entryPaths);
    // Finds the photos folder and matches its pictures with their sidecars.
    void Build(const TakeoutPictureTest& isPicture);

    // "Takeout/<name>/", or empty when the parts hold no Google Photos folder (then nothing is matched).
    QString PhotosFolder() const { return m_strPhotosFolder; }
    bool IsExport() const { return !m_strPhotosFolder.isEmpty(); }

    // True for a picture in the photos folder (the ones whose dates the plan restores).
    bool IsPlannedPicture(const CXTakeoutEntryRef& entry) const { return m_pictures.contains(Key(entry)); }
    // The sidecar of a picture of the photos folder; invalid when it has none (or is no such picture).
    CXTakeoutEntryRef SidecarOf(const CXTakeoutEntryRef& picture) const;
    // True for an entry that is the sidecar of at least one picture.
    bool IsSidecar(const CXTakeoutEntryRef& entry) const { return m_sidecars.contains(Key(entry)); }
    // The pictures of the photos folder without a sidecar, in part and entry order.
    QList<CXTakeoutEntryRef> PicturesWithoutSidecar() const;
    int PictureCount() const { return int(m_pictures.size()); }

    QString EntryPath(const CXTakeoutEntryRef& entry) const;

private:
    static quint64 Key(const CXTakeoutEntryRef& e) { return (quint64(quint32(e.m_nPart)) << 32) | quint32(e.m_nIndex); }

    QList<QStringList> m_parts;
    QString m_strPhotosFolder;
    QSet<quint64> m_pictures;
    QHash<quint64, CXTakeoutEntryRef> m_sidecarOf; // picture -> sidecar
    QSet<quint64> m_sidecars;
};
