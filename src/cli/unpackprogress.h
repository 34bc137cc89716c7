#pragma once

#include <QString>
#include <QtGlobal>

namespace zelvano::cli {

// The figures of the live line of zelvano-cli unpack. Fed from the run's notifications, every figure it
// shows only grows: an archive of many small pictures moves the picture count (and an estimate of the
// bytes, from the sizes the scan found) entry by entry, and a new entry never takes back the bytes of the
// one before it.
class CXUnpackProgress
{
public:
    // The run's archives and the pictures they hold, as the scan counted them.
    void SetTotals(int archives, qint64 pictures);

    // An archive starts: the pictures and their bytes as the scan counted them.
    void ArchiveStarted(const QString& name, qint64 pictures, quint64 pictureBytes);
    // An entry starts (written or skipped): the one before it is done.
    void EntryStarted(const QString& name);
    // Bytes of the current entry written so far.
    void EntryBytes(qint64 done);
    // The archive is done: bytesOnDisk is what it put on disk.
    void ArchiveFinished(quint64 bytesOnDisk);

    int Archive() const { return m_nArchive; }
    qint64 PicturesDone() const { return m_nShownPictures; }
    quint64 BytesDone() const { return m_nShownBytes; }

    // "2/10 archives | 37/500 pictures | Album.zip | IMG_0037.jpg | 12.3 MB | 4.5 MB/s".
    QString Text(qint64 elapsedMs) const;

private:
    void Update();

    int m_nTotalArchives = 0;
    qint64 m_nTotalPictures = 0;
    int m_nArchive = 0;
    QString m_strArchive;
    QString m_strEntry;

    // Finished archives.
    qint64 m_nPicturesBefore = 0;
    quint64 m_nBytesBefore = 0;
    // The current archive.
    qint64 m_nArchivePictures = 0;
    quint64 m_nArchivePictureBytes = 0;
    qint64 m_nEntriesStarted = 0;
    quint64 m_nEntriesBytes = 0; // reported bytes of its finished entries
    qint64 m_nEntryBytes = 0;    // reported bytes of the current entry

    // What was shown last: never more than what follows.
    qint64 m_nShownPictures = 0;
    quint64 m_nShownBytes = 0;
};

} // namespace zelvano::cli
