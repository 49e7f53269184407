#pragma once

#include <QtGlobal>

// Counts the time a game runs in front of the user, from a monotonic clock in milliseconds, while its owner says it
// runs (the player tells: shown, not paused, its window not minimised). The clock must stop while the computer
// sleeps (a monotonic clock on Linux does); each step is capped all the same, so that a jump of the clock (a sleep it
// did count, a clock set) adds at most one step. No timer and no Qt object: its owner feeds it the time.
class PlayClock
{
public:
    // The longest step counted between two readings of the clock; the owner reads it far more often.
    static constexpr qint64 maxStepMs = 5000;

    // A new session, nothing counted, not running.
    void start(qint64 nowMs);
    // Counts the time up to now as it was, running or not, then takes the new state.
    void setRunning(bool running, qint64 nowMs);
    // Counts the time since the last reading, if the game ran.
    void tick(qint64 nowMs);

    bool isRunning() const { return m_running; }
    // What this session counted so far.
    qint64 countedMs() const { return m_countedMs; }

private:
    bool m_running = false;
    qint64 m_lastMs = 0;
    bool m_read = false; // m_lastMs holds a reading
    qint64 m_countedMs = 0;
};
