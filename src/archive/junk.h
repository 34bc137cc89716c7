#pragma once

#include <QSet>
#include <QString>

// Files that other systems leave in archives and that hold nothing of the user's: entries below a
// top-level "__MACOSX/" folder, files named exactly ".DS_Store", "Thumbs.db" or "desktop.ini", and
// AppleDouble companions ("._name" beside an entry "name" in the same folder of the archive). Such an
// entry is neither counted nor extracted as a picture, and it does not keep its archive from deletion.
// A picture whose name merely contains one of these words is a picture.
//
// Build it from every entry name of one archive first (the companion rule needs to see them all), then
// ask about each entry. Separators may be "/" or "\", as archivers store them.
class CXJunkRules
{
public:
    void AddName(const QString& entryName);
    bool IsKnownJunk(const QString& entryName) const;
    void Clear() { m_names.clear(); }

private:
    QSet<QString> m_names; // every entry name, "/" separated, without a trailing "/"
};

// The entry name with "\" read as "/" and without leading or trailing separators.
QString NormalizedEntryName(const QString& entryName);
