#pragma once

#include <functional>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

class CXSettings;

namespace zelvano::cli {

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130; // 128 + SIGINT, as shells report it

// Parses a command's arguments (without the command word) with parser, which the caller has given its
// options and positional arguments. On an error prints "zelvano-cli <command>: <error>" and the usage line
// to err and returns false.
bool ParseCommandArguments(QCommandLineParser& parser, const QString& command, const QString& usage,
                           const QStringList& args, QTextStream& err);

// True when stderr is a terminal (live status lines go there only then).
bool StderrIsTerminal();
// The width of the terminal on stderr in columns (80 when unknown).
int TerminalColumns();

// Shows one status line on a terminal, redrawn in place: each Show replaces the line, Clear erases it.
// Texts longer than the terminal are shortened in the middle, so the line never wraps.
class CXStatusLine
{
public:
    explicit CXStatusLine(QTextStream& stream) : m_stream(stream) {}
    void Show(const QString& text);
    void Clear();

private:
    QTextStream& m_stream;
    bool m_bShown = false;
};

// Loads the settings file as the desktop program does at start-up (locations, folders, load, re-save).
// When the data folder cannot be created, prints a warning to err and leaves the defaults in place.
void LoadStartupSettings(CXSettings& settings, QTextStream& err);

// The option that chooses the code page of ZIP entry names stored without the UTF-8 flag.
inline constexpr const char* kNameEncodingOption = "name-encoding";
// Sets the code page of unflagged ZIP entry names for this run: --name-encoding when given, else the
// settings' option. A name on the command line that the reader does not know is a usage error (message
// to err, false); an unknown name in the settings only warns and leaves the code page to be detected.
bool ApplyNameEncoding(const QCommandLineParser& parser, const CXSettings& settings, const QString& command,
                       QTextStream& err);

// The option that names a file of passwords for encrypted archives (never a password itself).
inline constexpr const char* kPasswordFileOption = "password-file";
// Reads the file of --password-file, when given, into passwords: one password per line (LF or CRLF), read
// as UTF-8, empty lines skipped. A file that cannot be read is a usage error (message to err, false). No
// password ever reaches err.
bool ReadPasswordFile(const QCommandLineParser& parser, const QString& command, QStringList& passwords,
                      QTextStream& err);
// The passwords of one file's bytes, as ReadPasswordFile reads them.
QStringList ParsePasswordLines(const QByteArray& bytes);

// While an object of this class lives, Ctrl-C (SIGINT) does not end the process: the handler only sets a
// flag that the command polls and then stops its run on its own thread. The previous handler comes back
// when the object goes away. One object at a time.
class CXInterruptGuard
{
public:
    CXInterruptGuard();
    ~CXInterruptGuard();
    CXInterruptGuard(const CXInterruptGuard&) = delete;
    CXInterruptGuard& operator=(const CXInterruptGuard&) = delete;

    // True once SIGINT arrived after construction.
    bool Interrupted() const;

private:
    void (*m_pPrevious)(int) = nullptr;
};

// Called by a command on its own thread right after its worker has started. Tests set it to deliver Ctrl-C
// to a run that is certainly under way; it is empty otherwise.
void SetRunStartedHook(std::function<void()> hook);
void NotifyRunStarted();

// The text of a path as the user's system writes it.
QString DisplayPath(const QString& path);

} // namespace zelvano::cli
