#pragma once

#include "base/player/playclock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

class Library;

// Keeps each game's play time in the library. The player tells it which game it plays and whether that game runs
// in front of the user; while it does, a monotonic clock (one that stops while the computer sleeps) is read every
// second. What was counted is written at least every half minute, when the game stops running and when its
// session ends, so that a program that is killed loses at most that last half minute.
class PlayTime : public QObject
{
    Q_OBJECT

public:
    static constexpr int tickMs = 1000;
    static constexpr qint64 flushMs = 30000;

    explicit PlayTime(Library *library, QObject *parent = nullptr);
    ~PlayTime() override;

    // The game now in the player (none: what plays is no game of the library) and the movie it plays. Ends the
    // session of the game before; the new one counts from now if the player runs in front.
    void setGame(std::optional<qint64> id, const QString &moviePath = QString());
    std::optional<qint64> game() const { return m_game; }
    // The player took another movie: the session of a game whose movie it no longer shows ends.
    void movieChanged(const QString &path);
    // Whether the player's movie runs in front of the user (see FlashPlayer::isInFront).
    void setRunning(bool running);
    // What the current session counted so far, in milliseconds.
    qint64 sessionMs() const { return m_clock.countedMs(); }
    // Writes what was counted and not yet written.
    void flush();

private:
    qint64 now() const { return m_elapsed.elapsed(); }
    void tick();
    void endSession();

    QPointer<Library> m_library;
    PlayClock m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_ticker;
    std::optional<qint64> m_game;
    QString m_movie;
    bool m_running = false;
    qint64 m_writtenSeconds = 0; // of the current session
    qint64 m_lastFlushMs = 0;
};
