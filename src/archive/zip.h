#pragma once

// The program's own read-only ZIP reader: stored, Deflate (zlib), BZip2 (libbz2), LZMA and XZ (liblzma) and
// Zstandard (libzstd) entries, also encrypted with the traditional ZIP cipher or WinZip AES (libcrypto)
// once a password is set.
//
// Every byte it reads comes from files that no one here wrote: a hostile archive gets a result code,
// never a crash, a hang, unbounded memory, or a file written outside the folder it was asked to write into.
//
// Usage: ZipOpen, ZipGetEntry(-1) for the number of entries, ZipGetEntry(i) for each entry in order,
// ZipExtractEntry(i, absolute output path), ZipClose. A handle is used by one thread at a time.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

// Result codes. 0 is success.
inline constexpr int32_t ZIPRES_OK = 0;
// The archive cannot be opened for reading, or an output file or folder cannot be created.
inline constexpr int32_t ZIPRES_NOFILE = 0x00000200;
// Extraction stopped: reading or inflating the data failed (also: the data ended before the declared
// size), or writing the output failed.
inline constexpr int32_t ZIPRES_WRITE = 0x00000400;
// The entry's local header does not match its directory record, or its method is WinZip AES without
// the encrypted flag.
inline constexpr int32_t ZIPRES_CORRUPT = 0x00000700;
// The entry's local header or extra data cannot be read.
inline constexpr int32_t ZIPRES_READ = 0x00000800;
// Index out of range (below -1 or not below the entry count), a null handle, or an empty output path.
inline constexpr int32_t ZIPRES_ARGS = 0x00010000;
// The handle is not a reader handle.
inline constexpr int32_t ZIPRES_NOTREADER = 0x00080000;
// Open: no end-of-central-directory record, or a read failed.
inline constexpr int32_t ZIPRES_IOERROR = -1;
// Open: multi-disk archive, entry counts that differ or cannot fit, a central directory that would end
// after the end record. Listing: the entry lies at or beyond a damaged central directory record.
inline constexpr int32_t ZIPRES_BADZIP = -103;

// Codes for faults the reader refuses rather than passing on damaged output:
// the data's CRC-32 differs from the directory's, so the written file is damaged (the file may remain).
inline constexpr int32_t ZIPRES_CRC = 0x00000410;
// the data expands beyond the declared uncompressed size; output stopped at that size (the file remains).
inline constexpr int32_t ZIPRES_TOOBIG = 0x00000420;
// the entry's data overlaps another entry's data or runs into the central directory (a zip bomb or a
// damaged archive); nothing is written.
inline constexpr int32_t ZIPRES_DAMAGED = 0x00000430;
// the entry is encrypted and no password is set; it lists normally, but no output is written.
inline constexpr int32_t ZIPRES_ENCRYPTED = 0x00000440;
// the output path or the directory entry's name would lead outside the folder being written into
// ("..", absolute, drive letter, control characters, a link on the way); nothing is created.
inline constexpr int32_t ZIPRES_UNSAFEPATH = 0x00000450;
// the caller's chunk hook asked to stop in the middle of an entry (the partial file remains).
inline constexpr int32_t ZIPRES_STOPPED = 0x00000460;
// the entry is encrypted and the password set with ZipSetPassword does not open it. Mostly its check value
// says so before anything is written; but the traditional cipher's check byte lets a wrong password through
// 1 time in 256, and its data then fail (damaged stream, size, CRC-32): that is reported as a wrong
// password too, and a partial file may remain, as after ZIPRES_CRC. For WinZip AES a matching check value
// with a wrong authentication code is damaged data: ZIPRES_CRC.
inline constexpr int32_t ZIPRES_PASSWORD = 0x00000480;
// the entry is compressed with a method the reader does not read (anything but stored, Deflate, BZip2,
// LZMA, XZ and Zstandard; ZipMethodName names it); it lists normally, but no output is written.
inline constexpr int32_t ZIPRES_METHOD = 0x00000470;

// The result code's name ("ZIPRES_CRC"), or "ZIPRES_UNKNOWN" for any other value.
const char* ZipResultName(int32_t result);

// The usual name of a compression method ("BZip2", "Zstandard", "WinZip AES"), or "method N" for a
// number without one.
QString ZipMethodName(uint16_t method);

// Windows file attribute bits as the reader reports them in m_dwAttributes.
inline constexpr uint32_t ZIP_ATTR_READONLY = 0x01;
inline constexpr uint32_t ZIP_ATTR_HIDDEN = 0x02;
inline constexpr uint32_t ZIP_ATTR_SYSTEM = 0x04;
inline constexpr uint32_t ZIP_ATTR_DIRECTORY = 0x10;
inline constexpr uint32_t ZIP_ATTR_ARCHIVE = 0x20;
inline constexpr uint32_t ZIP_ATTR_NORMAL = 0x80;

