#pragma once

// What an unpack run needs of one Google Takeout export before it writes anything: the dates of the
// pictures of every part and the sidecars to write beside them, read from all parts at once (a picture's
// sidecar may lie in another part).

#include "takeout/takeoutplan.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// One part's share of the export, by entry index in that part.
struct CXTakeoutPartData
{
    QHash<int, qint64> m_times;        // picture -> seconds since 1970 from its sidecar
    QSet<int> m_undated;               // pictures of the photos folder without a sidecar or a date in it
    QHash<int, QByteArray> m_sidecars; // sidecar -> its content, written beside its picture(s)
    // picture -> its sidecar's entry path and content: written with the picture, as the sidecar may lie in
    // a part the run does not unpack
    QHash<int, std::pair<QString, QByteArray>> m_sidecarOf;
};

class CXTakeoutExport
{
public:
    // Lists every part (ZIP files, in part order) and reads the sidecars the plan matched. A part that does
    // not open adds nothing: its pictures are unpacked (or fail) as the run finds them.
    void Load(const QStringList& partPaths, const TakeoutPictureTest& isPicture);

    bool IsExport() const { return m_bExport; }
    // The data of one part by its path; null for a path that is not one of the parts.
    const CXTakeoutPartData* Part(const QString& path) const;

private:
    bool m_bExport = false;
    QHash<QString, CXTakeoutPartData> m_parts;
};
