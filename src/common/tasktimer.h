#pragma once

#include <functional>
#include <QString>
#include <QtGlobal>

// The elapsed time of one run (the main window owns one for the scan and one for the unpack run).
class CXTaskTimer
{
public:
    using Clock = std::function<qint64()>; // seconds since 1970

    // clock: where "now" comes from; tests pass their own. Defaults to the system clock.
    explicit CXTaskTimer(Clock clock = {});

    // start = end = now, progress 0, running.
    void Start();
    // Only when running: end = now, progress 100, not running.
    void Stop();
    // "H:MM:SS" of end minus start, with end = now first while running; a negative difference is 0:00:00.
    QString GetElapsedText();

    qint32 m_bRunning = 0;
    qint64 m_tStart = 0;
    qint64 m_tEnd = 0;
    qint32 m_nProgress = 0;

private:
    qint64 Now() const;

    Clock m_fnClock;
};
