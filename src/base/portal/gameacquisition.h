#pragma once

#include "base/portal/answers.h"
#include "base/portal/downloadqueue.h"
#include "base/portal/transferlimits.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class Library;
struct AcquiredGame;
struct FileNaming;
enum class GameFile;
class MovieDownload;
class QNetworkAccessManager;
class ServerFetch;
struct DownloadResult;

// How the acquisition of one game ended.
struct AcquisitionResult
{
    enum class Status
    {
        Installed, // the movie is in the flash folder, the picture fetched if it could be, the game recorded
        NoGame,    // the details answer names no game: nothing was started, nothing written
        Failed,    // the movie did not arrive whole; no file was put in its place
        IdInUse    // the library holds another game under this game's id: the game is not recorded, and no file
                   // of it is kept
    };
    Status status = Status::Failed;
    GameDetails game;       // with the names its files took in flash/ and pic/
    QString errorText;      // why it failed, for the log
    bool recorded = false;  // Installed: the library holds the game (now or from before)
    QString heldBy;         // IdInUse: the title of the library's game with that id, as stored
    bool waitedFor = false; // the user waited for this game on the download panel (and its movie went to the player)
    bool onPanel = false;   // the download panel shows this game, also when the user has left the panel since
};

// Turns game links into games in the library: asks the server for each game's details, downloads its movie
// into the flash folder with progress and its picture into the pic folder beside it, and records it. Every link
// clicked is queued (see queue()): its details are fetched at once, and the movies come one after another, one
// transfer at a time. The game the user waits for on the download panel (the last link clicked) goes first: a game
// coming in that nobody waits for stops for it, and goes on from where it stopped afterwards (by the game's id,
// see MovieDownload::setResumeKey). Only the game waited for is announced (detailsArrived, progress, pictureArrived,
// movieArrived); the others are recorded without taking over the player. The unfinished games are kept across runs
// (restoreQueue) and resume where they stopped.
// A file that another game's row names is never replaced: the newcomer's file takes a free name, and its row
// names that one.
class GameAcquisition : public QObject
{
    Q_OBJECT

public:
    // A picture still coming after this long is given up; the game is recorded without it.
    static constexpr int pictureMaxMs = transferlimits::pictureMaxMs;

    // The games are filed into library, which must outlive the acquisition.
    GameAcquisition(QNetworkAccessManager *network, ServerFetch *fetch, Library *library, QObject *parent = nullptr);
    ~GameAcquisition() override;

    // The user clicked a game link: the game is queued (or, when it is queued already, found there; a failed one is
    // tried again) and becomes the one the user waits for. Its details are announced with detailsArrived() and its
    // movie follows in its turn. An answer that names no game ends in finished(NoGame), a game whose id the library
    // holds for plainly another game in finished(IdInUse); the other games of the queue go on either way.
    void fetchDetails(const QUrl &gameLink);
    // Queues the game behind gameLink without taking over the download panel or the player: its details are
    // fetched, its movie downloaded in its turn and the game recorded. A game queued already is not queued twice.
    void queueGame(const QUrl &gameLink);
    void queueGames(const QList<QUrl> &gameLinks);
    // Downloads url as the current game's movie, the game the user waits for.
    void start_download(const QString &url);
    // Queues again the unfinished games of the last run, kept in queueFile(), and keeps the queue there from now.
    void restoreQueue();
    // The file beside the settings that holds the unfinished games across runs.
    QString queueFile() const;

    // The largest movie accepted (MovieDownload::defaultMaxBytes unless set).
    void setMaxMovieBytes(qint64 bytes) { m_maxMovieBytes = bytes; }
    // Approves a picture's bytes before it is kept (the layer above decodes images); none: every picture.
    void setPictureCheck(std::function<bool(const QByteArray &)> check) { m_pictureCheck = std::move(check); }

    // The games asked for and what became of them.
    const DownloadQueue *queue() const { return m_queue; }
    // The serial of the queued game the download panel shows (announced last), also when the user has left the
    // panel since; 0: none.
    quint64 onPanel() const { return m_onPanel; }
    // The user gives a game up: a transfer running stops, what came of it is dropped and the game leaves the
    // queue, without any signal. A game that is done only leaves the list.
    void cancelGame(quint64 serial);
    // Tries a failed game again, from where it stopped when the server allows.
    void retryGame(quint64 serial);

