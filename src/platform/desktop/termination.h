#pragma once

#include <functional>

class QObject;

// Calls onTerminate on the user-interface thread when the system asks the program to end (SIGTERM, SIGHUP
// or SIGINT on Linux; the console's close and logoff events on Windows), instead of ending it on the spot,
// so a run can stop cleanly and the settings be saved. The call is tied to context's life.
void WatchTermination(QObject* context, std::function<void()> onTerminate);
