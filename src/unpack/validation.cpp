#include "unpack/validation.h"

#include "archive/junk.h"
#include "archive/pathrules.h"
#include "common/workerhost.h"
#include "platform/files.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/checkpool.h"
#include "unpack/imagecheck.h"
#include "unpack/tempfiles.h"
#include "unpack/unpackcontext.h"

#include <zlib.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <exception>

int GetImageKind(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return -1;
    const QString ext = path.mid(dot).toLower();
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return 0;
    if (ext == QLatin1String(".bmp"))
        return 1;
    if (ext == QLatin1String(".png"))
        return 2;
    if (ext == QLatin1String(".tif") || ext == QLatin1String(".tiff"))
        return 3;
    if (ext == QLatin1String(".gif"))
        return 4;
    return -1;
}

bool IsDuplicate(const QString& path)
{
    return zelvano::platform::AnythingAt(path);
}

CXValidationOutcome ValidateFile(int level, const QString& path, qint64 unpackedSize, int result,
                                 const std::function<bool(const QString&)>& loads, const QString& namePath)
{
    CXValidationOutcome out;
    const QFileInfo info(path);
    out.m_bExists = info.isFile();
    out.m_nSize = out.m_bExists ? quint64(info.size()) : 0;
    const bool sizeMatches = out.m_bExists && out.m_nSize == quint64(unpackedSize);
    out.m_bSizeExact = sizeMatches;

    switch (level) {
    case ValidateSize:
        out.m_bSizeMatches = sizeMatches;
        out.m_bValid = out.m_bExists && sizeMatches;
        break;
    case ValidateLoads:
        out.m_bSizeMatches = sizeMatches;
        out.m_bValid = out.m_bExists && sizeMatches;
        // The picture test only where it can still change the verdict.
        if (out.m_bValid && result == 0 && GetImageKind(namePath.isEmpty() ? path : namePath) != -1) {
            out.m_bLoads = loads && loads(path);
            out.m_bValid = out.m_bLoads;
        }
        break;
    default:
        out.m_bValid = out.m_bExists;
        break;
    }
    // A call that reported an error wrote a damaged or incomplete file, whatever the checks above say.
    if (result != 0)
        out.m_bValid = false;
    return out;
}

bool FileMatches(const QString& path, qint64 size, quint32 crc)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() != size)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    uLong sum = crc32(0L, Z_NULL, 0);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        sum = crc32(sum, reinterpret_cast<const Bytef*>(buffer.constData()), uInt(got));
        total += got;
    }
    return total == size && quint32(sum) == crc;
}

namespace {

// Entries waiting for their picture test at most, per archive: each is a file on disk, not memory, but a
// single slow test must not let an unbounded number of finished ones pile up behind it.
constexpr size_t kMaxPending = 64;

} // namespace

CXArchiveTally::CXArchiveTally(CXUnpackContext& ctx, CXArchiveFile& archive) : m_ctx(ctx), m_archive(archive)
{
    if (ctx.m_pSettings) {
        m_nLevel = ctx.m_pSettings->m_nValidationLevel;
        m_bOverwrite = ctx.m_pSettings->m_bOverwritePhotos != 0;
    }
    if (m_nLevel < ValidateExists || m_nLevel > ValidateLoads)
        m_nLevel = ValidateExists;
    m_ctx.m_openTallies.push_back(this);
}

CXArchiveTally::~CXArchiveTally()
{
    // Never leave a picture test running past the archive, nor a temporary file behind.
    for (Pending& pending : m_pending) {
        if (pending.m_outcome.valid())
            pending.m_outcome.wait();
        QFile::remove(pending.m_write.m_strTemp);
    }
    std::erase(m_ctx.m_openTallies, this);
}

void CXArchiveTally::Status(const QString& text)
{
    if (m_ctx.m_pHost)
        m_ctx.m_pHost->StatusText(1, text);
}

bool CXArchiveTally::LoadsAsPictureHere(const QString& path) const
{
    return m_ctx.m_pictureCheck ? m_ctx.m_pictureCheck(path) : LoadsAsPicture(path);
}

void CXArchiveTally::Verified(const QString& path)
{
    m_arrOnDisk.append(path);
}

bool CXArchiveTally::HasPendingFor(const QString& path) const
{
    return std::any_of(m_pending.begin(), m_pending.end(),
                       [&](const Pending& p) { return p.m_write.m_strFinal == path; });
}

