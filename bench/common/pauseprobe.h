#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

// How long the event loop went at most without turning while a job ran on it: a timer asks to run every 2 ms, and
// whatever it waits beyond that is a pause the window would have shown.
class PauseProbe
{
public:
    PauseProbe()
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(2);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_longestMs = std::max(m_longestMs, m_sinceTick.nsecsElapsed() / 1e6 - m_ticker.interval());
            m_sinceTick.restart();
        });
    }

    void start()
    {
        m_sinceTick.start();
        m_ticker.start();
    }
    double longestMs() const { return m_longestMs; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    double m_longestMs = 0;
};

// How long a job ran, from start() to its finished signal, and the longest pause of the event loop meanwhile.
struct TimedRun
{
    double seconds = 0;
    double longestPauseMs = 0;
};

// Starts job and runs the event loop until it signals finished; *result is what the signal carried.
template <typename Job, typename Result>
TimedRun runTimed(Job &job, void (Job::*finished)(const Result &), Result *result)
{
    TimedRun run;
    QEventLoop loop;
    QElapsedTimer clock;
    PauseProbe pauses;
    QObject::connect(&job, finished, &loop, [&](const Result &r) {
        run.seconds = clock.nsecsElapsed() / 1e9;
        run.longestPauseMs = pauses.longestMs();
        *result = r;
        loop.quit();
    });
    clock.start();
    pauses.start();
    job.start();
    loop.exec();
    return run;
}
