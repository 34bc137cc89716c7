#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class CXArchiveFile;
class CXJunkRules;
struct CXUnpackContext;

// One entry as an archive format presents it to the extraction loop.
struct CXSourceEntry
{
    QString m_strName;       // the stored name (for the junk rules and the names of other files)
    QString m_strOutputName; // the name the output path is planned from
    qint64 m_nPacked = 0;
    qint64 m_nUnpacked = 0;
    quint32 m_nCrc = 0;
    bool m_bFolder = false;
    bool m_bLink = false;
    bool m_bEncrypted = false;
    bool m_bContinued = false; // a part of a file continued from an earlier volume
    int m_nDamage = 0;         // not 0: the entry's own record is damaged (this code), nothing can be written
};

// What the extraction loop needs of one archive format.
class CXArchiveSource
{
public:
    static constexpr int kEnd = -1;

    virtual ~CXArchiveSource() = default;
    // Opens the archive; false when it cannot be read at all.
    virtual bool Open(const QString& path) = 0;
    // Every entry name, for the rules that look at an entry's neighbours.
    virtual void ListNames(CXJunkRules& rules) = 0;
    // 0 with the next entry, kEnd after the last one, else the code of a fault that ends the archive.
    virtual int Next(CXSourceEntry& entry) = 0;
    // Writes the current entry to path (a new file in an existing folder); 0 or the format's code.
    // onChunk is called between blocks of data with the bytes done (or -1 when unknown).
    virtual int ExtractTo(const QString& path, const std::function<void(qint64)>& onChunk) = 0;
    // Passes over the current entry.
    virtual void Skip() = 0;
    // True when Open failed only for want of a password (encrypted headers).
    virtual bool NeedsPassword() const { return false; }
    // Whether password opens this archive's encrypted data (for a ZIP, the current entry's), without
    // keeping anything written; and the password for the extractions from now on (empty for none).
    // A format that reads no encryption knows no password.
    virtual bool TestPassword(const QString& password)
    {
        (void)password;
        return false;
    }
    virtual void SetPassword(const QString& password) { (void)password; }
    // Why an entry failed with this result code of the format, as the results show it.
    virtual QString FailureReason(int code) const = 0;
    // The codes recorded for an entry refused for its output path, and for a link entry.
    virtual int UnsafeCode() const = 0;
    virtual int LinkCode() const = 0;
};

// The sources of the formats: a ZIP source needs the run's picture extensions (a folder entry named like a
// picture is written as a file).
std::unique_ptr<CXArchiveSource> NewZipSource(const QString& extensions);
std::unique_ptr<CXArchiveSource> NewRarSource();
std::unique_ptr<CXArchiveSource> NewSevenZSource();

// True when the loop writes this entry (a picture that is no folder, link, known junk, damaged or
// encrypted entry); the same rule for the loop and for the extraction ahead of it.
bool IsEntryToWrite(const CXSourceEntry& entry, const CXJunkRules& junk, const QString& extensions);

// The one extraction loop: every rule of the run (the pause gate, junk and other files, links,
// encryption, confinement, duplicates, the temporary file, validation and the tally) for any format.
// True when the archive opened, no entry failed and the run was not stopped. When the context asks for
// the hand-over, the tally goes to ctx.m_pHandedOver with its tests possibly in flight, and the result
// only says that the extraction ran to its end: the archive's success is that and the tally's Finish().
[[nodiscard]] bool ExtractArchive(CXUnpackContext& ctx, CXArchiveFile& archive, CXArchiveSource& source);
