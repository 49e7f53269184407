#pragma once

#include <QtGlobal>

// Counts the time a game runs in front of the user, from the player's state and a monotonic clock in
// milliseconds: only while the game is shown (in its panel or full screen), not paused and its window not
// minimised. The clock must stop while the computer sleeps (a monotonic clock on Linux does); each step is
// capped all the same, so that a jump of the clock (a sleep it did count, a clock set) adds at most one step.
// No timer and no Qt object: its owner feeds it the time.
class PlayClock
{
public:
    // The longest step counted between two readings of the clock; the owner reads it far more often.
    static constexpr qint64 maxStepMs = 5000;

    // A new session, nothing counted, not running.
    void start(qint64 nowMs);
    // Each counts the time up to now under the former state, then takes the new one.
    void setShown(bool shown, qint64 nowMs);
    void setPaused(bool paused, qint64 nowMs);
    void setMinimised(bool minimised, qint64 nowMs);
    // All three at once, for a player that tells whether its game is in front.
    void setRunning(bool running, qint64 nowMs);
    // Counts the time since the last reading, if the game ran.
    void tick(qint64 nowMs);

    bool isRunning() const { return m_shown && !m_paused && !m_minimised; }
    // What this session counted so far.
    qint64 countedMs() const { return m_countedMs; }

private:
    bool m_shown = false;
    bool m_paused = false;
    bool m_minimised = false;
    qint64 m_lastMs = 0;
    bool m_read = false; // m_lastMs holds a reading
    qint64 m_countedMs = 0;
};
