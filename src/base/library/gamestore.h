#pragma once

#include "base/library/libraryfolders.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

struct sqlite3;

// One recorded game: a row of table `data`. Texts are kept exactly as the server sent them.
struct GameRecord
{
    qint64 id = 0;
    QString gameId, title, movieFile, pictureFile, description;
    // Kept beside the table, not in it: when the game was last played (seconds since 1970 UTC, 0 for
    // never) and how often.
    qint64 lastPlayed = 0;
    qint64 playCount = 0;
    // Kept beside the table too: whether the user starred the game, and the time it ran in front of the user, in
    // seconds, in all and in its latest session (repaired when read: see GameStore::repairPlayTime).
    bool favourite = false;
    qint64 playSeconds = 0;
    qint64 lastSessionSeconds = 0;
};

// A movie's size and SHA-256 (32 bytes) as recorded for its game.
struct MovieDigest
{
    qint64 size = 0;
    QByteArray sha256;
    bool operator==(const MovieDigest &other) const { return size == other.size && sha256 == other.sha256; }
    bool operator!=(const MovieDigest &other) const { return !(*this == other); }
};

// A file a game keeps beside its movie: its path inside the game's companion folder ("levels/1.xml", plain names
// joined by '/'), its size and SHA-256 (32 bytes).
struct KeptFile
{
    QString path;
    qint64 size = 0;
    QByteArray sha256;
};

class GameIndex;

// The encrypted game library in the data folder: its file, its connection and every statement run on it.
// Methods that need a connection use the one the latest open_db made, opening one when there is none.
class GameStore
{
public:
    // The library of the data folder that dataFolder names (see LibraryFolders).
    explicit GameStore(const QString &dataFolder);
    ~GameStore();
    GameStore(const GameStore &) = delete;
    GameStore &operator=(const GameStore &) = delete;

    static QString fileName() { return LibraryFolders::libraryFileName(); }
    static QByteArray passphrase() { return QByteArrayLiteral("73925016"); }

    const LibraryFolders &folders() const { return m_folders; }
    // The library file in the data folder.
    QString dbfile() const { return m_folders.libraryFile(); }
    // Where a recorded movie or picture file lives; empty when the stored name is not a plain file name.
    QString moviePath(const QString &game) const { return m_folders.moviePath(game); }
    QString picturePath(const QString &pictureFile) const { return m_folders.picturePath(pictureFile); }

    // Replaces the connection with a fresh one. A missing library is created empty; a file that does not
    // open with the key or is not a library is left untouched and gives false (with a warning on stderr).
    bool open_db();
    bool isOpen() const { return m_db != nullptr; }

    std::optional<qint64> count();
    std::optional<QVector<GameRecord>> gamesNewestFirst();
    std::optional<GameRecord> gameById(qint64 id);
    // The same for an id written as text; anything but a whole number finds nothing.
    std::optional<GameRecord> gameById(const QString &idText);
    // Whether a game with the server's identifier is recorded; nullopt when that cannot be told.
    std::optional<bool> hasGameId(const QString &gameId);
    // The games with these ids (those still recorded), in no particular order.
    std::optional<QVector<GameRecord>> gamesByIds(const QVector<qint64> &ids);
    // Adds to index up to limit games older than belowId, newest first; how many it added, nullopt when the
    // library cannot be read. *lastId is the oldest one added.
    std::optional<int> loadIndexPart(GameIndex &index, qint64 belowId, int limit, qint64 *lastId);
    // Every game's row id, newest first: what the grid needs to show its first rows at once.
    std::optional<QVector<qint64>> idsNewestFirst();
    // The row of the game with the server's identifier, if it is recorded.
    std::optional<qint64> idOfGameId(const QString &gameId);
    // Counts a play of the game with this row id, at when (seconds since 1970 UTC).
    bool recordPlay(qint64 id, qint64 when);
    // Records a game from the game server and gives its row id; nullopt when it was not recorded (the identifier
    // is not a whole number above zero, or the library cannot be written).
    std::optional<qint64> insertGame(const QString &gameId, const QString &title, const QString &movieFile,
                                     const QString &pictureFile, const QString &description);
    // The same, telling only whether the game was recorded.
    bool insert(const QString &gameId, const QString &title, const QString &movieFile, const QString &pictureFile,
                const QString &description)
    {
        return insertGame(gameId, title, movieFile, pictureFile, description).has_value();
    }
    // Records games the user added from their own files, all or none. Each gets its row id and a game id
    // below zero, which the game server never gives, so the two can never be taken for each other.
    bool insertOwnGames(QVector<GameRecord> &games);
    // Deletes the row, its play statistics and play time, its star, its quality, its movie's digest, its origin and
    // the records of its kept files (not the files); true when the statement ran, whether or not a row had that id.
    bool removeById(qint64 id);
    // The same for an id written as text; false for anything but a whole number.
    bool removeById(const QString &idText);
    // Whether the latest change that failed did so because the disk holding the library is full: even a
    // deletion needs room for its journal.
    bool lastChangeFoundDiskFull() const { return m_diskFull; }
    // How many recorded games name this movie or picture file.
    std::optional<qint64> countUsingMovie(const QString &movieFile);
    std::optional<qint64> countUsingPicture(const QString &pictureFile);

