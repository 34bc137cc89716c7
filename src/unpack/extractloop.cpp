#include "unpack/extractloop.h"

#include "archive/junk.h"
#include "common/passwordstore.h"
#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "platform/files.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "takeout/takeoutexport.h"
#include "unpack/destination.h"
#include "unpack/prefetch.h"
#include "unpack/takeoutparts.h"
#include "unpack/unpackcontext.h"
#include "unpack/validation.h"

#include <QFile>

#include <memory>
#include <optional>

namespace {

// Progress of the entry being written reaches the host about once per MiB, not per block.
constexpr qint64 kProgressStep = qint64(1) << 20;

} // namespace

bool IsEntryToWrite(const CXSourceEntry& entry, const CXJunkRules& junk, const QString& extensions)
{
    return !entry.m_bFolder && !entry.m_bContinued && !junk.IsKnownJunk(entry.m_strName) &&
           MatchesExtensionList(entry.m_strOutputName, extensions) && !entry.m_bLink && entry.m_nDamage == 0 &&
           !entry.m_bEncrypted;
}

bool ExtractArchive(CXUnpackContext& ctx, CXArchiveFile& archive, CXArchiveSource& source)
{
    if (!EnterArchive(ctx))
        return false;
    const CXSettings& settings = SettingsOf(ctx);
    CXRunControl& run = *ctx.m_pRun;
    const QString& extensions = ctx.m_strImageExtensions;

    archive.m_arrFailedItems.clear();
    CXDestinationPlanner planner;
    planner.Begin(settings, archive);
    const auto owned = std::make_shared<CXArchiveTally>(ctx, archive);
    CXArchiveTally& tally = *owned;
    // A run that applies outcomes later takes the tally over, with the tests still in flight; otherwise
    // they are waited for here.
    bool aborted = false;
    const auto end = [&] {
        tally.Close();
        const bool whole = !aborted && run.IsRunning();
        if (ctx.m_bHandOver) {
            ctx.m_pHandedOver = owned;
            return whole;
        }
        return tally.Finish() && whole;
    };

    // The archive's password, settled at its first encrypted entry (or at the open, for encrypted
    // headers) and used for all its other entries.
    std::optional<QString> password;
    bool passwordSettled = false;
    const auto settlePassword = [&] {
        if (!passwordSettled) {
            passwordSettled = true;
            password = ResolveArchivePassword(
                ctx.m_pPasswords, ctx.m_pHost, archive.m_strFileName, [&source](const QString& candidate) {
                    return source.TestPassword(candidate) ? CXPasswordStore::Test::Works : CXPasswordStore::Test::Wrong;
                });
            if (password)
                source.SetPassword(*password);
        }
        return password.has_value();
    };

    if (!source.Open(archive.m_strPath)) {
        if (!source.NeedsPassword()) {
            tally.MarkNotOpened();
            return end();
        }
        if (!settlePassword() || !source.Open(archive.m_strPath)) {
            tally.MarkNotOpened();
            tally.RecordFailure(archive.m_strPath, archive.m_strFileName, 0, 0, 0, false, false, false,
                                zelvano::reason::EncryptedNoPassword());
            return end();
        }
    }
    CXJunkRules junk;
    source.ListNames(junk);
    const CXTakeoutPartData* takeout = TakeoutPartOf(ctx, archive);

    for (int index = 0;; ++index) {
        if (!run.Check())
            break;
        if (ctx.m_betweenEntries && !ctx.m_betweenEntries()) {
            aborted = true;
            break;
        }
        CXSourceEntry entry;
        const int next = source.Next(entry);
        if (next == CXArchiveSource::kEnd)
            break;
        if (next != 0) {
            // The directory cannot be read from here on: what it still holds cannot be extracted, so the
            // archive must not count as unpacked.
            tally.RecordFailure(archive.m_strPath, archive.m_strFileName, 0, 0, next, false, false, false,
                                source.FailureReason(next));
            break;
        }
        if (entry.m_bFolder || entry.m_bContinued || junk.IsKnownJunk(entry.m_strName)) {
            source.Skip();
            continue;
        }
        QString sidecar;
        if (takeout && takeout->m_sidecars.contains(index) && entry.m_nDamage == 0 && !entry.m_bLink &&
            WriteTakeoutSidecar(ctx, planner, entry.m_strOutputName, takeout->m_sidecars.value(index), &sidecar)) {
            // A picture's sidecar goes beside it, so the archive owes nothing for it.
            tally.AccountedOnDisk(sidecar);
            source.Skip();
            continue;
        }
        if (!MatchesExtensionList(entry.m_strOutputName, extensions)) {
            // Left inside the archive: it keeps the archive unless the user lets such archives go.
            tally.RecordOtherFile(entry.m_strName);
            source.Skip();
            continue;
        }

        const qint64 packed = entry.m_nPacked;
        const qint64 unpacked = entry.m_nUnpacked;
        const auto refuse = [&](int code, const QString& reason) {
            const CXPlannedPath planned = planner.PlanOutputPathOnly(entry.m_strOutputName);
            tally.RecordFailure(planned.m_strPath, planned.m_strDisplayName, packed, unpacked, code, false, false,
                                false, reason);
            source.Skip();
        };
        if (entry.m_bLink) {
            refuse(source.LinkCode(), zelvano::reason::LinkEntry());
            continue;
        }
        if (entry.m_nDamage != 0) {
            refuse(entry.m_nDamage, source.FailureReason(entry.m_nDamage));
            continue;
        }
        if (entry.m_bEncrypted && !settlePassword()) {
            refuse(0, zelvano::reason::EncryptedNoPassword());
            continue;
        }

        const CXPlannedPath planned = planner.PlanOutputPath(entry.m_strOutputName);
        if (!planned.IsSafe()) {
            tally.RecordUnsafe(planned, packed, unpacked, source.UnsafeCode());
            source.Skip();
            continue;
        }
        CXEntryWrite write;
        if (!tally.BeginEntry(planner, planned, packed, unpacked, entry.m_nCrc, write)) {
            source.Skip();
            continue;
        }

        // Between chunks: the pause gate, and now and then the entry's progress. A stop lets the entry
        // finish; the next entry is not started.
        qint64 shown = 0;
        const auto onChunk = [&](qint64 done) {
            run.Check();
            if (done >= shown + kProgressStep && ctx.m_pHost) {
                shown = done;
                ctx.m_pHost->EntryProgress(qMin(done, unpacked), unpacked);
            }
        };
        // Extracted ahead on another core: the same bytes, already checked against the entry's size and
        // CRC-32, moved into place of the temporary file.
        QString fetched;
        if (ctx.m_pPrefetch && ctx.m_pPrefetch->Take(index, entry, &fetched)) {
            QString error;
            if (zelvano::platform::RenameNoReplace(fetched, write.m_strTemp, &error)) {
                DateTakeoutPicture(takeout, index, write.m_strTemp, archive);
                WriteSidecarOfPicture(ctx, takeout, index, planner);
                source.Skip();
                tally.FinishEntry(write, 0);
                continue;
            }
            QFile::remove(fetched);
        }
        const int result = source.ExtractTo(write.m_strTemp, onChunk);
        if (result == 0) {
            DateTakeoutPicture(takeout, index, write.m_strTemp, archive);
            WriteSidecarOfPicture(ctx, takeout, index, planner);
        }
        tally.FinishEntry(write, result, result != 0 ? source.FailureReason(result) : QString());
    }
    // An archive the stop cut short is not unpacked, whatever its entries so far did: it must never
    // count as a success that a later deletion could act on.
    return end();
}
