#pragma once

#include "base/portal/answers.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class GameStore;
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
        Abandoned  // the movie arrived after the user had left the download; it is kept but not recorded
    };
    Status status = Status::Failed;
    GameDetails game;
    QString errorText;     // why it failed, for the log
    bool recorded = false; // Installed: the library holds the game (now or from before)
};

// Turns a game link into a game in the library: asks the server for the game's details, downloads its movie
// into the flash folder with progress, then its picture into the pic folder, and records it. One game at a
// time: a new game replaces one still downloading.
class GameAcquisition : public QObject
{
    Q_OBJECT

public:
    // A picture still coming after this long is given up; the game is recorded without it.
    static constexpr int pictureMaxMs = 60000;

    GameAcquisition(QNetworkAccessManager *network, ServerFetch *fetch, GameStore *store, const QString &appFolder,
                    QObject *parent = nullptr);
    ~GameAcquisition() override;

    // Posts the game link back to the server for its details. A game is announced with detailsArrived() and
    // its movie download follows; an answer that names no game ends in finished(NoGame), and a download
    // already running goes on.
    void fetchDetails(const QUrl &gameLink);

    // Downloads url as the current game's movie, in place of any download still running.
    void start_download(const QString &url);

    // The largest movie accepted (MovieDownload::defaultMaxBytes unless set).
    void setMaxMovieBytes(qint64 bytes) { m_maxMovieBytes = bytes; }
    // Approves a picture's bytes before it is kept (the layer above decodes images); none: every picture.
    void setPictureCheck(std::function<bool(const QByteArray &)> check) { m_pictureCheck = std::move(check); }

    // The user left the download: a movie that arrives later is kept but the game is not installed.
    void abandon();
    // Stops a running download and removes its temporary file, without any signal; true when one was running.
    bool cancel();
    bool isDownloading() const;

    // Whether the server's id can be recorded in the library: a whole number above zero (the ids below belong
    // to the games the user added).
    static bool isServerGameId(const QString &gameid);

    // The game the latest details answer described (all empty before the first).
    const GameDetails &game() const { return m_game; }
    // Where the current game's movie and picture are stored; empty before the first game.
    QString save_path() const;
    QString save_path2() const;

signals:
    void detailsArrived(const GameDetails &game);
    void progress(qint64 bytesWritten, std::optional<qint64> announced);
    // The movie lies complete at moviePath; the picture and the record follow.
    void movieArrived(const GameDetails &game, const QString &moviePath);
    void finished(const AcquisitionResult &result);

private:
    void onDetails(const QUrl &gameLink, const std::optional<QByteArray> &body);
    void onMovieFinished(MovieDownload *job, const DownloadResult &result, const GameDetails &game);
    void record(const GameDetails &game);
    void end(AcquisitionResult::Status status, const GameDetails &game, const QString &error = QString());
    QString appPath(const QString &relative) const;

    QNetworkAccessManager *m_network;
    ServerFetch *m_fetch;
    GameStore *m_store;
    QString m_appFolder;
    GameDetails m_game;
    QPointer<MovieDownload> m_download;
    bool m_abandoned = false;
    qint64 m_maxMovieBytes;
    std::function<bool(const QByteArray &)> m_pictureCheck;
};
