#pragma once

// The extraction loop's hooks for the parts of a Google Takeout export: sidecars written beside their
// pictures, and pictures dated from their sidecars.

#include <QByteArray>
#include <QString>

class CXArchiveFile;
class CXDestinationPlanner;
struct CXTakeoutPartData;
struct CXUnpackContext;

// Writes a sidecar's content to its planned place beside its picture(s) (an identical file already there
// counts as written; the run remembers what it wrote). True when the file is there: the sidecar is then
// accounted for, and path (may be null) receives where it is.
bool WriteTakeoutSidecar(CXUnpackContext& ctx, CXDestinationPlanner& planner, const QString& outputName,
                         const QByteArray& content, QString* path = nullptr);
// Gives the freshly written picture of entry index its sidecar's time and counts it in the archive's
// figures: a date restored, or a picture of the photos folder without one (which keeps its entry time).
void DateTakeoutPicture(const CXTakeoutPartData* part, int index, const QString& path, CXArchiveFile& archive);
// Writes the sidecar of the picture of entry index beside it, wherever the sidecar lies in the export.
void WriteSidecarOfPicture(CXUnpackContext& ctx, const CXTakeoutPartData* part, int index,
                           CXDestinationPlanner& planner);