void CXArchiveTally::SettlePath(const QString& path)
{
    // The run's tallies in the order their archives started: an earlier archive's entry decides first.
    for (CXArchiveTally* tally : m_ctx.m_openTallies) {
        if (tally->HasPendingFor(path))
            tally->Drain();
    }
}

bool CXArchiveTally::BeginEntry(CXDestinationPlanner& planner, const CXPlannedPath& planned, qint64 packedSize,
                                qint64 unpackedSize, quint32 crc, CXEntryWrite& write)
{
    const QString& path = planned.m_strPath;
    // An entry still in flight for this very path (of this archive or an earlier one) decides what stands
    // there: settle it first.
    SettlePath(path);

    // A file at the path is passed over. Only the same picture (a regular file of the entry's size and
    // CRC-32) stands for the entry; anything else is a failed entry, so its archive stays.
    // A clash with this run's own file is a failure, not a skip; any other existing file counts as skipped.
    const auto skip = [&](const QString& whyNotSame, bool clash) {
        const bool same = FileMatches(path, unpackedSize, crc);
        if (same || !clash) {
            Status(QStringLiteral("Skipping: %1").arg(planned.m_strDisplayName));
            ++m_nSkipped;
        }
        if (same)
            Verified(path);
        else
            RecordFailure(path, planned.m_strDisplayName, packedSize, unpackedSize, 0, true, true, false, whyNotSame);
        return false;
    };
    // Put in place by this run (this archive or an earlier one): never replaced in this run.
    const auto written = m_ctx.m_written.constFind(path);
    if (written != m_ctx.m_written.constEnd())
        return skip(zelvano::reason::WrittenByThisRun(written->m_strSource), true);
    if (IsDuplicate(path) && !m_bOverwrite)
        return skip(zelvano::reason::DifferentFileExists(), false);

    if (!planner.CreateFolderFor(planned)) {
        RecordFailure(path, planned.m_strDisplayName, packedSize, unpackedSize, 0, false, false, false,
                      zelvano::reason::FolderNotCreated());
        return false;
    }
    const QString folder = path.left(path.lastIndexOf(QLatin1Char('/')));
    if (!m_ctx.m_cleanedFolders.contains(folder)) {
        m_ctx.m_cleanedFolders.insert(folder);
        RemoveStaleTempFiles(folder);
    }
    write.m_strFinal = path;
    write.m_strTemp = NewTempPath(folder);
    write.m_strName = planned.m_strDisplayName;
    write.m_nPacked = packedSize;
    write.m_nUnpacked = unpackedSize;
    write.m_nCrc = crc;
    Status(planned.m_strDisplayName);
    return true;
}

void CXArchiveTally::RecordFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize,
                                   int result, bool exists, bool loads, bool sizeMatches, const QString& reason)
{
    // Every earlier entry's outcome goes first.
    Drain();
    AppendFailure(path, name, packedSize, unpackedSize, result, exists, loads, sizeMatches, reason);
}

void CXArchiveTally::AppendFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize,
                                   int result, bool exists, bool loads, bool sizeMatches, const QString& reason)
{
    CXArchiveItem item;
    item.m_strName = name;
    item.m_strPath = path;
    item.m_nPackedSize = packedSize;
    item.m_nUnpackedSize = unpackedSize;
    item.m_nResult = result;
    item.m_bExists = exists ? 1 : 0;
    item.m_bLoads = loads ? 1 : 0;
    item.m_bSizeMatches = sizeMatches ? 1 : 0;
    item.m_strReason = reason;
    m_archive.m_arrFailedItems.append(item);
    ++m_nErrors;
    m_bSuccess = false;
}

void CXArchiveTally::RecordUnsafe(const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize, int result)
{
    RecordFailure(planned.m_strPath, planned.m_strDisplayName, packedSize, unpackedSize, result, false, false, false,
                  planned.m_strReason);
}

void CXArchiveTally::RecordOtherFile(const QString& entryName)
{
    constexpr int kNamesShown = 3;
    ++m_nOtherFiles;
    if (m_arrOtherFiles.size() < kNamesShown) {
        m_arrOtherFiles.append(zelvano::pathrules::LastPart(NormalizedEntryName(entryName)).toString());
    }
}

