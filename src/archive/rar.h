#pragma once

// A small layer over the UnRAR library: an owning archive handle, the entry record, and the three call
// sequences the program needs (open test, listing, extraction). Every outcome is a result code; the
// library's codes pass through unchanged, the few codes of our own start at 100.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>

enum RarResult : int
{
    RarSuccess = 0,
    RarEndArchive = 10,
    RarNoMemory = 11,
    RarBadData = 12,
    RarBadArchive = 13,
    RarUnknownFormat = 14,
    RarOpenError = 15,
    RarCreateError = 16,
    RarCloseError = 17,
    RarReadError = 18,
    RarWriteError = 19,
    RarSmallBuffer = 20,
    RarUnknown = 21,
    RarMissingPassword = 22,
    RarReference = 23,
    RarBadPassword = 24,
    // Ours: the entry is a link (symbolic, hard, junction, file copy); it is never created.
    RarRefusedLink = 100,
    // Ours: the destination is not a safe output path (empty, relative, "..", control characters) or is
    // an existing link; nothing is written.
    RarRefusedDestination = 101,
    // Ours: an operation on a handle that is not open.
    RarNotOpen = 102,
};

enum class RarOpenMode : unsigned
{
    List = 0,      // headers only
    Extract = 1,   // headers and data
    ListSplit = 2, // headers only, the parts of files split over volumes included
};

// The host system numbers of RAR4 headers. The library (6.2) reports only two of them, by the kind of
// attributes the entry carries: Win32 for archives made on Windows, MS-DOS, OS/2 or classic Mac OS
// (RAR4), and on Windows (RAR5); Unix for archives made on Unix or BeOS (RAR4), on Unix (RAR5), and for
// unknown systems. The others are kept so a header from another library version is still understood.
enum RarHostOs : quint32
{
    RarHostMsDos = 0,
    RarHostOs2 = 1,
    RarHostWin32 = 2,
    RarHostUnix = 3,
    RarHostMacOs = 4,
    RarHostBeOs = 5,
};

// The library's redirection (link) types.
enum RarRedirType : quint32
{
    RarRedirNone = 0,
    RarRedirUnixSymlink = 1,
    RarRedirWinSymlink = 2,
    RarRedirJunction = 3,
    RarRedirHardLink = 4,
    RarRedirFileCopy = 5,
};

struct RarEntry
{
    QString name;           // path inside the archive, separators as the library reports them
    quint32 attributes = 0; // Windows attribute bits or a Unix mode, depending on hostOs
    quint32 hostOs = 0;
    quint32 flags = 0; // the library's RHDF_* flags
    quint64 packedSize = 0;
    quint64 unpackedSize = 0;
    quint32 crc = 0;
    quint32 dosTime = 0; // MS-DOS date and time
    QDateTime modified;  // the high-resolution modification time when the archive holds one (UTC)
    quint32 redirType = RarRedirNone;
    QString redirTarget;

    bool isDirectory = false; // the library's directory flag, never the attributes
    bool isHidden = false;    // the hidden attribute of an archive made on Windows or DOS
    bool isLink = false;      // any redirection, or a Unix symbolic link by its mode
    bool isEncrypted = false;
    bool isSolid = false;
    bool splitBefore = false; // continued from the previous volume
    bool splitAfter = false;  // continued in the next volume
};

// True when the host numbers attribute bits the Windows way (hidden 0x02, directory 0x10).
bool RarHostUsesWindowsAttributes(quint32 hostOs);

// An open archive. Always closed by its destructor. One thread uses one handle.
class RarArchive
{
public:
    RarArchive();
    ~RarArchive();
    RarArchive(const RarArchive&) = delete;
    RarArchive& operator=(const RarArchive&) = delete;

