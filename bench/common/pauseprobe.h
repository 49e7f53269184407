#pragma once

#include <QElapsedTimer>
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
