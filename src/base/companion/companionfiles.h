#pragma once

#include "base/library/gamestore.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <functional>
#include <optional>

class ServerFetch;

// The files a game's movie loads beside it while it runs (levels, pictures, sounds, further movies), kept with the
// game so that it plays again offline. A file the movie asks for is answered from the game's kept copy; one not kept
// yet is fetched from where the game came from (its movie's server, through the same bounded client as the movie,
// or the folder the user imported it from), kept in the game's companion folder and recorded in the library.
//
// Paths are relative to the game's root: for a server game the server's path from the host's root, for an
// imported movie the path inside its folder. A query string never selects another kept file: the first fetch sends
// it, and the file it brought answers every later query.
class CompanionFiles : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        qint64 fileBytes = qint64(64) << 20;
        qint64 gameBytes = qint64(512) << 20;
        int gameFiles = 5000;
        int parallel = 6;    // fetches and copies running at once, as a browser asks one host
        int waiting = 10000; // requests beyond this many waiting are refused at once
    };

    // The store and fetch must outlive this service.
    CompanionFiles(GameStore *store, ServerFetch *fetch, QObject *parent = nullptr);
    ~CompanionFiles() override; // waits for the copies and digests still running

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    // The kept file to read, or none: the movie gets its error for that file.
    using Answer = std::function<void(const std::optional<QString> &filePath)>;
    // The file at path (decoded, '/'-separated) that the movie of the game with row id asks for, with the request's
    // query. done comes once, after this has returned, and not at all once context is gone.
    void request(qint64 id, const QString &path, const QString &query, QObject *context, Answer done);
    // The same for the game from the server with this identifier. A game shown while it comes in has no row yet:
    // its requests wait until gameSettled says its acquisition ended.
    void requestForServerGame(const QString &gameId, const QString &path, const QString &query, QObject *context,
                              Answer done);
    void gameSettled(const QString &gameId);
    // Fetches every file the game keeps again from where it came (a game downloaded again); done tells how many came
    // and how many did not.
    void fetchAgain(qint64 id, QObject *context, std::function<void(int fetched, int failed)> done);

    // The path as kept: plain segments joined by '/', or none when it could name anything outside the game's folder
    // or a name no file system keeps alike (empty, ".", "..", a backslash, a control character, an undecodable
    // byte, a segment longer than 255 bytes).
    static std::optional<QString> checkedPath(const QString &path);

signals:
    // A file was kept (or kept again) for the game.
    void fileKept(qint64 id, const QString &path);

private:
    struct Job;
    struct GameFiles; // what is known of a game's kept files
    GameFiles &filesOf(qint64 id, bool reload);
    std::optional<QString> keptPath(qint64 id, const QString &path);
    void fail(QObject *context, const Answer &done, const QString &why, qint64 id, const QString &path);
    void start(Job *job);
    void startNext();
    void fetchFromServer(Job *job, const QUrl &origin);
    void copyFromFolder(Job *job, const QString &folder);
    void placed(Job *job, const std::optional<QString> &filePath, const std::optional<KeptFile> &digest);
    void record(qint64 id, const KeptFile &file);
    void writeRecords();
    QString folderFor(qint64 id, const QString &path, bool make);

    GameStore *m_store;
    ServerFetch *m_fetch;
    Limits m_limits;
    QHash<qint64, GameFiles *> m_games;
    QHash<QString, Job *> m_jobs; // by "<id>/<path>": one fetch per file however often it is asked for
    QVector<Job *> m_queue;
    struct Parked
    {
        QString path, query;
        QPointer<QObject> context;
        Answer done;
    };
    QHash<QString, QVector<Parked>> m_parked; // by server game id
    int m_running = 0;
    QHash<qint64, QVector<KeptFile>> m_unrecorded; // kept, to be written to the library
    QTimer m_recordTimer;
    QThreadPool m_pool;
};