    // Opens with a 2,000-byte comment buffer. The library never gets a volume it asks for: a missing
    // volume of a set ends the reading with RarOpenError and is named by MissingVolume. It gets the
    // password of SetPassword when it asks for one. Returns 0 or the library's open result; an archive
    // with encrypted headers gives RarMissingPassword without a password and RarBadPassword with a wrong one.
    int Open(const QString& path, RarOpenMode mode);
    // The password the library is given when it asks (for encrypted headers at Open, for encrypted data
    // at ExtractTo); empty for none, and then the library's question is refused. Kept across Open and Close.
    void SetPassword(const QString& password);
    bool HasPassword() const { return !m_password.isEmpty(); }
    // Clears the library's remembered password, so that it asks again at the next encrypted entry.
    void SetEmptyPassword();
    // 0 with the next header, 10 after the last one, else the library's code.
    int ReadHeader(RarEntry& entry);
    // Passes over the current entry (in the listing modes this never decompresses).
    int Skip();
    // Extracts the current entry to exactly destPath, an absolute path. What the library does there:
    // it creates or replaces the file, creates missing folders of the path, gives the file the stored
    // times and mode, and deletes it again when the data fail their check (RarBadData). For a link entry
    // it would create a symbolic link at destPath, or report success while creating nothing (absolute
    // links, hard links): so a link entry is skipped here and refused with RarRefusedLink. An existing
    // link at destPath, or a path that is not safe (relative, ".." parts, control characters), is refused
    // with RarRefusedDestination. Without a password an encrypted entry is skipped and gives
    // RarMissingPassword; with a wrong one the library gives RarBadPassword (RarBadData for the older
    // format, which has no password check) and leaves no file. Extracted files get owner read and write
    // permission and lose set-id and sticky bits.
    //
    // onData, when given, is called on this thread for every block of data the library unpacks, so a
    // pause gate can hold the extraction inside a large entry.
    int ExtractTo(const QString& destPath, const std::function<void()>& onData = {});
    // Decompresses and checks the current entry without writing it; 0 or the library's code.
    int TestCurrent();
    void Close();

    bool IsOpen() const { return m_handle != nullptr; }
    quint32 ArchiveFlags() const { return m_archiveFlags; } // the library's ROADF_* flags
    // A volume of a set (by its main header), and the first volume of one.
    bool IsVolume() const;
    bool IsFirstVolume() const;
    // The volumes the library went on to while reading, in order (full paths), after the opened one.
    const QStringList& NextVolumes() const { return m_nextVolumes; }
    // The volume the library asked for and did not find; empty when none was missing.
    const QString& MissingVolume() const { return m_missingVolume; }
    // The volume being read: the last one the library went on to, else the opened one.
    QString CurrentVolume() const { return m_nextVolumes.isEmpty() ? m_path : m_nextVolumes.back(); }

private:
    friend struct RarCallbackAccess;
    void* m_handle = nullptr;
    QString m_path;
    QString m_password;
    QStringList m_nextVolumes;
    QString m_missingVolume;
    const std::function<void()>* m_onData = nullptr; // during ExtractTo only
    struct HeaderBuffers;
    std::unique_ptr<HeaderBuffers> m_headerBuffers; // made at the first header read, kept for the next ones
    quint32 m_archiveFlags = 0;
    bool m_currentIsLink = false;
    bool m_currentIsEncrypted = false;
    std::array<char, 2000> m_comment{};
};

// The open test: opens in list mode and closes at once. Returns 0 or the open result.
int RarTestOpen(const QString& path, const QString& password = {});

// Whether password opens the archive: its encrypted headers, and the data of its first encrypted file
// entry (tested, nothing is written). Returns 0 when it does (or nothing is encrypted), RarBadPassword
// when it does not, else the code of another fault.
int RarTestPassword(const QString& path, const QString& password);

// True for the codes a wrong or missing password gives on encrypted data.
bool RarIsPasswordFailure(int code);

// Lists every header (split parts included) with the empty password, handing each entry to onEntry;
// onEntry returns false to stop. Returns 0 when the end was reached or the listing was stopped, else the
// open result or the code that ended the listing. opened tells an open failure from a later one.
// password: for encrypted headers (empty for none).
int RarListArchive(const QString& path, const std::function<bool(const RarEntry&)>& onEntry, bool* opened = nullptr,
                   const QString& password = {});

// The listing of RarListArchive on an archive the caller opened in ListSplit mode (so that the open
// test and the listing can share one open). Returns 0 when the end was reached or the listing was
// stopped, else the code that ended it; RarNotOpen when the archive is not open.
int RarListEntries(RarArchive& archive, const std::function<bool(const RarEntry&)>& onEntry);

// What an extraction does with one entry.
struct RarExtractStep
{
    enum Action
    {
        Skip,
        Extract,
        Stop
    };
    Action action = Skip;
    QString destination; // absolute output path, for Extract
};

// An extraction session: for every header, decide says skip, extract to a path, or stop; after each
// extraction, done receives the entry, the path and the result code (links arrive as RarRefusedLink
// and are never written). Returns 0 when the end was reached or the session was stopped, else the open
// result or the header-read code that ended it. password: for encrypted headers and data (empty for none).
int RarExtractArchive(const QString& path, const std::function<RarExtractStep(const RarEntry&)>& decide,
                      const std::function<void(const RarEntry&, const QString&, int)>& done = {},
                      bool* opened = nullptr, const QString& password = {});

// The interface version of the UnRAR library in use (the library tells no release number).
int RarLibraryVersion();
