#include "unpack/validation.h"

#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/imagecheck.h"
#include "unpack/unpackcontext.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <system_error>
#include <thread>

int GetImageKind(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
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
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

CXValidationOutcome ValidateFile(int level, const QString& path, qint64 unpackedSize, int result,
                                 const std::function<bool(const QString&)>& loads)
{
    CXValidationOutcome out;
    const QFileInfo info(path);
    out.m_bExists = info.isFile();
    out.m_nSize = out.m_bExists ? quint64(info.size()) : 0;
    const bool sizeMatches = out.m_bExists && out.m_nSize == quint64(unpackedSize);

    switch (level) {
    case 1:
        out.m_bSizeMatches = sizeMatches;
        out.m_bValid = out.m_bExists && sizeMatches;
        break;
    case 2:
        out.m_bSizeMatches = sizeMatches;
        out.m_bValid = out.m_bExists && sizeMatches;
        // The picture test only where it can still change the verdict.
        if (out.m_bValid && result == 0 && GetImageKind(path) != -1) {
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

CXArchiveTally::CXArchiveTally(CXUnpackContext& ctx, CXArchiveFile& archive) : m_ctx(ctx), m_archive(archive)
{
    if (ctx.m_pSettings) {
        m_nLevel = ctx.m_pSettings->m_nValidationLevel;
        m_bOverwrite = ctx.m_pSettings->m_bOverwritePhotos != 0;
    }
    if (m_nLevel < 0 || m_nLevel > 2)
        m_nLevel = 0;
    // Decoding costs about three times the extraction of the same bytes: with one test in flight the
    // extracting thread mostly waits for it. One per core keeps every core decoding while this thread
    // extracts; each holds at most one file's bytes (bounded in imagecheck), so memory stays flat.
    m_nMaxInFlight = std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 4);
}

CXArchiveTally::~CXArchiveTally()
{
    // Never leave a picture test running past the archive.
    for (Pending& pending : m_pending)
        if (pending.m_outcome.valid())
            pending.m_outcome.wait();
}

void CXArchiveTally::Status(const QString& text)
{
    if (m_ctx.m_pHost)
        m_ctx.m_pHost->StatusText(1, text);
}

bool CXArchiveTally::LoadsAsPictureViaHost(const QString& path) const
{
    return m_ctx.m_pHost ? m_ctx.m_pHost->ValidateImage(path) : LoadsAsPicture(path);
}

bool CXArchiveTally::HandleExisting(const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize)
{
    const QString& path = planned.m_strPath;
    // A picture test still in flight may read this very path (an archive may hold a name twice).
    if (std::any_of(m_pending.begin(), m_pending.end(), [&](const Pending& p) { return p.m_strPath == path; }))
        Drain();
    if (!IsDuplicate(path))
        return false;
    if (m_bOverwrite) {
        QFile::remove(path); // a failure shows in the extraction that follows
        return false;
    }

    Status(QStringLiteral("Skipping: %1").arg(planned.m_strDisplayName));
    ++m_nSkipped;
    // Only the same picture may stand in for the entry: a regular file of its size. Anything else means
    // the picture is not on disk, so the archive must not count as safely unpacked.
    const QFileInfo info(path);
    const bool regular = info.isFile() && !info.isSymLink();
    const bool sizeMatches = regular && quint64(info.size()) == quint64(unpackedSize);
    if (!sizeMatches)
        RecordFailure(path, planned.m_strDisplayName, packedSize, unpackedSize, 0, true, true, false,
                      zelvano::reason::DifferentFileExists());
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

void CXArchiveTally::AfterExtraction(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize,
                                     int result, const QString& resultName)
{
    if (result != 0 && !IsDuplicate(path)) {
        RecordFailure(path, name, packedSize, unpackedSize, result, false, false, false,
                      zelvano::reason::ExtractionFailed(result, resultName));
        return;
    }
    ValidateExtractedFile(path, name, packedSize, unpackedSize, result, resultName);
}

void CXArchiveTally::ValidateExtractedFile(const QString& path, const QString& name, qint64 packedSize,
                                           qint64 unpackedSize, int result, const QString& resultName)
{
    const int level = m_nLevel;
    const auto loads = [this](const QString& p) { return LoadsAsPictureViaHost(p); };
    if (level == 2 && result == 0 && GetImageKind(path) != -1) {
        // Make room: the oldest test is applied first, so outcomes keep entry order.
        Drain(m_nMaxInFlight - 1);
        Pending pending{path, name, resultName, packedSize, unpackedSize, result, {}};
        try {
            pending.m_outcome = std::async(std::launch::async, [level, path, unpackedSize, result, loads] {
                return ValidateFile(level, path, unpackedSize, result, loads);
            });
            m_pending.push_back(std::move(pending));
            return;
        } catch (const std::system_error&) {
            // No other thread to be had: validate here.
        }
    }
    Drain();
    Apply(path, name, packedSize, unpackedSize, result, resultName,
          ValidateFile(level, path, unpackedSize, result, loads));
}

void CXArchiveTally::Drain(size_t keep)
{
    while (m_pending.size() > keep) {
        Pending pending = std::move(m_pending.front());
        m_pending.pop_front();
        const CXValidationOutcome outcome = pending.m_outcome.get();
        Apply(pending.m_strPath, pending.m_strName, pending.m_nPacked, pending.m_nUnpacked, pending.m_nResult,
              pending.m_strResultName, outcome);
    }
}

void CXArchiveTally::Apply(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                           const QString& resultName, const CXValidationOutcome& outcome)
{
    if (outcome.m_bValid) {
        ++m_nExtracted;
        m_nBytes += outcome.m_nSize;
        return;
    }
    const QString reason = result != 0 ? zelvano::reason::ExtractionFailed(result, resultName) : outcome.m_strReason;
    // Called while draining: later outcomes may still be pending and must stay behind this record.
    AppendFailure(path, name, packedSize, unpackedSize, result, outcome.m_bExists, outcome.m_bLoads,
                  outcome.m_bSizeMatches, reason);
    if (outcome.m_bExists) {
        ++m_nExtracted;
        m_nBytes += outcome.m_nSize;
    }
}

bool CXArchiveTally::Finish()
{
    Drain();
    m_archive.m_nSkipped = m_nSkipped;
    m_archive.m_nErrors = m_nErrors;
    m_archive.m_nExtracted = m_nExtracted;
    m_archive.m_nBytesOnDisk = m_nBytes;
    Status(QString());
    return m_bSuccess;
}
