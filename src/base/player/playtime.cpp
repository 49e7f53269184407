#include "base/player/playtime.h"

#include "base/library/library.h"

#include <QCoreApplication>

PlayTime::PlayTime(Library *library, QObject *parent) : QObject(parent), m_library(library)
{
    // The monotonic clock where there is one: on Linux it does not count the time the computer sleeps.
    m_elapsed.start();
    m_clock.start(now());
    m_ticker.setInterval(tickMs);
    connect(&m_ticker, &QTimer::timeout, this, &PlayTime::tick);
    // The library may go before this object does: the session is written while it is still there.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &PlayTime::endSession);
    if (library)
        connect(library, &QObject::destroyed, this, &PlayTime::endSession);
}

PlayTime::~PlayTime()
{
    endSession();
}

void PlayTime::setGame(std::optional<qint64> id, const QString &moviePath)
{
    endSession();
    m_game = id;
    m_movie = moviePath;
    m_writtenSeconds = 0;
    m_clock.start(now());
    m_clock.setRunning(m_running, now());
    m_lastFlushMs = now();
}

void PlayTime::movieChanged(const QString &path)
{
    if (m_game && path != m_movie)
        setGame(std::nullopt);
}

void PlayTime::setRunning(bool running)
{
    m_running = running;
    m_clock.setRunning(running, now());
    if (running) {
        m_ticker.start();
    } else {
        m_ticker.stop();
        // A pause or a minimised window is a moment to keep what was counted.
        flush();
    }
}

void PlayTime::tick()
{
    m_clock.tick(now());
    if (now() - m_lastFlushMs >= flushMs)
        flush();
}

void PlayTime::flush()
{
    m_lastFlushMs = now();
    if (!m_game || !m_library)
        return;
    m_clock.tick(now());
    const qint64 seconds = m_clock.countedMs() / 1000;
    if (seconds <= m_writtenSeconds)
        return;
    // Not written (the library is busy or read only): counted again at the next flush.
    if (m_library->addPlayTime(*m_game, seconds - m_writtenSeconds, seconds))
        m_writtenSeconds = seconds;
}

void PlayTime::endSession()
{
    flush();
    m_game.reset();
    m_movie.clear();
    m_writtenSeconds = 0;
}