    // The user left the download panel: the game still coming is no longer waited for; it stays queued and is
    // recorded when it arrives.
    void abandon();
    // Records at once the games whose movie is in and whose picture is still coming: the program is closing.
    void recordWaitingGames();
    // Gives every unfinished game up as cancelGame does; true when a transfer was running.
    bool cancel();
    // Stops the transfer running and the requests out, without any signal, and starts nothing more: the program is
    // closing. The queue stays as it was written, and what came of the transfer is kept to resume from; true when a
    // transfer was running.
    bool suspend();
    bool isDownloading() const;

    // What the user is told of an IdInUse result; heldBy is the library game's title.
    static QString idInUseMessage(const QString &heldBy);

    // The game the user waited for last (all empty before the first).
    const GameDetails &game() const { return m_game; }
    // Where the current game's movie and picture are stored; empty before the first game.
    QString save_path() const;
    QString save_path2() const;

signals:
    void detailsArrived(const GameDetails &game);
    void progress(qint64 bytesWritten, std::optional<qint64> announced);
    // The current game's picture lies in pic/ (it comes beside the movie; a game may have none).
    void pictureArrived(const GameDetails &game, const QString &picturePath);
    // The movie lies complete at moviePath; the record follows once the picture is in or given up.
    void movieArrived(const GameDetails &game, const QString &moviePath);
    void finished(const AcquisitionResult &result);

private:
    // A game whose movie lies in flash/ and whose row is not written yet: its movie is spoken for.
    struct OnTheWay
    {
        quint64 serial;
        QString gameId, movieFile;
        bool shown; // its movie went to the player
    };
    // The picture of a game under way, fetched beside its movie.
    struct PictureFetch
    {
        quint64 serial;
        QString gameId;
        QPointer<QObject> request; // destroying it cancels the fetch
        bool done = false;
        QString placed;                     // the name it took in pic/, when it was stored
        std::optional<GameDetails> movieIn; // the movie is in: the game is recorded once the picture is done
    };

    // Adds the link to the queue and asks for its details; the game's serial.
    quint64 queueLink(const QUrl &gameLink);
    void requestDetails(quint64 serial, const QUrl &gameLink);
    void onDetails(quint64 serial, const QUrl &gameLink, const std::optional<QByteArray> &body);
    // The user waits for this game: the panel is told what there is to tell of it.
    void waitFor(quint64 serial);
    // Starts the next game's movie when no transfer runs.
    void startNext();
    void startTransfer(quint64 serial);
    // Stops the running transfer without a signal; give up: its partial data goes too.
    void stopTransfer(bool giveUp);
    void onMovieFinished(MovieDownload *job, const DownloadResult &result, GameDetails game, quint64 serial);
    PictureFetch *pictureOf(quint64 serial);
    void fetchPicture(const GameDetails &game, quint64 serial);
    void recordWithPicture(quint64 serial);
    void dropPicture(quint64 serial);
    void record(const GameDetails &game, quint64 serial);
    void end(AcquisitionResult::Status status, const GameDetails &game, quint64 serial, const QString &error);
    // Announces the game the user waits for: the panel shows it from now on.
    void announce(quint64 serial);
    // What a file of the game is to be called in its folder, from what the library holds at this moment.
    FileNaming namingFor(const GameDetails &game, GameFile kind);
    // Whether a game other than the one with this id is on its way with this movie.
    bool heldOnTheWay(const QString &movie, const QString &otherThanGameid) const;
    // Removes the game's files that no row names and no other game on its way holds.
    void removeUnrecorded(const GameDetails &game);

    QNetworkAccessManager *m_network;
    ServerFetch *m_fetch;
    Library *m_library;
    DownloadQueue *m_queue;
    GameDetails m_game;
    quint64 m_waitedFor = 0;                             // the queued game the user waits for on the panel; 0: none
    quint64 m_onPanel = 0;                               // the queued game the panel shows; 0: none
    QHash<quint64, QPointer<QObject>> m_detailsRequests; // destroying one cancels its request
    QList<OnTheWay> m_onTheWay;
    QList<PictureFetch> m_pictures;
    QPointer<MovieDownload> m_download;
    quint64 m_downloadSerial = 0;
    bool m_suspended = false;
    qint64 m_maxMovieBytes;
    std::function<bool(const QByteArray &)> m_pictureCheck;
};
