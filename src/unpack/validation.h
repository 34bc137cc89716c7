#pragma once

#include "unpack/destination.h"

#include <QString>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <future>

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
inline QString LinkEntry()
{
    return QStringLiteral("Links are not extracted");
}
inline QString LargerThanListed()
{
    return QStringLiteral("The entry is larger than its listed size");
}
} // namespace zelvano::reason

// What the validation of one written file found.
struct CXValidationOutcome
{
    bool m_bExists = true;
    bool m_bLoads = true;       // stays true when not measured
    bool m_bSizeMatches = true; // stays true when not measured
    bool m_bValid = true;
    quint64 m_nSize = 0;
    QString m_strReason;
};

// Validates one written file at a validation level (the settings value: 0 exists, 1 and the size
// matches, 2 and it loads as a picture; any other value counts as 0). An extraction result other
// than 0 makes the entry invalid at every level. loads answers the picture test (level 2 only, for
// picture kinds, and only when the file exists with the right size).
CXValidationOutcome ValidateFile(int level, const QString& path, qint64 unpackedSize, int result,
                                 const std::function<bool(const QString&)>& loads);

// The figures of one archive's extraction: counters, failure records and the success flag, the
// duplicate rule and the validation of each written file. Shared by the ZIP and the RAR extraction.
//
// At level 2 the picture tests run on other threads while the next entries are extracted: a few may be
// in flight at once (one per core, at least two), so that the decoding, which costs several times the
// extraction, keeps every core busy. Outcomes are applied strictly in entry order and before anything of
// a later entry, so counters, records and status texts keep entry order. The host's ValidateImage is
// then called from those threads, possibly from several at once.
class CXArchiveTally
{
public:
    CXArchiveTally(CXUnpackContext& ctx, CXArchiveFile& archive);
    ~CXArchiveTally();
    CXArchiveTally(const CXArchiveTally&) = delete;
    CXArchiveTally& operator=(const CXArchiveTally&) = delete;

    // The second line of the status strip.
    void Status(const QString& text);

    // The duplicate rule, before an entry is written. True when the entry is passed over: the path
    // exists and overwriting is off ("Skipping: " shown, counted as skipped; when the existing file is
    // not a regular file of the entry's size it is also a failed entry, since the picture was not
    // written). With overwriting on, the existing file is deleted first and false is returned.
    bool HandleExisting(const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize);

    // A failed entry.
    void RecordFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                       bool exists, bool loads, bool sizeMatches, const QString& reason);
    // An entry that got no output path (its planned path carries the reason).
    void RecordUnsafe(const CXPlannedPath& planned, qint64 packedSize, qint64 unpackedSize, int result = 0);

    // After the extraction call: records a call that failed and left no file; otherwise validates the
    // file. resultName names the code in the failure reason.
    void AfterExtraction(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                         const QString& resultName = QString());
    // The validation of one written file (the call succeeded or left a file).
    void ValidateExtractedFile(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize,
                               int result, const QString& resultName = QString());

    // The archive did not open: nothing was listed, and the archive must not count as extracted.
    void MarkNotOpened() { m_bSuccess = false; }
    // Applies what is still pending, stores the counters into the archive, clears the status line.
    // Returns the success flag.
    bool Finish();

private:
    struct Pending
    {
        QString m_strPath, m_strName, m_strResultName;
        qint64 m_nPacked = 0, m_nUnpacked = 0;
        int m_nResult = 0;
        std::future<CXValidationOutcome> m_outcome;
    };

    // Applies pending outcomes, oldest first, until at most keep remain in flight.
    void Drain(size_t keep = 0);
    // Records a failed entry without applying pending outcomes first.
    void AppendFailure(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
                       bool exists, bool loads, bool sizeMatches, const QString& reason);
    void Apply(const QString& path, const QString& name, qint64 packedSize, qint64 unpackedSize, int result,
               const QString& resultName, const CXValidationOutcome& outcome);
    bool LoadsAsPictureViaHost(const QString& path) const;

    CXUnpackContext& m_ctx;
    CXArchiveFile& m_archive;
    int m_nLevel = 0;
    bool m_bOverwrite = false;
    size_t m_nMaxInFlight = 1;
    std::deque<Pending> m_pending; // oldest first

    qint32 m_nSkipped = 0;
    qint32 m_nErrors = 0;
    qint32 m_nExtracted = 0;
    quint64 m_nBytes = 0;
    bool m_bSuccess = true;
};
