#include "platform/desktop/termination.h"

#include <csignal>
#include <fcntl.h>
#include <QObject>
#include <QSocketNotifier>
#include <unistd.h>

namespace {

// The signal handler only writes a byte to this pipe; the event loop reads it and does the work.
int g_pipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    // Nothing useful can be done about a full pipe: one byte waiting is enough.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

void WatchTermination(QObject* context, std::function<void()> onTerminate)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onTerminate = std::move(onTerminate)] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        onTerminate();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}
