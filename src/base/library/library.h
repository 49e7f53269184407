#pragma once

#include "base/library/gamestore.h"
#include "base/library/libraryfolders.h"
#include "base/library/libraryverify.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

struct FileNaming;
struct ImportedMovie;

// A game from the game server as its acquisition brings it to the library: the server's id and texts, and the
// names of its files (as the URLs give them before they are placed, the names they took once they are).
struct AcquiredGame
{
    QString gameId, title, movieFile, pictureFile, description;
    // The movie's address on the server: where the files its movie loads beside it come from.
    QString movieUrl;
};

// How recording an acquired game ended.
struct Recording
{
    enum class Status
    {
        Recorded,        // a new row names the game
        AlreadyRecorded, // the game came again: its row stays as it was
        IdInUse,         // the row with the game's id is plainly another game: nothing was recorded
        MovieMissing,    // the movie is not in flash/ (the user deleted it meanwhile): no row may name it
        Failed           // the library cannot be read or written
    };
    Status status = Status::Failed;
    // Recorded and AlreadyRecorded: the game's row; IdInUse: the other game's.
    std::optional<GameRecord> row;
};

// A game made ready to play.
struct GamePlay
{
    enum class Status
    {
        Ready,       // the movie is there and the play was counted
        NoGame,      // no recorded game has the id (or the library cannot be read)
        MovieMissing // the game's movie is gone, or its name cannot be a file in flash/
    };
    Status status = Status::NoGame;
    GameRecord game; // with the play counted
    QString moviePath;
};

// How deleting a game ended.
struct Deletion
{
    enum class Status
    {
        Deleted,    // the row is gone (or was gone already)
        Unreadable, // the library cannot be read: nothing changed
        DiskFull,   // no room even for the deletion's journal: the row stays, only its own files went
        NotWritten  // the library cannot be written: the row stays
    };
    // What becomes of the saves of a movie that leaves with its game: the user may keep them for its return.
    enum class Saves
    {
        GoWithMovie,
        Keep
    };
    Status status = Status::NotWritten;
    QStringList freedFiles; // the movie, picture and kept files removed, as paths
    bool savesGo = false;   // the movie went with it, and what it saved goes too
};

// The game library as one service: it owns the store and the data folder's layout (the library file, flash/,
// pic/, saves/), and carries out whole operations on games: recording one that was acquired or the user's own,
// playing, deleting. Those who show or play games follow its signals. No widgets: asking the user is the caller's.
class Library : public QObject
{
    Q_OBJECT

public:
    // The library of the data folder, with a store of its own.
    explicit Library(const QString &dataFolder, QObject *parent = nullptr);
    // Over a store that its maker keeps (and that outlives this service), in that store's data folder.
    explicit Library(GameStore *store, QObject *parent = nullptr);
    ~Library() override;

    const LibraryFolders &folders() const { return m_store->folders(); }
    // For reading: the lists, lookups and index the grid needs. Every change goes through the operations
    // below, so that those following the signals see each one.
    GameStore &store() const { return *m_store; }

    // Makes the folders that are missing; false when one could not be made (logged).
    bool makeFolders();
    // Opens the library afresh: a file another program replaced is read as it now is.
    bool open();
    std::optional<qint64> gameCount();
    std::optional<GameRecord> game(qint64 id);
    // The row of the game with the server's identifier, if it is recorded.
    std::optional<GameRecord> gameWithServerId(const QString &gameId);

    // What a file of an arriving game is to be called in its folder, from what the library holds when it is
    // asked: its own row's file when the same game comes again (replaced in place), else the name from its URL;
    // a name that another game's row names, or that heldElsewhere(name) says is spoken for, is never replaced:
    // the newcomer gets a free name instead.
    // A game still on its way to its row names no file yet: ownOnTheWay is the movie it has put in place already.
    FileNaming namingFor(GameFile kind, const AcquiredGame &game,
                         const std::function<bool(const QString &name)> &heldElsewhere = {},
                         const QString &ownOnTheWay = QString());
    // Records a game whose files lie in flash/ and pic/ under the names game gives. A game already recorded
    // under its id keeps its row; so does plainly another game that holds the id (IdInUse).
    Recording recordAcquired(const AcquiredGame &game);
    // Records the movies an import placed in flash/, all or none, each once: a movie that was already there
    // and that a game names is not recorded again. When nothing could be recorded, the copies made for it go
    // again. The rows recorded, newest last; nullopt when they could not be written.
    std::optional<QVector<GameRecord>> recordImported(const QVector<ImportedMovie> &movies);

