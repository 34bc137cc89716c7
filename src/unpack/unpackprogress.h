#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>

// The figures of an unpack run as the command line's live line and the window's status strip show them.
// Fed from the run's notifications, every figure it shows only grows: an archive of many small pictures
// moves the picture count (and an estimate of the bytes, from the sizes the scan found) entry by entry, and
// a new entry never takes back the bytes of the one before it.
//
// Time comes from the caller: every call that needs it takes the milliseconds of the caller's clock since
// the run began, paused intervals included. Pause() and Resume() mark those intervals; the rate and the
// time left run on the clock without them, so a pause neither drags the rate down nor adds to the time
// left. One thread feeds and reads an object; a run uses a new one.
class CXUnpackProgress
{
public:
    // The run's archives and the pictures they hold, with the pictures' bytes, as the scan counted them.
    void SetTotals(int archives, qint64 pictures, quint64 pictureBytes = 0);

    // An archive starts: the pictures and their bytes as the scan counted them.
    void ArchiveStarted(const QString& name, qint64 pictures, quint64 pictureBytes);
    // An entry starts (written or skipped): the one before it is done.
    void EntryStarted(const QString& name);
    // Bytes of the current entry written so far.
    void EntryBytes(qint64 done);
    // The archive is done: bytesOnDisk is what it put on disk.
    void ArchiveFinished(quint64 bytesOnDisk);

    // The run holds from elapsedMs on, and goes on again at elapsedMs. Repeated calls change nothing.
    void Pause(qint64 elapsedMs);
    void Resume(qint64 elapsedMs);
    bool IsPaused() const { return m_nPausedAt >= 0; }

    // Notes the figures at elapsedMs for the rate. WindowText() does it itself; a caller that shows the
    // text seldom may call it in between (a note within 100 ms of the last one is not kept).
    void Sample(qint64 elapsedMs);

    int Archive() const { return m_nArchive; }
    qint64 PicturesDone() const { return m_nShownPictures; }
    quint64 BytesDone() const { return m_nShownBytes; }
    // The scan's picture bytes the run has gone past: what was written or skipped, and whole archives that
    // ended. The rate and the time left measure this, as a skipped picture shortens the run like a
    // written one.
    quint64 BytesPassed() const { return m_nPassedBytes; }

    // Bytes per second over the last five seconds of the run (pauses left out); -1 until a second of it
    // was noted.
    double Rate(qint64 elapsedMs) const;
    // Seconds until every picture byte is passed at Rate(); -1 until three seconds of the run were noted,
    // while nothing moves, or when everything is passed.
    qint64 SecondsLeft(qint64 elapsedMs) const;

    // "2/10 archives | 37/500 pictures | Album.zip | IMG_0037.jpg | 12.3 MB | 4.5 MB/s" (the rate since the
    // start).
    QString Text(qint64 elapsedMs) const;
    // "Archive 2 of 10 · 12.3 MB of 1.20 GB · 4.50 MB/s · 0:42 left": the bytes written, of the run's picture
    // bytes. Parts without their data yet are left out; empty before anything is known.
    QString WindowText(qint64 elapsedMs);

    // 0:42, 12:05, 1:02:03.
    static QString FormatDuration(qint64 seconds);

private:
    void Update();
    qint64 ActiveMs(qint64 elapsedMs) const;

    int m_nTotalArchives = 0;
    qint64 m_nTotalPictures = 0;
    quint64 m_nTotalPictureBytes = 0;
    int m_nArchive = 0;
    QString m_strArchive;
    QString m_strEntry;

    // Finished archives.
    qint64 m_nPicturesBefore = 0;
    quint64 m_nBytesBefore = 0;
    quint64 m_nPictureBytesBefore = 0; // their picture bytes as the scan counted them
    // The current archive.
    qint64 m_nArchivePictures = 0;
    quint64 m_nArchivePictureBytes = 0;
    qint64 m_nEntriesStarted = 0;
    quint64 m_nEntriesBytes = 0; // reported bytes of its finished entries
    qint64 m_nEntryBytes = 0;    // reported bytes of the current entry

    // What was shown last: never more than what follows.
    qint64 m_nShownPictures = 0;
    quint64 m_nShownBytes = 0;
    quint64 m_nPassedBytes = 0;

    // The clock without pauses.
    qint64 m_nPausedMs = 0;  // length of the pauses that ended
    qint64 m_nPausedAt = -1; // start of the current pause

    struct Note
    {
        qint64 m_nActiveMs;
        quint64 m_nPassed;
    };
    // The notes of the last five seconds and the newest one before them.
    std::deque<Note> m_notes;
    qint64 m_nFirstNoteMs = -1;
};
