#pragma once

#include "base/portal/answers.h"
#include "base/portal/transferlimits.h"

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
        Abandoned, // the movie arrived after the user had left the download; it is kept but not recorded
        IdInUse    // the library holds another game under this game's id: the game is not recorded, and no file
                   // of it is kept
    };
    Status status = Status::Failed;
    GameDetails game;      // with the names its files took in flash/ and pic/
    QString errorText;     // why it failed, for the log
    bool recorded = false; // Installed: the library holds the game (now or from before)
    QString heldBy;        // IdInUse: the title of the library's game with that id, as stored
};

// Turns a game link into a game in the library: asks the server for the game's details, downloads its movie
// into the flash folder with progress and its picture into the pic folder beside it, and records it. One game at a
// time: a new game link cancels a details request still out, and a new game replaces one still downloading.
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

    // Posts the game link back to the server for its details, cancelling the request of an earlier link: only
    // the latest link's game may go on. A game is announced with detailsArrived() and its movie download
    // follows; an answer that names no game ends in finished(NoGame), a game whose id the library holds for
    // plainly another game in finished(IdInUse), and in both cases a download already running goes on.
    void fetchDetails(const QUrl &gameLink);

    // Downloads url as the current game's movie, in place of any download still running.
    void start_download(const QString &url);

    // The largest movie accepted (MovieDownload::defaultMaxBytes unless set).
    void setMaxMovieBytes(qint64 bytes) { m_maxMovieBytes = bytes; }
    // Approves a picture's bytes before it is kept (the layer above decodes images); none: every picture.
    void setPictureCheck(std::function<bool(const QByteArray &)> check) { m_pictureCheck = std::move(check); }

    // The user left the download: a movie that arrives later is kept but the game is not installed.
    void abandon();
    // Records at once the games whose movie is in and whose picture is still coming: the program is closing.
    void recordWaitingGames();
    // Stops a running download and removes its temporary file, without any signal; true when one was running.
    bool cancel();
    bool isDownloading() const;

    // Whether the server's id can be recorded in the library: a whole number above zero (the ids below belong
    // to the games the user added).
    static bool isServerGameId(const QString &gameid);
    // What the user is told of an IdInUse result; heldBy is the library game's title.
    static QString idInUseMessage(const QString &heldBy);

    // The game the latest details answer described (all empty before the first).
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
        QString gameid, movie;
    };
    // The picture of a game under way, fetched beside its movie.
    struct PictureFetch
    {
        quint64 serial;
        QString gameid;
        QPointer<QObject> request; // destroying it cancels the fetch
        bool done = false;
        QString placed;                     // the name it took in pic/, when it was stored
        std::optional<GameDetails> movieIn; // the movie is in: the game is recorded once the picture is done
    };

    void onDetails(const QUrl &gameLink, const std::optional<QByteArray> &body);
    void onMovieFinished(MovieDownload *job, const DownloadResult &result, GameDetails game, quint64 serial);
    PictureFetch *pictureOf(quint64 serial);
    void fetchPicture(const GameDetails &game, quint64 serial);
    void recordWithPicture(quint64 serial);
    void dropPicture(quint64 serial);
    void record(const GameDetails &game, quint64 serial);
    void end(AcquisitionResult::Status status, const GameDetails &game, const QString &error = QString());
    // What a file of the game is to be called in its folder, from what the library holds at this moment.
    FileNaming namingFor(const GameDetails &game, GameFile kind);
    // Whether a game other than the one with this id is on its way with this movie.
    bool heldOnTheWay(const QString &movie, const QString &otherThanGameid) const;
    // Removes the game's files that no row names and no other game on its way holds.
    void removeUnrecorded(const GameDetails &game);

    QNetworkAccessManager *m_network;
    ServerFetch *m_fetch;
    Library *m_library;
    GameDetails m_game;
    quint64 m_gameSerial = 0;           // which acquisition m_game belongs to
    QPointer<QObject> m_detailsRequest; // destroying it cancels the details request still out
    quint64 m_detailsTicket = 0;
    QList<OnTheWay> m_onTheWay;
    QList<PictureFetch> m_pictures;
    QPointer<MovieDownload> m_download;
    quint64 m_downloadSerial = 0;
    bool m_abandoned = false;
    qint64 m_maxMovieBytes;
    std::function<bool(const QByteArray &)> m_pictureCheck;
};
