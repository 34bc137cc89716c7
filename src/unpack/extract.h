#pragma once

#include "common/workerhost.h"

#include <QString>
#include <QStringList>

class CXArchiveFile;
struct CXUnpackContext;

// Extracts the photo entries of one archive to their planned paths, skipping or replacing existing
// files, validating each output and filling the archive's unpack figures (failed items, skipped,
// errors, extracted, bytes on disk). True when the archive opened and no entry failed.
// Checks the run flag (and so the pause gate) before every entry and between data chunks.
[[nodiscard]] bool ExtractZipArchive(CXUnpackContext& ctx, CXArchiveFile& archive);
[[nodiscard]] bool ExtractRarArchive(CXUnpackContext& ctx, CXArchiveFile& archive);
[[nodiscard]] bool ExtractSevenZArchive(CXUnpackContext& ctx, CXArchiveFile& archive);

// The per-archive delete question: Yes without asking when confirmation is off, else asks the host.
[[nodiscard]] DeleteAnswer ConfirmArchiveDelete(CXUnpackContext& ctx, const QString& fileName, bool moreFollow);
// Deletes one archive, to the trash when recycle is set. True when no file is left at the path.
[[nodiscard]] bool DeleteArchive(const QString& path, bool recycle);
// Deletes every path; true when all are gone.
bool DeleteArchives(const QStringList& paths, bool recycle);