// The directory record of one entry as callers see it.
// Times are UTC QDateTimes. The DOS date and time of the record are taken as they are (no time-zone
// shift) and used for all three times; a "UT" extended timestamp in the local header replaces the
// times it carries. An impossible DOS date (month 0, day 31 in April, ...) gives an invalid QDateTime,
// and an invalid time is not set on an output file.
struct ZipEntry
{
    int32_t m_nIndex = 0;        // 0-based index in directory order; the entry count for index -1
    QString m_szName;            // the stored name as text (flag bit 11, Unicode Path block, UTF-8, code page)
    QByteArray m_rawName;        // the stored name bytes, whole, exactly as in the archive
    uint32_t m_dwAttributes = 0; // ZIP_ATTR_* bits, mapped from the external attributes
    QDateTime m_ftAccessed;
    QDateTime m_ftCreated;
    QDateTime m_ftModified;
    int64_t m_nPackedSize = 0;   // compressed size from the central directory (ZIP64 aware)
    int64_t m_nUnpackedSize = 0; // uncompressed size from the central directory (ZIP64 aware)

    // Beyond the caller-facing fields above, for callers that want to say why an entry fails.
    // 0 stored, 8 deflated, ... (see ZipMethodName). For WinZip AES (99 in the record) the method of the
    // data inside, from the entry's AES block; 99 only when that block is missing or unreadable.
    uint16_t m_nMethod = 0;
    uint16_t m_nFlags = 0;               // general-purpose flags; bit 0 encrypted, bit 3 data descriptor
    uint16_t m_nVersionMadeBy = 0;       // high byte: host system (0 DOS, 3 Unix, ...)
    uint32_t m_dwCrc = 0;                // CRC-32 from the central directory
    uint32_t m_dwExternalAttributes = 0; // as stored
    int64_t m_nLocalHeaderOffset = 0;    // relative to the archive's start (ZIP64 aware)

    bool IsEncrypted() const { return (m_nFlags & 0x0001) != 0; }
    bool IsDirectory() const { return (m_dwAttributes & ZIP_ATTR_DIRECTORY) != 0; }
};

// The code page for names without the UTF-8 flag, by a name such as "CP866", "Shift_JIS", "GBK" or
// "CP1252" (case does not matter); empty: found per archive from its names (a name's Unicode Path
// block still comes first). Applies to archives opened afterwards, in every thread. False, and nothing
// changed, for a name that is not one of ZipNameEncodingNames() or their usual aliases.
bool ZipSetNameEncoding(const QString& name);
// True when ZipSetNameEncoding accepts the name.
bool ZipIsNameEncoding(const QString& name);
// One name per encoding the reader knows.
QStringList ZipNameEncodingNames();

// The caller's handle of an open archive (opaque).
struct ZipHandleData;
using ZipHandle = ZipHandleData*;

// Opens an archive by path. Returns null on failure. Sets the last result: 0, ZIPRES_NOFILE,
// ZIPRES_IOERROR or ZIPRES_BADZIP. Reads only the end records and the first central directory record.
ZipHandle ZipOpen(const QString& path);

// What the open archive file says of itself, read from the open file, not looked up again by path.
struct ZipFileFacts
{
    qint64 m_nSize = 0;
    QDateTime m_ftCreated; // birth time (UTC); invalid where the file system keeps none
    QDateTime m_ftChanged; // last status change (UTC)
};

// ZipOpen for a caller that has just found a regular file at path (a folder walk): the look-up by path
// that keeps ZipOpen from blocking on a pipe is the caller's, so the file is opened straight away. facts
// (may be null) receives the file's size and times after a successful open.
ZipHandle ZipOpenRegularFile(const QString& path, ZipFileFacts* facts);

// Fills `entry` with the record of entry `index` and returns a result code. Index -1 fills only
// m_nIndex with the number of entries. Reads the central directory record and the entry's local header,
// never its data. ZIPRES_METHOD says only that the data cannot be read: the record is whole. On
// ZIPRES_CORRUPT, ZIPRES_READ and ZIPRES_DAMAGED the record is still filled from the
// central directory (times from the DOS fields only), so a caller can name the entry it cannot use;
// on ZIPRES_ARGS and ZIPRES_BADZIP the record is left as it was. An encrypted entry whose method is read
// gives ZIPRES_OK with or without a password: the password is checked only when it is extracted.
int32_t ZipGetEntry(ZipHandle handle, int32_t index, ZipEntry& entry);

// Called by ZipListEntries for each entry in directory order, with the entry's record and ZIPRES_OK, or
// the code the record alone shows the entry cannot be extracted with: ZIPRES_METHOD (a method the reader
// does not read, also inside WinZip AES), ZIPRES_CORRUPT (WinZip AES without the encrypted flag) or
// ZIPRES_DAMAGED (its data
// cannot end before the central directory). Returning false ends the listing.
using ZipListCallback = std::function<bool(const ZipEntry& entry, int32_t result)>;

