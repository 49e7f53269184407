#pragma once

#include "base/portal/answers.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

// One game in the download queue, from its link to its movie in the library.
struct QueuedGame
{
    enum class State
    {
        Details,     // its details are asked for
        Waiting,     // its turn has not come yet
        Downloading, // its movie is coming in
        Failed,      // its movie did not arrive; it can be tried again
        Done         // its movie is in the library
    };
    quint64 serial = 0; // names the game for as long as the program runs
    QUrl link;
    std::optional<GameDetails> game; // once the details answer named it
    State state = State::Details;
    qint64 written = 0;
    std::optional<qint64> total;
    qint64 bytesPerSecond = 0; // 0 until a second of transfer has been measured
    QString errorText;

    bool isUnfinished() const { return state != State::Done; }
    // The game's title with the server's text codes turned back, or its link while the details are out.
    QString title() const;
    // Bytes still to come, when the size is known.
    std::optional<qint64> remainingBytes() const;
    // Seconds still to go at the measured speed, when both are known.
    std::optional<qint64> remainingSeconds() const;

private:
    friend class DownloadQueue;
    QElapsedTimer m_clock; // since the speed was last measured
    qint64 m_clockBytes = 0;
};

// The games the user asked for, in the order they were asked for, with what is known of each. The unfinished
// ones are written to a file whenever the queue changes (see setFile), so that they are queued again at the next
// start. The queue only keeps the books: GameAcquisition moves the games.
class DownloadQueue : public QObject
{
    Q_OBJECT

public:
    explicit DownloadQueue(QObject *parent = nullptr);

    // Where the unfinished games are kept across runs; none (the default): they are not kept. The file is removed
    // when no game is left in it.
    void setFile(const QString &path) { m_file = path; }
    // The unfinished games the file holds: each with its link, its details when they had come, and Failed or
    // Waiting (Details without details). Unreadable entries are skipped.
    QList<QueuedGame> read() const;

    const QList<QueuedGame> &games() const { return m_games; }
    const QueuedGame *find(quint64 serial) const;
    // The unfinished game with this link, or with this game id other than except; none if there is none.
    const QueuedGame *unfinishedWithLink(const QUrl &link) const;
    const QueuedGame *unfinishedWithId(const QString &gameid, quint64 except = 0) const;
    // The next game whose turn it is: preferred when it waits, else the earliest waiting one.
    std::optional<quint64> next(quint64 preferred) const;

    // Adds a game at the end; its serial.
    quint64 add(const QUrl &link, const std::optional<GameDetails> &game = std::nullopt,
                QueuedGame::State state = QueuedGame::State::Details);
    void setDetails(quint64 serial, const GameDetails &game);
    void setState(quint64 serial, QueuedGame::State state, const QString &errorText = QString());
    void setProgress(quint64 serial, qint64 written, std::optional<qint64> total);
    void remove(quint64 serial);
    // Writes the unfinished games again (the file is written on every change; this is for the file's first use).
    void save() const;

signals:
    void added(quint64 serial);
    void changed(quint64 serial);
    void removed(quint64 serial);

private:
    QueuedGame *entry(quint64 serial);

    QList<QueuedGame> m_games;
    QString m_file;
    quint64 m_lastSerial = 0;
};