void CXArchiveTally::FinishEntry(const CXEntryWrite& write, int result, const QString& reason)
{
    if (result != 0) {
        QFile::remove(write.m_strTemp);
        RecordFailure(write.m_strFinal, write.m_strName, write.m_nPacked, write.m_nUnpacked, result, false, false,
                      false, reason.isEmpty() ? zelvano::reason::ExtractionFailed(result) : reason);
        return;
    }
    const int level = m_nLevel;
    const QString temp = write.m_strTemp;
    const QString final = write.m_strFinal;
    const qint64 unpacked = write.m_nUnpacked;
    // A copy: a test may run after this tally is gone from the caller's view (never after its end).
    const std::function<bool(const QString&)> check = m_ctx.m_pictureCheck;
    const auto loads = [check](const QString& p) { return check ? check(p) : LoadsAsPicture(p); };
    if (level == ValidateLoads && GetImageKind(final) != -1) {
        ApplyReady();
        if (m_pending.size() >= kMaxPending)
            Drain(kMaxPending - 1);
        // The pool is started by the first picture that needs it: levels 1 and 2 never start it.
        if (!m_ctx.m_pChecks)
            m_ctx.m_pChecks = std::make_shared<CXCheckPool>();
        Pending pending{write, m_ctx.m_pChecks->Submit([level, temp, final, unpacked, loads] {
                            return ValidateFile(level, temp, unpacked, 0, loads, final);
                        })};
        m_pending.push_back(std::move(pending));
        return;
    }
    Drain();
    Apply(write, ValidateFile(level, temp, unpacked, 0, loads, final));
}

void CXArchiveTally::Drain(size_t keep)
{
    while (m_pending.size() > keep) {
        Pending pending = std::move(m_pending.front());
        m_pending.pop_front();
        CXValidationOutcome outcome;
        try {
            outcome = pending.m_outcome.get();
        } catch (const std::exception&) {
            // The test never ran (no pool left to run it): the picture is not proven.
            outcome.m_bValid = false;
            outcome.m_bLoads = false;
        }
        Apply(pending.m_write, outcome);
    }
}

void CXArchiveTally::ApplyReady()
{
    while (!m_pending.empty() &&
           m_pending.front().m_outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        Drain(m_pending.size() - 1);
}

bool CXArchiveTally::Settled()
{
    ApplyReady();
    return m_pending.empty();
}

void CXArchiveTally::Close()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    Status(QString());
}

bool CXArchiveTally::Commit(const CXEntryWrite& write, QString* reason)
{
    QString error;
    const bool placed = m_bOverwrite ? zelvano::platform::RenameReplace(write.m_strTemp, write.m_strFinal, &error)
                                     : zelvano::platform::RenameNoReplace(write.m_strTemp, write.m_strFinal, &error);
    if (placed)
        return true;
    QFile::remove(write.m_strTemp);
    // Something took the name while the entry was written: it is not ours to replace.
    *reason = !m_bOverwrite && IsDuplicate(write.m_strFinal) ? zelvano::reason::DifferentFileExists()
                                                             : zelvano::reason::NotPutInPlace(error);
    return false;
}

void CXArchiveTally::Apply(const CXEntryWrite& write, const CXValidationOutcome& outcome)
{
    // Only a file of exactly the listed size that passed its level takes the final name.
    if (outcome.m_bValid && outcome.m_bSizeExact) {
        QString reason;
        if (Commit(write, &reason)) {
            ++m_nExtracted;
            m_nBytes += outcome.m_nSize;
            m_ctx.m_written.insert(write.m_strFinal,
                                   CXWrittenFile{quint64(write.m_nUnpacked), write.m_nCrc,
                                                 m_archive.m_strFileName + QStringLiteral(": ") + write.m_strName});
            Verified(write.m_strFinal);
            return;
        }
        AppendFailure(write.m_strFinal, write.m_strName, write.m_nPacked, write.m_nUnpacked, 0, false, true, true,
                      reason);
        return;
    }
    QFile::remove(write.m_strTemp);
    // Called while draining: later outcomes may still be pending and must stay behind this record.
    AppendFailure(write.m_strFinal, write.m_strName, write.m_nPacked, write.m_nUnpacked, 0, outcome.m_bExists,
                  outcome.m_bLoads, outcome.m_bSizeMatches && outcome.m_bSizeExact, outcome.m_strReason);
}

bool CXArchiveTally::Finish()
{
    Drain();
    m_archive.m_nSkipped = m_nSkipped;
    m_archive.m_nErrors = m_nErrors;
    m_archive.m_nExtracted = m_nExtracted;
    m_archive.m_nBytesOnDisk = m_nBytes;
    m_archive.m_nOtherFiles = m_nOtherFiles;
    m_archive.m_arrOtherFiles = m_arrOtherFiles;
    Close();
    return m_bSuccess;
}
