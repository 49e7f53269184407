#pragma once

#include "base/portal/answers.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>
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
// ones are written to a file when the queue changes (see setFile), so that they are queued again at the next
// start. The queue only keeps the books: GameAcquisition moves the games.
//
// The file is written on a worker thread, at most once per writeIntervalMs, with the state of that moment: a
// thousand changes in one turn of the event loop make one write. Every write replaces the file whole, in the order
// the states were made, so a crash leaves the last state written, never one that lost a game it held; the last
// state is written before the queue is gone (flush). A queue that empties removes the file at once.
class DownloadQueue : public QObject
{
    Q_OBJECT

public:
    static constexpr int writeIntervalMs = 250;

    explicit DownloadQueue(QObject *parent = nullptr);
    ~DownloadQueue() override; // flushes

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
    const QueuedGame *unfinishedWithId(const QString &gameId, quint64 except = 0) const;
    // The next game whose turn it is: preferred when it waits, else the earliest waiting one.
    std::optional<quint64> next(quint64 preferred) const;

    // Adds a game at the end; its serial.
    quint64 add(const QUrl &link, const std::optional<GameDetails> &game = std::nullopt,
                QueuedGame::State state = QueuedGame::State::Details);
    void setDetails(quint64 serial, const GameDetails &game);
    void setState(quint64 serial, QueuedGame::State state, const QString &errorText = QString());
    void setProgress(quint64 serial, qint64 written, std::optional<qint64> total);
    void remove(quint64 serial);
    // Writes the unfinished games again soon (every change does; this is for the file's first use).
    void save();
    // Puts the last state on the disk now, and returns once it is there.
    void flush();

signals:
    void added(quint64 serial);
    void changed(quint64 serial);
    void removed(quint64 serial);
    // A state of the queue reached the file (written or removed); for those who count the writes.
    void fileWritten();

private:
    struct Writer;
    QueuedGame *entry(quint64 serial);
    qsizetype indexOf(quint64 serial) const;
    // The first of serials (in queue order) whose game is unfinished, other than except.
    const QueuedGame *firstUnfinished(const QList<quint64> &serials, quint64 except) const;
    void writeNow();

    QList<QueuedGame> m_games; // in serial order, which is the order they were added
    // Where to find a game without going through all of them: a large queue answers at once.
    QMultiHash<QUrl, quint64> m_byLink;
    QMultiHash<QString, quint64> m_byId;
    QString m_file;
    quint64 m_lastSerial = 0;
    QTimer m_writeTimer;
    QElapsedTimer m_sinceWrite;
    std::unique_ptr<Writer> m_writer;
};
