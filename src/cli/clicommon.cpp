#include "cli/clicommon.h"

#include "archive/zip.h"
#include "settings/settings.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace zelvano::cli {

namespace {

// Written by the signal handler, so it must be a lock-free atomic.
std::atomic<bool> g_bInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int)
{
    g_bInterrupted.store(true, std::memory_order_relaxed);
}

} // namespace

bool ParseCommandArguments(QCommandLineParser& parser, const QString& command, const QString& usage,
                           const QStringList& args, QTextStream& err)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList full = args;
    full.prepend(QStringLiteral("zelvano-cli"));
    if (parser.parse(full))
        return true;
    err << "zelvano-cli " << command << ": " << parser.errorText() << "\n";
    err << "Usage: " << usage << "\n";
    return false;
}

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

int TerminalColumns()
{
#ifndef _WIN32
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

void CXStatusLine::Show(const QString& text)
{
    const int width = qMax(20, TerminalColumns() - 1);
    QString line = text;
    if (line.size() > width) {
        const int keep = width - 3;
        line = line.left(keep / 2) + QStringLiteral("...") + line.right(keep - keep / 2);
    }
    // Carriage return and "erase to end of line": the new text replaces the old one in place.
    m_stream << "\r\x1b[K" << line;
    m_stream.flush();
    m_bShown = true;
}

void CXStatusLine::Clear()
{
    if (!m_bShown)
        return;
    m_stream << "\r\x1b[K";
    m_stream.flush();
    m_bShown = false;
}

void LoadStartupSettings(CXSettings& settings, QTextStream& err)
{
    QString error;
    if (!settings.InitializeSettings(&error))
        err << "zelvano-cli: warning: " << error << "; using the default settings\n";
}

bool ApplyNameEncoding(const QCommandLineParser& parser, const CXSettings& settings, const QString& command,
                       QTextStream& err)
{
    const QString option = QLatin1String(kNameEncodingOption);
    const QString known = ZipNameEncodingNames().join(QStringLiteral(", "));
    if (parser.isSet(option)) {
        const QString name = parser.value(option);
        if (name.trimmed().isEmpty() || !ZipSetNameEncoding(name)) {
            err << "zelvano-cli " << command << ": unknown name encoding '" << name << "' for --" << option
                << " (known: " << known << ")\n";
            return false;
        }
        return true;
    }
    if (!ZipSetNameEncoding(settings.m_strZipNameEncoding)) {
        err << "zelvano-cli: warning: unknown name encoding '" << settings.m_strZipNameEncoding
            << "' in the settings (known: " << known << "); detecting it per archive\n";
        ZipSetNameEncoding(QString());
    }
    return true;
}

QStringList ParsePasswordLines(const QByteArray& bytes)
{
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QStringList passwords;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            passwords.append(QString::fromUtf8(line));
    }
    return passwords;
}

bool ReadPasswordFile(const QCommandLineParser& parser, const QString& command, QStringList& passwords,
                      QTextStream& err)
{
    const QString option = QLatin1String(kPasswordFileOption);
    if (!parser.isSet(option))
        return true;
    const QString path = parser.value(option);
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        err << "zelvano-cli " << command << ": cannot read the password file " << DisplayPath(path) << "\n";
        return false;
    }
    passwords = ParsePasswordLines(file.readAll());
    return true;
}

CXInterruptGuard::CXInterruptGuard()
{
    g_bInterrupted.store(false);
    m_pPrevious = std::signal(SIGINT, OnInterrupt);
    if (m_pPrevious == SIG_ERR)
        m_pPrevious = SIG_DFL;
}

CXInterruptGuard::~CXInterruptGuard()
{
    std::signal(SIGINT, m_pPrevious);
}

bool CXInterruptGuard::Interrupted() const
{
    return g_bInterrupted.load(std::memory_order_relaxed);
}

namespace {

std::function<void()>& RunStartedHook()
{
    static std::function<void()> hook;
    return hook;
}

} // namespace

void SetRunStartedHook(std::function<void()> hook)
{
    RunStartedHook() = std::move(hook);
}

void NotifyRunStarted()
{
    if (RunStartedHook())
        RunStartedHook()();
}

QString DisplayPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace zelvano::cli