// Lists the entries from the central directory alone, for callers that only look at names, attributes,
// sizes and flags: no local header is read and nothing is kept per entry, so it costs one pass over
// the directory (read in large blocks). The record is the one ZipGetEntry fills, except that the three
// times are left invalid (the DOS fields and the local "UT" block are not looked at). ZipGetEntry and
// ZipExtractEntry still check each entry in full; an entry the listing reports may fail there.
// Returns ZIPRES_OK after the last entry or when the callback stopped, ZIPRES_BADZIP when a damaged
// directory record ended the listing (the entries before it were reported), ZIPRES_ARGS for a null
// handle, ZIPRES_NOTREADER for a handle of another kind.
int32_t ZipListEntries(ZipHandle handle, const ZipListCallback& onEntry);

// Called between the 256 KiB chunks of an extraction (a pause gate may block in it); returning false
// stops the extraction with ZIPRES_STOPPED.
using ZipChunkHook = std::function<bool()>;

// Tells whether an entry flagged as a directory is really a file: true for a name the caller takes for
// a picture (archivers set the flag on such names by mistake).
using ZipFileNameTest = std::function<bool(const QString& entryName)>;

// Gives the handle its file-name test; without one (the default) every directory-flagged entry is a
// folder. Returns 0, ZIPRES_ARGS for a null handle or ZIPRES_NOTREADER.
int32_t ZipSetFileNameTest(ZipHandle handle, ZipFileNameTest test);

// Extracts entry `index` to `destination`, an absolute file path whose folder exists (no folder is
// created for it). The file is created or replaced, gets the entry's times (and read-only bit), and
// never receives more than the declared uncompressed size. An entry flagged as a directory whose name
// fails the handle's file-name test creates that folder below the destination's folder instead, when
// its name stays inside it. Returns the result code and stores it as the last result.
// After ZIPRES_WRITE, ZIPRES_CRC, ZIPRES_TOOBIG or ZIPRES_STOPPED a partial or damaged file may remain
// at `destination`; the caller decides what to do with it. Any other failure leaves no file behind
// that was not there before.
int32_t ZipExtractEntry(ZipHandle handle, int32_t index, const QString& destination, const ZipChunkHook& hook = {});

// Decodes entry `index` with `password` (empty: none) and checks it as ZipExtractEntry would, writing
// nothing anywhere: the results of ZipExtractEntry for a file entry (ZIPRES_OK, ZIPRES_PASSWORD, ZIPRES_CRC,
// ...); ZIPRES_OK for a folder entry. The handle's own password is neither used nor changed.
int32_t ZipTestEntry(ZipHandle handle, int32_t index, const QByteArray& password, const ZipChunkHook& hook = {});

// Reads file entry `index` into data, with the handle's password, checked as ZipExtractEntry checks it;
// ZIPRES_TOOBIG (nothing read) for a folder entry or one that declares more than maxBytes. data is empty
// after any failure.
int32_t ZipReadEntry(ZipHandle handle, int32_t index, QByteArray& data, int64_t maxBytes);

// The password for the encrypted entries (traditional ZIP encryption, WinZip AES) extracted from now on,
// as the bytes the archiver hashed (UTF-8 for the passwords people type); empty clears it, and encrypted
// entries fail with ZIPRES_ENCRYPTED again. The handle keeps a copy of its own, wiped when replaced or
// closed, and never logs it. Extraction then also returns ZIPRES_PASSWORD; ZIPRES_CORRUPT for data too
// short for the cipher's header (and AES code); ZIPRES_METHOD for an encrypted entry whose method the
// reader does not read (without a password that entry gives ZIPRES_ENCRYPTED). An AE-2 entry keeps no
// CRC-32: its authentication code checks it instead.
// Returns 0, ZIPRES_ARGS for a null handle or ZIPRES_NOTREADER.
int32_t ZipSetPassword(ZipHandle handle, const QByteArray& password);

// Closes the archive; 0, ZIPRES_ARGS for null, ZIPRES_NOTREADER for a handle of another kind.
// Stores the result as the last result. The handle is invalid afterwards.
int32_t ZipClose(ZipHandle handle);

// The last result of ZipOpen, ZipExtractEntry or ZipClose on the calling thread (each thread has its own
// register, so a scan and a test thread cannot overwrite each other's).
int32_t ZipGetLastResult();

// Owns an open handle and closes it at the end of its scope.
struct ZipHandleCloser
{
    void operator()(ZipHandle handle) const { ZipClose(handle); }
};
using ZipHandlePtr = std::unique_ptr<ZipHandleData, ZipHandleCloser>;
