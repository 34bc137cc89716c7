#include "archive/zip.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "unpack/destination.h"
#include "unpack/entryfilter.h"
#include "unpack/extract.h"
#include "unpack/unpackcontext.h"
#include "unpack/validation.h"

namespace {

QString ZipCodeName(int32_t result)
{
    return QString::fromLatin1(ZipResultName(result));
}

// Progress of the entry being written reaches the host about once per MiB, not per 16 KiB chunk.
constexpr qint64 kChunk = 16384;
constexpr int kChunksPerProgress = 64;

} // namespace

bool ExtractZipArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    if (!EnterArchive(ctx))
        return false;
    const CXSettings& settings = SettingsOf(ctx);
    CXRunControl& run = *ctx.m_pRun;
    const QString& extensions = ctx.m_strImageExtensions;

    // The reader writes an entry flagged as a folder as a file when its name carries a picture extension.
    if (ZipGetPictureExtensions() != extensions)
        ZipSetPictureExtensions(extensions);
    archive.m_arrFailedItems.clear();
    CXDestinationPlanner planner;
    planner.Begin(settings, archive);
    CXArchiveTally tally(ctx, archive);

    const ZipHandlePtr zip(ZipOpen(archive.m_strPath));
    if (!zip) {
        tally.MarkNotOpened();
        return tally.Finish();
    }
    ZipEntry counter;
    ZipGetEntry(zip.get(), -1, counter);
    const int32_t count = counter.m_nIndex;

    for (int32_t i = 0; i < count; ++i) {
        if (!run.Check())
            break;
        ZipEntry entry;
        const int32_t got = ZipGetEntry(zip.get(), i, entry);
        if (got == ZIPRES_BADZIP || got == ZIPRES_ARGS) {
            // The directory cannot be read from here on: what it still holds cannot be extracted, so the
            // archive must not count as unpacked.
            tally.RecordFailure(archive.m_strPath, archive.m_strFileName, 0, 0, got, false, false, false,
                                zelvano::reason::ExtractionFailed(got, ZipCodeName(got)));
            break;
        }

        QString name = entry.m_szName;
        name.replace(QLatin1String(". "), QLatin1String("."));
        // A directory entry is skipped unless its name carries a picture extension (then it is a file).
        if (entry.IsDirectory() && !MatchesExtensionList(name, extensions))
            continue;
        if (!IsPhotoEntryName(name, (entry.m_dwAttributes & ZIP_ATTR_HIDDEN) != 0, extensions))
            continue;

        const qint64 packed = entry.m_nPackedSize;
        const qint64 unpacked = entry.m_nUnpackedSize;
        if (got != ZIPRES_OK) {
            // A damaged picture entry: it is named, recorded, and nothing is written for it.
            const CXPlannedPath planned = planner.PlanOutputPathOnly(name);
            tally.RecordFailure(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, got, false, false, false,
                                zelvano::reason::ExtractionFailed(got, ZipCodeName(got)));
            continue;
        }

        const CXPlannedPath planned = planner.PlanOutputPath(name);
        if (!planned.IsSafe()) {
            tally.RecordUnsafe(planned, packed, unpacked, ZIPRES_UNSAFEPATH);
            continue;
        }
        if (tally.HandleExisting(planned, packed, unpacked))
            continue;
        tally.Status(planned.m_strDisplayName);

        // Between chunks: the pause gate, and now and then the entry's progress. A stop lets the entry
        // finish; the next entry is not started.
        int chunks = 0;
        const ZipChunkHook hook = [&]() {
            run.Check();
            if (++chunks % kChunksPerProgress == 0 && ctx.m_pHost)
                ctx.m_pHost->EntryProgress(qMin(qint64(chunks) * kChunk, unpacked), unpacked);
            return true;
        };
        const int32_t result = ZipExtractEntry(zip.get(), i, planned.m_strPath, hook);
        tally.AfterExtraction(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, result,
                              result != ZIPRES_OK ? ZipCodeName(result) : QString());
    }
    // An archive the stop cut short is not unpacked, whatever its entries so far did: it must never
    // count as a success that a later deletion could act on.
    return tally.Finish() && run.IsRunning();
}
