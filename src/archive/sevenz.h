#pragma once

// A small layer over libarchive's 7z reader: an owning archive handle, the entry record, a listing and
// the extraction of the current entry. 7z archives are usually solid, so entries are read in archive
// order in one pass: a caller that wants several entries walks Next() and extracts the ones it wants
// as it meets them. Every outcome is one of the result codes below.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QIODevice;

enum SevenZResult : int
{
    SevenZOk = 0,
    SevenZEnd = 1,                // no more entries
    SevenZOpenError = 2,          // the file cannot be read, or it is no 7z archive
    SevenZBadArchive = 3,         // the archive's headers are damaged
    SevenZBadData = 4,            // an entry's data are damaged, or longer or shorter than declared
    SevenZEncrypted = 5,          // encrypted data or headers: there is no password to read them with
    SevenZRefusedLink = 6,        // a link entry: links are never created
    SevenZRefusedDestination = 7, // the output path is not safe, or a link is in the way
    SevenZCreateError = 8,        // the output file could not be created
    SevenZWriteError = 9,         // the output could not be written
    SevenZStopped = 10,           // the chunk hook asked to stop
    SevenZNotOpen = 11,           // no archive is open
    SevenZNoEntry = 12,           // no current entry, or its data were read already
    SevenZFolder = 13,            // the current entry is a folder: it has no data
};

struct SevenZEntry
{
    QString name;       // path inside the archive as UTF-8 text, "/" separated
    quint64 size = 0;   // the declared size of the data
    QDateTime modified; // UTC; invalid when the archive holds none
    QString linkTarget; // of a link entry
    bool isDirectory = false;
    bool isLink = false;
    bool isEncrypted = false;
};

// Called between chunks of data with the bytes written so far; false stops the extraction.
using SevenZChunkHook = std::function<bool(qint64 done)>;

// An open 7z archive. Always closed by its destructor. One thread uses one handle.
class SevenZArchive
{
public:
    SevenZArchive();
    ~SevenZArchive();
    SevenZArchive(const SevenZArchive&) = delete;
    SevenZArchive& operator=(const SevenZArchive&) = delete;

    // Opens the file and reads the first header, so a file that is no 7z archive (or whose headers are
    // encrypted) fails here. 0 or a result code.
    int Open(const QString& path);
    // The same over bytes in memory (copied).
    int OpenMemory(const QByteArray& data);
    // 0 with the next entry, SevenZEnd after the last one, else the code of the fault that ends the
    // reading. The data of an entry not extracted are passed over.
    int Next(SevenZEntry& entry);
    // Writes the current entry's data to out in chunks, never more than its declared size; data that
    // end early or run past that size, or fail their check, give SevenZBadData. Links, folders and
    // encrypted entries are refused without writing.
    int ReadData(QIODevice& out, const SevenZChunkHook& hook = {});
    // Writes the current entry to path (an absolute, safe path; a link there is never followed), giving
    // the file the stored modification time. A failed write leaves no file behind.
    int ExtractTo(const QString& path, const SevenZChunkHook& hook = {});
    void Close();

    bool IsOpen() const { return m_pArchive != nullptr; }
    // The library's text for the last fault, for diagnostics.
    QString ErrorText() const { return m_strError; }

private:
    // Why the current entry's data cannot be read (SevenZOk when they can).
    int CurrentRefusal() const;
    int Start(std::unique_ptr<QIODevice> device);
    int HeaderResult(int status);

    struct Reader;
    void* m_pArchive = nullptr;
    std::unique_ptr<Reader> m_pReader;
    SevenZEntry m_current;
    bool m_bHasCurrent = false;
    bool m_bPending = false; // the first header, read by Open, not yet handed out
    int m_nPendingResult = 0;
    QString m_strError;
};

// Lists every entry, handing each to onEntry; onEntry returns false to stop. Returns 0 when the end was
// reached or the listing was stopped, else the open result or the code that ended the listing. opened
// tells an open failure from a later one.
int SevenZListArchive(const QString& path, const std::function<bool(const SevenZEntry&)>& onEntry,
                      bool* opened = nullptr);

// The result code's name ("SevenZBadData", ...).
const char* SevenZResultName(int result);
// The result in the user's words, for the results and the reports.
QString SevenZFailureReason(int result);

// The libarchive release in use ("3.6.2").
QString SevenZLibraryVersion();
