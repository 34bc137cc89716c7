#pragma once

#include "unpack/destination.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <future>
#include <utility>

class CXArchiveFile;
struct CXArchiveItem;
struct CXUnpackContext;

// The picture kind the load check covers, by extension: 0 JPEG, 1 BMP, 2 PNG, 3 TIFF, 4 GIF, -1 other.
int GetImageKind(const QString& path);
// The duplicate test: anything at the path, a dangling link included.
bool IsDuplicate(const QString& path);

namespace zelvano::reason {
// An extraction call that reported an error; name is the code's name when one is known.
inline QString ExtractionFailed(int code, const QString& name = QString())
{
    return name.isEmpty() ? QStringLiteral("Extraction failed (code %1)").arg(code)
                          : QStringLiteral("Extraction failed (%1, code %2)").arg(name).arg(code);
}
inline QString DifferentFileExists()
{
    return QStringLiteral("A different file with this name already exists");
}
inline QString WrittenByThisRun(const QString& source)
{
    return QStringLiteral("A different picture with this name was already written in this run (%1)").arg(source);
}
inline QString LinkEntry()
{
    return QStringLiteral("The entry is a link; links are not extracted");
}
// An encrypted entry or archive whose password the run does not know.
inline QString EncryptedNoPassword()
{
    return QStringLiteral("Encrypted: no password");
}
inline QString FolderNotCreated()
{
    return QStringLiteral("The folder could not be created");
}
inline QString NotPutInPlace(const QString& error)
{
    return QStringLiteral("The picture could not be put in place (%1)").arg(error);
}
} // namespace zelvano::reason

// What the validation of one written file found.
struct CXValidationOutcome
{
    bool m_bExists = true;
    bool m_bLoads = true;       // stays true when not measured
    bool m_bSizeMatches = true; // stays true when not measured
    bool m_bValid = true;
    bool m_bSizeExact = false; // the size equals the listed size, measured at every level
    quint64 m_nSize = 0;
    QString m_strReason;
};

// Validates one written file at a validation level (the settings value: 0 exists, 1 and the size
// matches, 2 and it loads as a picture; any other value counts as 0). An extraction result other
// than 0 makes the entry invalid at every level. loads answers the picture test (level 2 only, for
// picture kinds, and only when the file exists with the right size). The picture kind comes from
// namePath when given (a temporary file has no picture extension), else from path.
CXValidationOutcome ValidateFile(int level, const QString& path, qint64 unpackedSize, int result,
                                 const std::function<bool(const QString&)>& loads, const QString& namePath = QString());

// True when path is a regular file (not a link) of the given size whose CRC-32 is crc: the same
// picture, so it may stand for the entry.
bool FileMatches(const QString& path, qint64 size, quint32 crc);

// One entry on its way to disk: written to a temporary file beside its final path, put in place by an
// atomic rename only when its checks pass.
struct CXEntryWrite
{
    QString m_strFinal; // the planned output path
    QString m_strTemp;  // the temporary file beside it
    QString m_strName;  // the name shown for it
    qint64 m_nPacked = 0;
    qint64 m_nUnpacked = 0;
    quint32 m_nCrc = 0;
};

// The figures of one archive's extraction: counters, failure records and the success flag, the
// duplicate rule, the validation of each written file and the step that puts it in place. Shared by
// the ZIP and the RAR extraction.
//
// Every entry is written to a temporary file and renamed to its final name only after the extraction
// call reported no error (size and CRC checked), its size equals the listed size and it passes the
// validation level; so an existing file is replaced only by a proven one, and a failed entry leaves
// nothing behind. A file this run already put in place is never replaced in this run: an entry with the
// same contents is a verified duplicate, any other fails.
//
// At level 2 the picture tests run on the run's check pool while the next entries are extracted. Outcomes
// are applied strictly in entry order, so counters and records keep entry order; ready ones are applied
// as the extraction goes on, and an archive's last tests may still run while the next archive is
// extracted (see Close and Settled). The picture check is then called from the pool's threads, possibly
// from several at once.
class CXArchiveTally
{
public:
    CXArchiveTally(CXUnpackContext& ctx, CXArchiveFile& archive);
    ~CXArchiveTally();
    CXArchiveTally(const CXArchiveTally&) = delete;
    CXArchiveTally& operator=(const CXArchiveTally&) = delete;

