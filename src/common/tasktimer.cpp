#include "common/tasktimer.h"

#include <QDateTime>

CXTaskTimer::CXTaskTimer(Clock clock) : m_fnClock(std::move(clock)) {}

qint64 CXTaskTimer::Now() const
{
    return m_fnClock ? m_fnClock() : QDateTime::currentSecsSinceEpoch();
}

void CXTaskTimer::Start()
{
    m_tStart = m_tEnd = Now();
    m_nProgress = 0;
    m_bRunning = 1;
}

void CXTaskTimer::Stop()
{
    if (!m_bRunning)
        return;
    m_tEnd = Now();
    m_bRunning = 0;
    m_nProgress = 100;
}

QString CXTaskTimer::GetElapsedText()
{
    if (m_bRunning && m_nProgress <= 100)
        m_tEnd = Now();
    qint64 seconds = m_tEnd - m_tStart;
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
