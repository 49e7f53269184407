#include "base/player/playclock.h"

#include <algorithm>

void PlayClock::start(qint64 nowMs)
{
    *this = PlayClock();
    m_lastMs = nowMs;
    m_read = true;
}

void PlayClock::tick(qint64 nowMs)
{
    // A clock that went back counts nothing.
    if (m_read && isRunning())
        m_countedMs += std::clamp<qint64>(nowMs - m_lastMs, 0, maxStepMs);
    m_lastMs = nowMs;
    m_read = true;
}

void PlayClock::setRunning(bool running, qint64 nowMs)
{
    tick(nowMs);
    m_running = running;
}
