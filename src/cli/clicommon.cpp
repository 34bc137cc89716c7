#include "cli/clicommon.h"

#include "settings/settings.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <QDir>

#ifdef _WIN32
#include <io.h>
#else
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

void LoadStartupSettings(CXSettings& settings, QTextStream& err)
{
    QString error;
    if (!settings.InitializeSettings(&error))
        err << "zelvano-cli: warning: " << error << "; using the default settings\n";
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

QString DisplayPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace zelvano::cli