    // The game's movie, with the play counted.
    GamePlay play(qint64 id);
    // Counts a play of a game that is playing already (one that was just downloaded); false when not counted.
    bool countPlay(qint64 id);

    // Deletes the game: its row, then its movie and picture unless another game still names them, and the files it
    // kept beside its movie (its companion folder, never following a link out of it). On a full
    // disk the game's own files go first, to make room for the deletion. The movie's saves go with the movie
    // (movieGone) unless saves is Keep: kept, they come back when the same movie is added again.
    Deletion deleteGame(qint64 id, Deletion::Saves saves = Deletion::Saves::GoWithMovie);
    // Removes a file of the folder unless a row names it (or that cannot be told); true when it was removed.
    bool removeUnnamedFile(GameFile kind, const QString &name);

    // Files that games on their way hold in flash/ or pic/ before their rows name them: never taken for files
    // no game names. Called in this object's thread.
    void setFilesInUse(std::function<bool(GameFile kind, const QString &name)> inUse)
    {
        m_filesInUse = std::move(inUse);
    }
    // Of these names of files in the folder, those that no recorded game names and no game on its way holds, and
    // that are not the program's own (a hidden name, or a movie in pic/: the advertisements); none when the library
    // cannot be read.
    QStringList unnamedFiles(GameFile kind, const QStringList &names);
    // Removes a file of the folder that no game names or holds (see unnamedFiles); true when it was removed.
    bool removeOrphan(GameFile kind, const QString &name);
    // Of these paths under companion/ (as verification lists them), those that no record names now; none when the
    // library cannot be read.
    QStringList unnamedCompanions(const QStringList &paths);
    // Removes what lies at this path under companion/ (a file, a link itself, or the whole folder of a game that is
    // not recorded) unless a record names it now, never following a link; true when something was removed and
    // nothing is left there.
    bool removeOrphanCompanion(const QString &path);
    // Keeps the digests that verification worked out for games recorded before digests were kept; a game
    // whose movie was digested meanwhile keeps that digest. How many were kept.
    int recordFirstDigests(const QHash<qint64, MovieDigest> &digests);

    // Stars the game or takes its star away; false when that could not be written (or no game has the id).
    bool setFavourite(qint64 id, bool favourite);
    // Adds seconds the game ran in front of the user to its time; sessionSeconds is the whole of its latest session
    // so far. False when that could not be written.
    bool addPlayTime(qint64 id, qint64 seconds, qint64 sessionSeconds);

    // The player quality chosen for the game, or empty; and choosing it (empty forgets it).
    QString gameQuality(qint64 id) { return m_store->gameQuality(id); }
    bool setGameQuality(qint64 id, const QString &quality) { return m_store->setGameQuality(id, quality); }

signals:
    // The game was starred (true) or its star taken away.
    void favouriteChanged(qint64 id, bool favourite);
    // More of the game's play time was kept: game holds it.
    void playTimeAdded(const GameRecord &game);
    void gameRecorded(qint64 id);
    void gamePlayed(const GameRecord &game);
    // savesGo: the game's movie left the library with it, and what that movie saved goes too.
    void gameRemoved(qint64 id, const QString &movieFile, bool savesGo);
    // A deleted game took its movie with it: what that movie saved goes too.
    void movieGone(const QString &movieFile);
    // The size and SHA-256 of the game's movie, worked out in the background after it was recorded, are kept.
    void movieDigested(qint64 id);

private:
    // Works out the size and SHA-256 of the movie the game's row names, off this thread, and keeps them.
    void digestMovie(const GameRecord &game);
    void keepDigests(const QVector<DigestWorker::Result> &results);
    std::optional<qint64> countNaming(GameFile kind, const QString &name);
    void keepOrigin(qint64 id, const QString &origin);
    bool removeUnlessNamed(GameFile kind, const QString &name, std::optional<qint64> stillNamedBy, QStringList *freed);

    std::unique_ptr<GameStore> m_ownStore;
    GameStore *m_store;
    std::function<bool(GameFile kind, const QString &name)> m_filesInUse;
    // The latest digest asked for each game: an earlier one still running is of a movie since replaced.
    QHash<qint64, quint64> m_latestDigest;
    quint64 m_digestSerial = 0;
    std::unique_ptr<DigestWorker> m_digests; // made at the first movie; destroyed first, waiting for its thread
};
