#pragma once

// How Google Takeout names a picture's JSON sidecar. The sidecar of "IMG_1234.JPG" is
// "IMG_1234.JPG.json", or in newer exports "IMG_1234.JPG.supplemental-metadata.json"; the whole name is
// held to a limit, so the suffix is cut anywhere (".supplemental-metad.json", ".supp.json", ".s.json")
// and a long picture name is cut short itself. A "(1)" counter of a picture whose name was taken moves
// behind the suffix ("IMG_1234(1).JPG" -> "IMG_1234.JPG(1).json"), and an edited copy ("-edited", or
// its translation) has no sidecar of its own: it shares the original's.

#include <QString>
#include <QStringList>

// True for a name ending in ".json" (any case).
bool IsSidecarName(const QString& name);

// The sidecar file names (names only, no folders) the picture named pictureName may have, most likely
// first, without duplicates. A folder part of pictureName is ignored.
QStringList SidecarCandidates(const QString& pictureName);

// True when the sidecar named sidecarName belongs to the picture named pictureName (case ignored, folders
// ignored): several pictures may share one sidecar (an edited copy and its original).
bool SidecarBelongsTo(const QString& sidecarName, const QString& pictureName);

// The lengths at which Google cuts the name before ".json", and the suffixes an edited copy may carry.
// Exposed for the tests, which check the table with real-looking names.
const QList<int>& SidecarTitleLimits();
const QStringList& EditedCopySuffixes();