    // The player quality the user chose for the game with this row id ("low", "medium", "high" or "best");
    // empty when none was chosen or the library cannot be read.
    QString gameQuality(qint64 id);
    // Remembers it for that game (an empty quality forgets it); false when it was not written.
    bool setGameQuality(qint64 id, const QString &quality);

    // The recorded size and SHA-256 of the movie of the game with this row id; nullopt when none is recorded.
    std::optional<MovieDigest> movieDigest(qint64 id);
    // Every recorded digest by row id; nullopt when the library cannot be read.
    std::optional<QHash<qint64, MovieDigest>> movieDigests();
    enum class DigestWrite
    {
        Replace,  // the movie was replaced: its new digest holds
        IfMissing // a first digest: one recorded meanwhile (a newer movie's) stays
    };
    // Keeps digests of recorded games (others are left out), all or none; how many were written, -1 when none
    // could be.
    int setMovieDigests(const QHash<qint64, MovieDigest> &digests, DigestWrite how);

    // Where the game with this row id came from, for the files its movie loads beside it: its movie's address on
    // the game server (http or https) or, for the user's own movie, a file: URL of the folder it was imported from.
    // Empty when none is recorded; nullopt when the library cannot be read.
    std::optional<QString> gameOrigin(qint64 id);
    // Keeps it (an empty origin forgets it); false when it was not written (or no game has the id).
    bool setGameOrigin(qint64 id, const QString &origin) { return setGameOrigins({{id, origin}}); }
    // The same for several games in one write, all or none.
    bool setGameOrigins(const QHash<qint64, QString> &origins);
    // The files the game keeps beside its movie (see LibraryFolders::companionFolder), by path; nullopt when the
    // library cannot be read.
    std::optional<QVector<KeptFile>> keptFiles(qint64 id);
    // Every game's, by row id.
    std::optional<QHash<qint64, QVector<KeptFile>>> allKeptFiles();
    // Records a kept file of a recorded game, replacing the record of the same path; false when it was not written
    // (or no game has the id).
    bool recordKeptFile(qint64 id, const KeptFile &file);
    // The same for several, in one write: all or none.
    bool recordKeptFiles(qint64 id, const QVector<KeptFile> &files);
    // Forgets one of them (path) or, with an empty path, all of the game's.
    bool forgetKeptFiles(qint64 id, const QString &path = QString());

    // Stars the game with this row id or takes its star away; false when it was not written (or no game has the id).
    bool setFavourite(qint64 id, bool favourite);
    // Adds seconds of play to the game's time and makes sessionSeconds its latest session's; at, seconds since 1970
    // UTC, is now. False when it was not written (or no game has the id).
    bool addPlayTime(qint64 id, qint64 seconds, qint64 sessionSeconds, qint64 at);
    // The longest time a game is believed to have run: a hundred years.
    static constexpr qint64 maxPlaySeconds = 100LL * 366 * 24 * 3600;
    // A stored play time as it can be: never below zero, never more than the time since its first session
    // (firstSession, seconds since 1970 UTC; a minute's leeway) nor than maxPlaySeconds; a session never longer than
    // the total.
    static void repairPlayTime(qint64 *seconds, qint64 *sessionSeconds, qint64 firstSession, qint64 now);

    // Writes an empty library with its table at path unless a file is already there, which is never
    // touched. True when a library file exists at path afterwards.
    static bool createLibrary(const QString &path);

private:
    bool ensureOpen();
    void closeConnection();
    std::optional<QByteArray> keySpecFor(const QString &path);
    std::optional<qint64> countNaming(const char *sql, const QString &name);
    bool write(const char *what, const std::function<bool()> &change);

    bool prepareStatistics();

    LibraryFolders m_folders;
    sqlite3 *m_db = nullptr;
    bool m_hasStatistics = false;
    bool m_hasOrganising = false; // the favourite and playtime tables are there
    bool m_diskFull = false;
    QByteArray m_checkedStamp; // the file as it was when last read whole, or last written by this store
    // Deriving the key from the passphrase is deliberately slow; each file's salt gives one derived key,
    // so it is worked out once and every later connection hands the raw key over.
    QHash<QByteArray, QByteArray> m_keySpecs;
};