    // The second line of the status strip.
    void Status(const QString& text);

    // The duplicate rules and the preparation of the write. False when the entry is done with: a
    // verified duplicate (counted as skipped) or a failed entry (recorded). True when it is to be written
    // to write.m_strTemp (its folder now exists).
    bool BeginEntry(CXDestinationPlanner& planner, const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize,
                    quint32 crc, CXEntryWrite& write);
    // After the extraction call into the temporary file: a call that failed is recorded (with reason, or
    // a generic one naming the code) and its file removed; otherwise the file is validated and, when it
    // passes, put in place.
    void FinishEntry(const CXEntryWrite& write, int result, const QString& reason = QString());

    // A failed entry.
    void RecordFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                       bool exists, bool loads, bool sizeMatches, const QString& reason);
    // An entry that got no output path (its planned path carries the reason).
    void RecordUnsafe(const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize, int result = 0);
    // An entry that is left inside the archive: not a picture, not a folder, not known junk.
    void RecordOtherFile(const QString& entryName);

    // The archive did not open: nothing was listed, and the archive must not count as extracted.
    void MarkNotOpened() { m_bSuccess = false; }
    // The extraction is over: no more entries come, and the status line is cleared. Tests may still be
    // in flight.
    void Close();
    // Applies the outcomes that are ready; true when none is pending any more.
    bool Settled();
    // Waits for every pending test and applies its outcome.
    void Settle() { Drain(); }
    // True when an entry for path waits for its test.
    bool HasPendingFor(const QString& path) const;
    // Applies what is still pending, stores the counters into the archive and, unless Close did,
    // clears the status line. Returns the success flag.
    bool Finish();
    // The files that stand for the archive's pictures (written, or verified duplicates), in entry order.
    QStringList TakeOnDisk() { return std::exchange(m_arrOnDisk, {}); }
    // A file written beside the pictures that stands for an entry (a photo export's sidecar): it must be
    // durable before the archive goes, as the pictures must.
    void AccountedOnDisk(const QString& path) { Verified(path); }

private:
    struct Pending
    {
        CXEntryWrite m_write;
        std::future<CXValidationOutcome> m_outcome;
    };

    // Applies pending outcomes, oldest first, until at most keep remain in flight.
    void Drain(size_t keep = 0);
    // Applies the oldest outcomes that are ready, without waiting.
    void ApplyReady();
    // Settles an entry for path that any tally of the run still holds in flight.
    void SettlePath(const QString& path);
    // Records a failed entry without applying pending outcomes first.
    void AppendFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                       bool exists, bool loads, bool sizeMatches, const QString& reason);
    void Apply(const CXEntryWrite& write, const CXValidationOutcome& outcome);
    // Puts a proven file in place; false (with the reason) when the rename failed.
    bool Commit(const CXEntryWrite& write, QString* reason);
    void Verified(const QString& path);
    bool LoadsAsPictureHere(const QString& path) const;

    CXUnpackContext& m_ctx;
    CXArchiveFile& m_archive;
    int m_nLevel = 0;
    bool m_bOverwrite = false;
    bool m_bClosed = false;
    std::deque<Pending> m_pending; // oldest first
    QStringList m_arrOnDisk;

    qint32 m_nSkipped = 0;
    qint32 m_nErrors = 0;
    qint32 m_nExtracted = 0;
    quint64 m_nBytes = 0;
    qint32 m_nOtherFiles = 0;
    QStringList m_arrOtherFiles;
    bool m_bSuccess = true;
};
