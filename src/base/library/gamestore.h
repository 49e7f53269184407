#pragma once

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
    QString gameid, gamename, game, gamepic, gamedesc;
};

// The encrypted game library beside the program: its file, its connection and every statement run on it.
// Methods that need a connection use the one the latest open_db made, opening one when there is none.
class GameStore
{
public:
    explicit GameStore(const QString &appFolder);
    ~GameStore();
    GameStore(const GameStore &) = delete;
    GameStore &operator=(const GameStore &) = delete;

    static QString fileName() { return QStringLiteral("QuillabrixGame.dll"); }
    static QByteArray passphrase() { return QByteArrayLiteral("73925016"); }

    // The library file in the application folder.
    QString dbfile() const;
    // Where a recorded movie or picture file lives; empty when the stored name is not a plain file name
    // (a name from the server must never reach outside its folder).
    QString moviePath(const QString &game) const;
    QString picturePath(const QString &gamepic) const;

    // Replaces the connection with a fresh one. A missing library is created empty; a file that does not
    // open with the key or is not a library is left untouched and gives false (with a warning on stderr).
    bool open_db();
    bool isOpen() const { return m_db != nullptr; }

    std::optional<qint64> count();
    std::optional<QVector<GameRecord>> gamesNewestFirst();
    // idText is the text of a grid row's ID cell; anything but a whole number finds nothing.
    std::optional<GameRecord> gameById(const QString &idText);
    // Whether a game with the server's identifier is recorded; nullopt when that cannot be told.
    std::optional<bool> hasGameId(const QString &gameid);
    // Records a game; false when it was not recorded (the identifier is not a whole number, or the
    // library cannot be written).
    bool insert(const QString &gameid, const QString &gamename, const QString &game, const QString &gamepic,
                const QString &gamedesc);
    // Deletes the row; true when the statement ran, whether or not a row had that id.
    bool removeById(const QString &idText);
    // How many recorded games name this movie or picture file.
    std::optional<qint64> countUsingMovie(const QString &game);
    std::optional<qint64> countUsingPicture(const QString &gamepic);

    // Writes an empty library with its table at path unless a file is already there, which is never
    // touched. True when a library file exists at path afterwards.
    static bool createLibrary(const QString &path);

private:
    bool ensureOpen();
    void closeConnection();
    std::optional<QByteArray> keySpecFor(const QString &path);
    std::optional<qint64> countNaming(const char *sql, const QString &name);
    bool write(const char *what, const std::function<bool()> &change);

    QString m_appFolder;
    sqlite3 *m_db = nullptr;
    // Deriving the key from the passphrase is deliberately slow; each file's salt gives one derived key,
    // so it is worked out once and every later connection hands the raw key over.
    QHash<QByteArray, QByteArray> m_keySpecs;
};
