#pragma once

#include <QString>

// The messages a worker sends to the window that started it. Every call on CXWorkerHost
// stands for one of them; the numbers are kept so the mapping stays visible.
enum WorkerMessage : unsigned
{
    WM_APP = 0x8000,
    WM_SCAN_FINISHED = WM_APP + 100,   // CXWorkerHost::ScanFinished
    WM_UNPACK_FINISHED = WM_APP + 101, // CXWorkerHost::UnpackFinished
    WM_SCAN_PROGRESS = WM_APP + 102,   // CXWorkerHost::ScanProgress
    WM_VALIDATE_IMAGE = WM_APP + 103,  // not a host call: the unpack run checks pictures on its own threads
    WM_STATUS_TEXT = WM_APP + 1252,    // CXWorkerHost::StatusText
    WM_STATUS_STATE = WM_APP + 1253,   // CXWorkerHost::StatusState
};

// Answers of the per-archive delete question.
enum class DeleteAnswer
{
    Yes,
    YesToAll,
    No,
    NoToAll,
    Cancel
};

// The answer to the password question for one encrypted archive.
struct PasswordAnswer
{
    enum Kind
    {
        Password,    // try m_strPassword
        SkipArchive, // leave this archive as it is
        SkipAll      // leave every further encrypted archive of the run without asking again
    };
    Kind m_kind = SkipArchive;
    QString m_strPassword; // for Password only; kept in memory for the run, never written anywhere
};

// What a running worker knows of its window. Every call is synchronous from the worker's side:
// the desktop host forwards it to the user-interface thread and waits (as a sent window message
// would); the command-line host answers inline. Calls never throw. Workers reach their host through a
// CXHostGate, which answers every call at once once the window is closing.
class CXWorkerHost
{
public:
    virtual ~CXWorkerHost() = default;

    // WM_SCAN_PROGRESS: the folder being searched, without a trailing separator.
    virtual void ScanProgress(const QString& folder) { (void)folder; }
    // WM_STATUS_TEXT: line 0 is the status strip's main text, line 1 its secondary text.
    virtual void StatusText(int line, const QString& text)
    {
        (void)line;
        (void)text;
    }
    // WM_STATUS_STATE: the status strip's state label (3 = "Unpacking:").
    virtual void StatusState(int state) { (void)state; }
    // WM_SCAN_FINISHED / WM_UNPACK_FINISHED: sent once at a run's normal end, while the run flag is set.
    virtual void ScanFinished() {}
    virtual void UnpackFinished() {}
    // The archive list, by index into the found-archive array: scroll into view, delete the row,
    // uncheck the row.
    virtual void EnsureArchiveVisible(int archiveIndex) { (void)archiveIndex; }
    virtual void RemoveArchiveRow(int archiveIndex) { (void)archiveIndex; }
    virtual void UncheckArchiveRow(int archiveIndex) { (void)archiveIndex; }
    // The posted Stop command: the worker ended the run itself and the window stops it without asking.
    virtual void RequestStop() {}
    // Taskbar progress: one more archive done.
    virtual void StepProgress() {}

    // Questions the worker asks the user.
    virtual DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) = 0;
    // The password question for one archive (its file name): "Enter the password for 'X'". Asked again
    // after a password that did not open it. Hosts that cannot ask skip the archive.
    virtual PasswordAnswer AskPassword(const QString& archiveName)
    {
        (void)archiveName;
        return {};
    }
    // The not-enough-disk-space message, already formatted.
    virtual void ShowDiskSpaceMessage(const QString& text) = 0;

    // The window is going away: a host whose calls wait for the window releases every such wait now
    // (the gate in front of it then gives the worker the safe answer). Called on the window's thread.
    virtual void WindowClosing() {}

    // Progress of the entry being written (beyond the status texts): bytes of the current entry done.
    // Called between data chunks; cheap hosts ignore it.
    virtual void EntryProgress(qint64 bytesDone, qint64 bytesTotal)
    {
        (void)bytesDone;
        (void)bytesTotal;
    }
};
