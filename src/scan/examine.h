#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

class CXPasswordStore;
class CXSettings;
class CXWorkerHost;

// True when the archive opens with its format's reader (the ZIP reader, the UnRAR library or the 7z
// reader, chosen by the file's first bytes, else by its name). Otherwise false with *error set to the
// reader's open result; for a file that is none of them, false with *error left as it was.
bool CanOpenArchive(const QString& path, int* error);

// Lists the archive's entries (directory information only, no entry data) and returns the number of photo
// entries, or -1 when there is none or the archive does not open. After a successful open, mode is the
// Smart Extraction advice (1 extract into the archive's folder, 2 into a new folder named after it),
// the byte sums are those of the photo entries and folderCount is the number of distinct folder names
// inside the archive. After a failed open, mode is -1, the sums 0 and folderCount is left as it was.
// imagePatterns is the image pattern list ("*.jpg;*.jpeg;..." and the extra extensions).
int ExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int& mode,
                   quint64& photoBytes, quint64& packedBytes, int& folderCount);

// CanOpenArchive followed, when it succeeds, by ExamineArchive, with the results of those two calls;
// onOpened (may be empty) runs between them. The archive is opened once for both (a RAR archive in the
// listing mode that includes split files, whose open result is that of the open test's mode). Returns
// false when the archive does not open, with *error set as CanOpenArchive sets it and the figures
// untouched; otherwise photos is ExamineArchive's result and the figures are its outputs.
bool OpenAndExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int* error,
                           const std::function<void()>& onOpened, int& photos, int& mode, quint64& photoBytes,
                           quint64& packedBytes, int& folderCount);

// Everything the examination of one archive file found: OpenAndExamineArchive's results and the file's
// size and creation time (as CXArchiveFile::InitFromPath reads them). It reads only the file and the
// options, so it may run on any thread; the model records it on the scan's own.
struct CXExamination
{
    QString m_strPath;
    int m_nType = -1;       // the type the file's bytes tell (its name's when they tell none)
    bool m_bOpened = false; // false: the archive did not open, m_nError says why
    int m_nError = 0;
    int m_nPhotos = -1;
    int m_nMode = -1;
    int m_nFolderCount = 0;
    quint64 m_nPhotoBytes = 0;
    quint64 m_nPhotoPackedBytes = 0;
    quint64 m_nFileSize = 0;     // of a volume set: the sum of its volumes
    qint64 m_tmCreated = 0;      // seconds since 1970: the birth time, else the last status change
    QString m_strReason;         // why it did not open, when the error code alone does not say it
    bool m_bLaterVolume = false; // a volume of a RAR set other than the first: it is read with the set
    QStringList m_arrVolumes;    // a RAR set's volumes after the first, in order

    bool operator==(const CXExamination&) const = default;
};

// Examines one archive file with one open. regularFile: the caller has just seen a regular file at path
// (a folder walk), so the ZIP reader skips its own look-up; otherwise the reader makes sure first that
// the open cannot block on a pipe.
// A RAR archive whose headers are encrypted is opened with a password from passwords, or one the host
// is asked for; without one it stays unopened with RarMissingPassword.
CXExamination ExamineArchiveFile(const CXSettings& settings, const QString& path, const QString& imagePatterns,
                                 bool regularFile, CXPasswordStore* passwords = nullptr, CXWorkerHost* host = nullptr);

// The reasons an archive is listed as invalid beyond its open error. volumePath: a full path or a name.
QString VolumeMissingReason(const QString& volumePath);
QString VolumeDamagedReason(const QString& volumePath);
QString SplitZipReason();
