#include "archive/rar.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/destination.h"
#include "unpack/entryfilter.h"
#include "unpack/extract.h"
#include "unpack/unpackcontext.h"
#include "unpack/validation.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString RarCodeName(int result)
{
    switch (result) {
    case RarNoMemory:
        return QStringLiteral("ERAR_NO_MEMORY");
    case RarBadData:
        return QStringLiteral("ERAR_BAD_DATA");
    case RarBadArchive:
        return QStringLiteral("ERAR_BAD_ARCHIVE");
    case RarUnknownFormat:
        return QStringLiteral("ERAR_UNKNOWN_FORMAT");
    case RarOpenError:
        return QStringLiteral("ERAR_EOPEN");
    case RarCreateError:
        return QStringLiteral("ERAR_ECREATE");
    case RarCloseError:
        return QStringLiteral("ERAR_ECLOSE");
    case RarReadError:
        return QStringLiteral("ERAR_EREAD");
    case RarWriteError:
        return QStringLiteral("ERAR_EWRITE");
    case RarSmallBuffer:
        return QStringLiteral("ERAR_SMALL_BUF");
    case RarUnknown:
        return QStringLiteral("ERAR_UNKNOWN");
    case RarMissingPassword:
        return QStringLiteral("ERAR_MISSING_PASSWORD");
    case RarReference:
        return QStringLiteral("ERAR_EREFERENCE");
    case RarBadPassword:
        return QStringLiteral("ERAR_BAD_PASSWORD");
    case RarRefusedLink:
        return QStringLiteral("link refused");
    case RarRefusedDestination:
        return QStringLiteral("destination refused");
    default:
        return QString();
    }
}

} // namespace

bool ExtractRarArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    if (!EnterArchive(ctx))
        return false;
    const CXSettings& settings = SettingsOf(ctx);
    CXRunControl& run = *ctx.m_pRun;

    archive.m_arrFailedItems.clear();
    CXDestinationPlanner planner;
    planner.Begin(settings, archive);
    CXArchiveTally tally(ctx, archive);

    // The output paths are absolute: the process's current directory is never changed.
    RarArchive rar;
    if (rar.Open(archive.m_strPath, RarOpenMode::Extract) != RarSuccess || !rar.IsOpen()) {
        tally.MarkNotOpened();
        return tally.Finish();
    }
    rar.SetEmptyPassword();

    RarEntry entry;
    for (;;) {
        entry = RarEntry();
        const int header = rar.ReadHeader(entry);
        if (header == RarEndArchive)
            break;
        if (header != RarSuccess) {
            // A damaged header: what follows cannot be reached, so the archive must not count as unpacked.
            tally.RecordFailure(archive.m_strPath, archive.m_strFileName, 0, 0, header, false, false, false,
                                zelvano::reason::ExtractionFailed(header, RarCodeName(header)));
            break;
        }
        if (!run.Check())
            break;
        // A folder is passed over whatever its name.
        if (entry.isDirectory || !IsPhotoEntryName(entry.name, entry.isHidden, ctx.m_strImageExtensions)) {
            rar.Skip();
            continue;
        }

        const qint64 packed = qint64(entry.packedSize);
        const qint64 unpacked = qint64(entry.unpackedSize);
        if (entry.isLink) {
            // A link is never created: the picture it stands for is not on disk.
            const CXPlannedPath planned = planner.PlanOutputPathOnly(entry.name);
            tally.RecordFailure(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, RarRefusedLink, false,
                                false, false, zelvano::reason::LinkEntry());
            rar.Skip();
            continue;
        }
        const CXPlannedPath planned = planner.PlanOutputPath(entry.name);
        if (!planned.IsSafe()) {
            tally.RecordUnsafe(planned, packed, unpacked, RarRefusedDestination);
            rar.Skip();
            continue;
        }
        if (tally.HandleExisting(planned, packed, unpacked)) {
            rar.Skip();
            continue;
        }
        tally.Status(planned.m_strDisplayName);

        // Between the library's data blocks the pause gate may hold the worker; a stop lets the entry finish.
        const int result = rar.ExtractTo(planned.m_strPath, [&run] { run.Check(); });
        if (result == RarSuccess) {
            // The library writes what the data holds; more than the header lists is refused afterwards.
            const QFileInfo written(planned.m_strPath);
            if (written.isFile() && quint64(written.size()) > entry.unpackedSize) {
                QFile::remove(planned.m_strPath);
                tally.RecordFailure(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, result,
                                    IsDuplicate(planned.m_strPath), true, false, zelvano::reason::LargerThanListed());
                continue;
            }
        }
        tally.AfterExtraction(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, result,
                              RarCodeName(result));
    }
    rar.Close();
    // An archive the stop cut short is not unpacked, whatever its entries so far did: it must never
    // count as a success that a later deletion could act on.
    return tally.Finish() && run.IsRunning();
}
