#include "base/library/gamestore.h"

#include "base/datafile.h"
#include "base/library/gameids.h"
#include "base/library/gameindex.h"
#include "base/logging.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>

#include <openssl/evp.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The cipher's own defaults (also those of its command-line tool): PBKDF2-HMAC-SHA1 over a 16-byte salt
// stored at the start of the file, giving a 256-bit key.
constexpr int saltBytes = 16;
constexpr int keyBytes = 32;
constexpr int kdfIterations = 64000;

// The index keeps the download's "already recorded?" lookup quick in a large library.
const char *const schemaSql = "BEGIN;"
                              "CREATE TABLE data (id INTEGER PRIMARY KEY AUTOINCREMENT, gameid INTEGER,"
                              " gamename TEXT, game TEXT, gamepic TEXT, gamedesc TEXT);"
                              "CREATE INDEX data_gameid ON data (gameid);"
                              "CREATE INDEX data_game ON data (game);"
                              "CREATE INDEX data_gamepic ON data (gamepic);"
                              "CREATE TABLE playstats (id INTEGER PRIMARY KEY, last_played INTEGER NOT NULL DEFAULT 0,"
                              " play_count INTEGER NOT NULL DEFAULT 0);"
                              "CREATE TABLE moviehash (id INTEGER PRIMARY KEY, size INTEGER NOT NULL,"
                              " sha256 TEXT NOT NULL);"
                              "CREATE TABLE favourite (id INTEGER PRIMARY KEY, since INTEGER NOT NULL);"
                              "CREATE TABLE playtime (id INTEGER PRIMARY KEY, seconds INTEGER NOT NULL,"
                              " last_session INTEGER NOT NULL, since INTEGER NOT NULL);"
                              "COMMIT;";

// Play statistics, each movie's size and SHA-256, the stars and the play time live in tables of their own, so that
// table data keeps exactly its columns; a library made before they existed gets them on its first opening.
// The play time's since is when its first session began, what the time is checked against.
// The indexes keep a deletion's "does another game name this file?" quick in a large library.
const char *const statisticsSql =
    "CREATE TABLE IF NOT EXISTS playstats (id INTEGER PRIMARY KEY,"
    " last_played INTEGER NOT NULL DEFAULT 0, play_count INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS data_game ON data (game);"
    "CREATE INDEX IF NOT EXISTS data_gamepic ON data (gamepic);"
    "CREATE TABLE IF NOT EXISTS moviehash (id INTEGER PRIMARY KEY,"
    " size INTEGER NOT NULL, sha256 TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS favourite (id INTEGER PRIMARY KEY, since INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS playtime (id INTEGER PRIMARY KEY,"
    " seconds INTEGER NOT NULL, last_session INTEGER NOT NULL, since INTEGER NOT NULL);";

// A game's chosen player quality lives in a table of its own too, made when a first choice is kept.
const char *const qualitySql = "CREATE TABLE IF NOT EXISTS gamequality (id INTEGER PRIMARY KEY, quality TEXT NOT NULL)";

// Where each game came from and the files it keeps beside its movie live in tables of their own as well, made when
// the first is recorded. A kept file is one row per path; its digest is the raw 32 bytes.
const char *const originSql = "CREATE TABLE IF NOT EXISTS gameorigin (id INTEGER PRIMARY KEY, origin TEXT NOT NULL)";
const char *const keptFileSql = "CREATE TABLE IF NOT EXISTS keptfile (id INTEGER NOT NULL, path TEXT NOT NULL,"
                                " size INTEGER NOT NULL, sha256 BLOB NOT NULL, PRIMARY KEY (id, path))";

// A kept file's path is plain names joined by '/': a record read back must never lead outside its game's folder.
bool isKeptPath(const QString &path)
{
    const QStringList names = path.split(QLatin1Char('/'));
    return std::all_of(names.cbegin(), names.cend(), LibraryFolders::isPlainFileName);
}

// What the library file is now: a change by anyone shows in one of these.
QByteArray fileStamp(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray();
    return QByteArray::number(qulonglong(st.st_ino)) + ' ' + QByteArray::number(qlonglong(st.st_size)) + ' ' +
           QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
}

void warn(const QString &text)
{
    qCWarning(lcLibrary).noquote() << QStringLiteral("Game library:") << text;
}

std::optional<qint64> wholeNumber(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// A prepared statement that finalizes itself.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (db)
            m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool prepared() const { return m_stmt != nullptr; }
    sqlite3_stmt *handle() const { return m_stmt; }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    void bind(int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const QByteArray &value)
    {
        sqlite3_bind_blob(m_stmt, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }
    // Steps to the next row; false at the end or on an error (told apart by done()).
    bool next()
    {
        m_rc = m_stmt ? sqlite3_step(m_stmt) : m_rc;
        return m_rc == SQLITE_ROW;
    }
    bool done() const { return m_rc == SQLITE_DONE; }
    int resultCode() const { return m_db ? sqlite3_extended_errcode(m_db) : SQLITE_MISUSE; }
    QString error() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no connection"); }

    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QString text(int column) const
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray blob(int column) const
    {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
        return QByteArray(data, sqlite3_column_bytes(m_stmt, column));
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = SQLITE_MISUSE;
};

// Every game query reads the columns in this order, as "data d", with its statistics, star and play time when the
// library has them.
QByteArray selectGames(bool withStatistics, bool withOrganising, const char *rest)
{
    QByteArray sql = "SELECT d.id, d.gameid, d.gamename, d.game, d.gamepic, d.gamedesc, ";
    sql += withStatistics ? "coalesce(s.last_played, 0), coalesce(s.play_count, 0), " : "0, 0, ";
    sql += withOrganising
               ? "f.id IS NOT NULL, coalesce(t.seconds, 0), coalesce(t.last_session, 0), coalesce(t.since, 0)"
               : "0, 0, 0, 0";
    sql += " FROM data d";
    if (withStatistics)
        sql += " LEFT JOIN playstats s ON s.id = d.id";
    if (withOrganising)
        sql += " LEFT JOIN favourite f ON f.id = d.id LEFT JOIN playtime t ON t.id = d.id";
    return sql + rest;
}

GameRecord recordAt(const Statement &row)
{
    GameRecord game;
    game.id = row.integer(0);
    game.gameId = row.text(1);
    game.title = row.text(2);
    game.movieFile = row.text(3);
    game.pictureFile = row.text(4);
    game.description = row.text(5);
    game.lastPlayed = row.integer(6);
    game.playCount = row.integer(7);
    game.favourite = row.integer(8) != 0;
    game.playSeconds = row.integer(9);
    game.lastSessionSeconds = row.integer(10);
    GameStore::repairPlayTime(&game.playSeconds, &game.lastSessionSeconds, row.integer(11),
                              QDateTime::currentSecsSinceEpoch());
    return game;
}

KeptFile keptFileAt(const Statement &row, int first)
{
    return KeptFile{row.text(first), row.integer(first + 1), row.blob(first + 2)};
}

// Every row of st read into a list; nullopt (with a warning) when the statement fails part way.
template <typename T, typename Read> std::optional<QVector<T>> readRows(Statement &st, Read read)
{
    QVector<T> rows;
    while (st.next())
        rows.append(read(st));
    if (!st.done()) {
        warn(st.error());
        return std::nullopt;
    }
    return rows;
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3 *connect(const QString &path, int flags, const QByteArray &key)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_key(db, key.constData(), int(key.size()));
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    // Another program holding the file briefly (the command-line tool) is waited for, not failed on.
    sqlite3_busy_timeout(db, 1000);
    return db;
}

enum class Check
{
    Library,
    Interrupted, // a write was cut off; its journal must be replayed by a connection that may write
    Unusable
};

// Reading the schema is where a wrong key or a file that is no database first shows.
Check checkLibrary(sqlite3 *db, QString *problem)
{
    Statement columns(db, "PRAGMA table_info(data)");
    if (!columns.prepared()) {
        if (columns.resultCode() == SQLITE_READONLY_ROLLBACK)
            return Check::Interrupted;
        *problem = columns.error();
        return Check::Unusable;
    }
    QSet<QString> names;
    while (columns.next())
        names.insert(columns.text(1));
    if (!columns.done()) {
        *problem = columns.error();
        return Check::Unusable;
    }
    for (const char *name : {"id", "gameid", "gamename", "game", "gamepic", "gamedesc"}) {
        if (!names.contains(QLatin1String(name))) {
            *problem = QStringLiteral("it holds no table data with the library's columns");
            return Check::Unusable;
        }
    }
    return Check::Library;
}

// A checked write connection: reading a damaged page anywhere in the file fails here, before any change.
bool wholeFile(sqlite3 *db, QString *problem)
{
    Statement check(db, "PRAGMA quick_check");
    QStringList findings;
    while (check.next())
        findings << check.text(0);
    if (!check.done()) {
        *problem = check.error();
        return false;
    }
    if (findings != QStringList{QStringLiteral("ok")}) {
        *problem = findings.mid(0, 3).join(QLatin1String("; "));
        return false;
    }
    return true;
}

} // namespace

GameStore::GameStore(const QString &dataFolder) : m_folders(dataFolder) {}

GameStore::~GameStore()
{
    closeConnection();
}

void GameStore::closeConnection()
{
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

std::optional<QByteArray> GameStore::keySpecFor(const QString &path)
{
    const int fd = datafile::openRegular(path);
    if (fd < 0)
        return std::nullopt;
    QByteArray salt(saltBytes, Qt::Uninitialized);
    const bool read = ::pread(fd, salt.data(), saltBytes, 0) == saltBytes;
    ::close(fd);
    if (!read)
        return std::nullopt;
    const auto known = m_keySpecs.constFind(salt);
    if (known != m_keySpecs.constEnd())
        return *known;
    const QByteArray pass = passphrase();
    unsigned char key[keyBytes];
    if (PKCS5_PBKDF2_HMAC(pass.constData(), int(pass.size()), reinterpret_cast<const unsigned char *>(salt.constData()),
                          saltBytes, kdfIterations, EVP_sha1(), keyBytes, key) != 1)
        return std::nullopt;
    const QByteArray spec =
        QByteArrayLiteral("x'") + QByteArray(reinterpret_cast<const char *>(key), keyBytes).toHex() + "'";
    m_keySpecs.insert(salt, spec);
    return spec;
}

bool GameStore::open_db()
{
    closeConnection();
    const QString path = dbfile();
    auto refuse = [&path](const QString &problem) {
        warn(QStringLiteral("%1 cannot be used (%2); it is left as it is.").arg(path, problem));
        return false;
    };
    // The library is only ever a regular file of the data folder: through a link the store would write wherever it
    // leads, and a FIFO or a device would hang or feed it without end. Such a thing is left alone (it may be the
    // user's doing, and the games' files are named by the library it stands for), and no new library replaces it.
    const QFileInfo found(path);
    if (found.isSymLink() || (found.exists() && !found.isFile()))
        return refuse(QStringLiteral("it is not a regular file"));
    if (!found.exists() && !createLibrary(path)) {
        warn(QStringLiteral("%1 is missing and cannot be created.").arg(path));
        return false;
    }
    const std::optional<QByteArray> key = keySpecFor(path);
    if (!key)
        return refuse(QStringLiteral("it is not an encrypted library"));

    // A file that may not be ours is first looked at through a connection that cannot write to it.
    QString problem;
    Check check = Check::Unusable;
    if (sqlite3 *reader = connect(path, SQLITE_OPEN_READONLY, *key)) {
        check = checkLibrary(reader, &problem);
        sqlite3_close(reader);
    } else {
        problem = QStringLiteral("it cannot be opened");
    }
    if (check == Check::Unusable)
        return refuse(problem);

    sqlite3 *db = connect(path, SQLITE_OPEN_READWRITE, *key);
    if (!db)
        return refuse(QStringLiteral("it cannot be opened"));
    // After an interrupted write, this first read replays the journal and so restores the last whole state.
    if (check == Check::Interrupted && checkLibrary(db, &problem) != Check::Library) {
        sqlite3_close(db);
        return refuse(problem);
    }
    m_db = db;
    m_hasStatistics = prepareStatistics();
    return true;
}

bool GameStore::prepareStatistics()
{
    const auto present = [this](int *statistics, int *organising) {
        Statement st(m_db, "SELECT count(*), sum(name = 'playstats'), sum(name IN ('favourite', 'playtime'))"
                           " FROM sqlite_master"
                           " WHERE name IN ('playstats', 'data_game', 'data_gamepic', 'moviehash', 'favourite',"
                           " 'playtime')");
        if (!st.next())
            return -1;
        *statistics = int(st.integer(1));
        *organising = int(st.integer(2));
        return int(st.integer(0));
    };
    int statistics = 0;
    int organising = 0;
    const int found = present(&statistics, &organising);
    if (found < 0)
        return false;
    // A library that has every table is only read, so that opening it leaves the file as it was.
    // One that cannot be written still lists and plays its games, without what it had no table for.
    if (found != 6 && write("keep play statistics", [this] { return exec(m_db, statisticsSql); }))
        present(&statistics, &organising);
    m_hasOrganising = organising == 2;
    return statistics > 0;
}

bool GameStore::ensureOpen()
{
    return m_db || open_db();
}

bool GameStore::write(const char *what, const std::function<bool()> &change)
{
    if (!ensureOpen())
        return false;
    QString problem;
    m_diskFull = false;
    // The whole file is read once before writing to it, and again only when it changed since (by anyone but
    // this store): a damaged page then stops the change before it is made.
    const QString path = dbfile();
    if (!exec(m_db, "BEGIN IMMEDIATE")) {
        problem = QString::fromUtf8(sqlite3_errmsg(m_db));
    } else if (fileStamp(path) != m_checkedStamp && !wholeFile(m_db, &problem)) {
        exec(m_db, "ROLLBACK");
    } else if (!change() || !exec(m_db, "COMMIT")) {
        problem = QString::fromUtf8(sqlite3_errmsg(m_db));
        m_diskFull = (sqlite3_extended_errcode(m_db) & 0xFF) == SQLITE_FULL;
        exec(m_db, "ROLLBACK");
        m_checkedStamp.clear();
    } else {
        m_checkedStamp = fileStamp(path);
        return true;
    }
    warn(QStringLiteral("cannot %1: %2").arg(QLatin1String(what), problem));
    return false;
}

std::optional<qint64> GameStore::count()
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT count(*) FROM data");
    if (!st.next())
        return std::nullopt;
    return st.integer(0);
}

std::optional<QVector<GameRecord>> GameStore::gamesNewestFirst()
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, selectGames(m_hasStatistics, m_hasOrganising, " ORDER BY d.id DESC").constData());
    return readRows<GameRecord>(st, recordAt);
}

std::optional<GameRecord> GameStore::gameById(const QString &idText)
{
    const std::optional<qint64> id = wholeNumber(idText);
    return id ? gameById(*id) : std::nullopt;
}

std::optional<GameRecord> GameStore::gameById(qint64 id)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, selectGames(m_hasStatistics, m_hasOrganising, " WHERE d.id = ?").constData());
    st.bind(1, id);
    if (!st.next())
        return std::nullopt;
    return recordAt(st);
}

std::optional<QVector<GameRecord>> GameStore::gamesByIds(const QVector<qint64> &ids)
{
    if (!ensureOpen())
        return std::nullopt;
    QVector<GameRecord> games;
    // In slices, each well under the engine's limit on a statement's length.
    constexpr int slice = 500;
    for (int from = 0; from < ids.size(); from += slice) {
        QByteArray list;
        for (int i = from; i < std::min<int>(from + slice, ids.size()); ++i)
            list += (list.isEmpty() ? "" : ",") + QByteArray::number(ids.at(i));
        Statement st(m_db, selectGames(m_hasStatistics, m_hasOrganising, " WHERE d.id IN (" + list + ")").constData());
        const std::optional<QVector<GameRecord>> part = readRows<GameRecord>(st, recordAt);
        if (!part)
            return std::nullopt;
        games += *part;
    }
    return games;
}

std::optional<int> GameStore::loadIndexPart(GameIndex &index, qint64 belowId, int limit, qint64 *lastId)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(
        m_db, selectGames(m_hasStatistics, m_hasOrganising, " WHERE d.id < ? ORDER BY d.id DESC LIMIT ?").constData());
    st.bind(1, belowId);
    st.bind(2, qint64(limit));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    int added = 0;
    while (st.next()) {
        // Only what the index needs is read: the texts it folds and the numbers it orders by.
        qint64 seconds = st.integer(9);
        qint64 session = 0;
        repairPlayTime(&seconds, &session, st.integer(11), now);
        index.append(st.integer(0), st.text(2), st.text(3), st.text(5), st.integer(6), st.integer(7),
                     st.integer(8) != 0, seconds);
        *lastId = st.integer(0);
        ++added;
    }
    if (!st.done()) {
        warn(st.error());
        return std::nullopt;
    }
    return added;
}

std::optional<QVector<qint64>> GameStore::idsNewestFirst()
{
    if (!ensureOpen())
        return std::nullopt;
    // The ids are in every index: reading a small one spares decrypting every game's texts.
    Statement indexed(m_db, "SELECT id FROM data INDEXED BY data_gameid ORDER BY id DESC");
    Statement plain(indexed.prepared() ? nullptr : m_db, "SELECT id FROM data ORDER BY id DESC");
    Statement &st = indexed.prepared() ? indexed : plain;
    return readRows<qint64>(st, [](const Statement &row) { return row.integer(0); });
}

std::optional<qint64> GameStore::idOfGameId(const QString &gameId)
{
    const std::optional<qint64> number = wholeNumber(gameId);
    if (!number || !ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT id FROM data WHERE gameid = ? ORDER BY id LIMIT 1");
    st.bind(1, *number);
    if (!st.next())
        return std::nullopt;
    return st.integer(0);
}

bool GameStore::recordPlay(qint64 id, qint64 when)
{
    if (!ensureOpen() || !m_hasStatistics)
        return false;
    bool counted = false;
    const bool written = write("count a play", [&] {
        Statement add(m_db, "INSERT OR IGNORE INTO playstats (id) SELECT id FROM data WHERE id = ?");
        add.bind(1, id);
        add.next();
        Statement st(m_db, "UPDATE playstats SET last_played = ?, play_count = play_count + 1 WHERE id = ?");
        st.bind(1, when);
        st.bind(2, id);
        st.next();
        counted = st.done() && sqlite3_changes(m_db) > 0;
        return add.done() && st.done();
    });
    return written && counted;
}

std::optional<bool> GameStore::hasGameId(const QString &gameId)
{
    const std::optional<qint64> number = wholeNumber(gameId);
    if (!number || !ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT 1 FROM data WHERE gameid = ? LIMIT 1");
    st.bind(1, *number);
    const bool found = st.next();
    if (!found && !st.done())
        return std::nullopt;
    return found;
}

std::optional<qint64> GameStore::insertGame(const QString &gameId, const QString &title, const QString &movieFile,
                                            const QString &pictureFile, const QString &description)
{
    const std::optional<qint64> number = wholeNumber(gameId);
    if (!number || !gameids::isServerGameId(gameId)) {
        warn(QStringLiteral("the game id \"%1\" is not a whole number above zero; the game is not recorded.")
                 .arg(gameId));
        return std::nullopt;
    }
    qint64 row = 0;
    const bool written = write("record a game", [&] {
        Statement st(m_db, "INSERT INTO data (gameid, gamename, game, gamepic, gamedesc) VALUES (?, ?, ?, ?, ?)");
        st.bind(1, *number);
        st.bind(2, title);
        st.bind(3, movieFile);
        st.bind(4, pictureFile);
        st.bind(5, description);
        st.next();
        row = sqlite3_last_insert_rowid(m_db);
        return st.done();
    });
    return written ? std::optional<qint64>(row) : std::nullopt;
}

bool GameStore::insertOwnGames(QVector<GameRecord> &games)
{
    if (games.isEmpty())
        return true;
    return write("record the games added", [&] {
        Statement lowest(m_db, "SELECT min(0, coalesce(min(gameid), 0)) FROM data");
        if (!lowest.next())
            return false;
        qint64 gameId = lowest.integer(0);
        for (GameRecord &game : games) {
            game.gameId = QString::number(--gameId);
            Statement st(m_db, "INSERT INTO data (gameid, gamename, game, gamepic, gamedesc) VALUES (?, ?, ?, ?, ?)");
            st.bind(1, gameId);
            st.bind(2, game.title);
            st.bind(3, game.movieFile);
            st.bind(4, game.pictureFile);
            st.bind(5, game.description);
            st.next();
            if (!st.done())
                return false;
            game.id = sqlite3_last_insert_rowid(m_db);
        }
        return true;
    });
}

bool GameStore::removeById(const QString &idText)
{
    const std::optional<qint64> id = wholeNumber(idText);
    return id && removeById(*id);
}

bool GameStore::removeById(qint64 id)
{
    return write("delete a game", [&] {
        Statement st(m_db, "DELETE FROM data WHERE id = ?");
        st.bind(1, id);
        st.next();
        if (!st.done())
            return false;
        if (!m_hasStatistics)
            return true;
        Statement stats(m_db, "DELETE FROM playstats WHERE id = ?");
        stats.bind(1, id);
        stats.next();
        if (!stats.done())
            return false;
        // These tables may not exist yet: then there is nothing of this game in them.
        for (const char *sql : {"DELETE FROM gamequality WHERE id = ?", "DELETE FROM moviehash WHERE id = ?",
                                "DELETE FROM favourite WHERE id = ?", "DELETE FROM playtime WHERE id = ?",
                                "DELETE FROM gameorigin WHERE id = ?", "DELETE FROM keptfile WHERE id = ?"}) {
            Statement other(m_db, sql);
            other.bind(1, id);
            if (other.prepared() && (other.next(), !other.done()))
                return false;
        }
        return true;
    });
}

QString GameStore::gameQuality(qint64 id)
{
    if (!ensureOpen())
        return QString();
    Statement st(m_db, "SELECT quality FROM gamequality WHERE id = ?");
    st.bind(1, id);
    return st.next() ? st.text(0) : QString();
}

bool GameStore::setGameQuality(qint64 id, const QString &quality)
{
    bool kept = false;
    const bool written = write("keep a game's quality", [&] {
        if (!exec(m_db, qualitySql))
            return false;
        if (quality.isEmpty()) {
            Statement st(m_db, "DELETE FROM gamequality WHERE id = ?");
            st.bind(1, id);
            st.next();
            return st.done();
        }
        // Only a recorded game keeps a choice.
        Statement st(m_db, "INSERT OR REPLACE INTO gamequality (id, quality) SELECT id, ? FROM data WHERE id = ?");
        st.bind(1, quality);
        st.bind(2, id);
        st.next();
        kept = st.done() && sqlite3_changes(m_db) > 0;
        return st.done();
    });
    return written && (kept || quality.isEmpty());
}

bool GameStore::setFavourite(qint64 id, bool favourite)
{
    if (!ensureOpen() || !m_hasOrganising)
        return false;
    bool changed = false;
    const bool written = write("star a game", [&] {
        // Only a recorded game is starred.
        Statement st(m_db, favourite ? "INSERT OR IGNORE INTO favourite (id, since) SELECT id, ? FROM data WHERE id = ?"
                                     : "DELETE FROM favourite WHERE id = ?");
        if (favourite)
            st.bind(1, QDateTime::currentSecsSinceEpoch());
        st.bind(favourite ? 2 : 1, id);
        st.next();
        changed = st.done();
        return st.done();
    });
    if (!written || !changed)
        return false;
    const std::optional<GameRecord> game = gameById(id);
    return game && game->favourite == favourite;
}

void GameStore::repairPlayTime(qint64 *seconds, qint64 *sessionSeconds, qint64 firstSession, qint64 now)
{
    // A first session that is later than now, or none, says nothing of how long the game can have run.
    // A minute's leeway: the clocks are read in whole seconds, at times that differ a little.
    const qint64 possible = firstSession > 0 && firstSession <= now ? now - firstSession + 60 : maxPlaySeconds;
    *seconds = std::clamp<qint64>(*seconds, 0, std::min(possible, maxPlaySeconds));
    *sessionSeconds = std::clamp<qint64>(*sessionSeconds, 0, *seconds);
}

bool GameStore::addPlayTime(qint64 id, qint64 seconds, qint64 sessionSeconds, qint64 at)
{
    if (!ensureOpen() || !m_hasOrganising || seconds < 0)
        return false;
    bool added = false;
    const bool written = write("keep a game's play time", [&] {
        Statement known(m_db, "SELECT coalesce(t.seconds, 0), coalesce(t.since, 0), t.id IS NOT NULL FROM data d"
                              " LEFT JOIN playtime t ON t.id = d.id WHERE d.id = ?");
        known.bind(1, id);
        if (!known.next())
            return known.done();
        qint64 total = known.integer(0);
        qint64 since = known.integer(1);
        qint64 unused = 0;
        // What is added to is repaired first: an absurd total would otherwise stay absurd for ever.
        repairPlayTime(&total, &unused, since, at);
        total = std::min(total + seconds, maxPlaySeconds);
        // A first session began no later than its time ago.
        if (known.integer(2) == 0 || since <= 0 || since > at)
            since = at - std::max(total, sessionSeconds);
        Statement st(m_db, "INSERT OR REPLACE INTO playtime (id, seconds, last_session, since) VALUES (?, ?, ?, ?)");
        st.bind(1, id);
        st.bind(2, total);
        st.bind(3, std::clamp<qint64>(sessionSeconds, 0, total));
        st.bind(4, since);
        st.next();
        added = st.done();
        return st.done();
    });
    return written && added;
}

std::optional<MovieDigest> GameStore::movieDigest(qint64 id)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT size, sha256 FROM moviehash WHERE id = ?");
    st.bind(1, id);
    if (!st.next())
        return std::nullopt;
    return MovieDigest{st.integer(0), QByteArray::fromHex(st.text(1).toLatin1())};
}

std::optional<QHash<qint64, MovieDigest>> GameStore::movieDigests()
{
    if (!ensureOpen())
        return std::nullopt;
    QHash<qint64, MovieDigest> digests;
    Statement st(m_db, "SELECT id, size, sha256 FROM moviehash");
    // A library that could not be given the table yet has no digest.
    if (!st.prepared())
        return digests;
    while (st.next())
        digests.insert(st.integer(0), MovieDigest{st.integer(1), QByteArray::fromHex(st.text(2).toLatin1())});
    if (!st.done()) {
        warn(st.error());
        return std::nullopt;
    }
    return digests;
}

int GameStore::setMovieDigests(const QHash<qint64, MovieDigest> &digests, DigestWrite how)
{
    if (digests.isEmpty())
        return 0;
    int kept = 0;
    const bool written = write("keep the movies' digests", [&] {
        if (!exec(m_db, "CREATE TABLE IF NOT EXISTS moviehash (id INTEGER PRIMARY KEY, size INTEGER NOT NULL,"
                        " sha256 TEXT NOT NULL)"))
            return false;
        // Only a recorded game keeps a digest.
        Statement st(m_db, how == DigestWrite::Replace
                               ? "INSERT OR REPLACE INTO moviehash (id, size, sha256) SELECT id, ?, ? FROM data"
                                 " WHERE id = ?"
                               : "INSERT OR IGNORE INTO moviehash (id, size, sha256) SELECT id, ?, ? FROM data"
                                 " WHERE id = ?");
        kept = 0;
        for (auto it = digests.cbegin(); it != digests.cend(); ++it) {
            sqlite3_reset(st.handle());
            st.bind(1, it.value().size);
            st.bind(2, QString::fromLatin1(it.value().sha256.toHex()));
            st.bind(3, it.key());
            st.next();
            if (!st.done())
                return false;
            kept += sqlite3_changes(m_db) > 0 ? 1 : 0;
        }
        return true;
    });
    return written ? kept : -1;
}

std::optional<QString> GameStore::gameOrigin(qint64 id)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT origin FROM gameorigin WHERE id = ?");
    // A library that was never given the table has no origin.
    if (!st.prepared())
        return QString();
    st.bind(1, id);
    if (st.next())
        return st.text(0);
    if (!st.done()) {
        warn(st.error());
        return std::nullopt;
    }
    return QString();
}

bool GameStore::setGameOrigins(const QHash<qint64, QString> &origins)
{
    if (origins.isEmpty())
        return true;
    bool allKept = true;
    const bool written = write("keep where games came from", [&] {
        if (!exec(m_db, originSql))
            return false;
        // Only a recorded game keeps an origin.
        Statement keep(m_db, "INSERT OR REPLACE INTO gameorigin (id, origin) SELECT id, ? FROM data WHERE id = ?");
        Statement forget(m_db, "DELETE FROM gameorigin WHERE id = ?");
        allKept = true;
        for (auto it = origins.cbegin(); it != origins.cend(); ++it) {
            Statement &st = it.value().isEmpty() ? forget : keep;
            sqlite3_reset(st.handle());
            if (it.value().isEmpty()) {
                st.bind(1, it.key());
            } else {
                st.bind(1, it.value());
                st.bind(2, it.key());
            }
            st.next();
            if (!st.done())
                return false;
            allKept = allKept && (it.value().isEmpty() || sqlite3_changes(m_db) > 0);
        }
        return true;
    });
    return written && allKept;
}

std::optional<QVector<KeptFile>> GameStore::keptFiles(qint64 id)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, "SELECT path, size, sha256 FROM keptfile WHERE id = ? ORDER BY path");
    if (!st.prepared())
        return QVector<KeptFile>();
    st.bind(1, id);
    return readRows<KeptFile>(st, [](const Statement &row) { return keptFileAt(row, 0); });
}

std::optional<QHash<qint64, QVector<KeptFile>>> GameStore::allKeptFiles()
{
    if (!ensureOpen())
        return std::nullopt;
    QHash<qint64, QVector<KeptFile>> files;
    Statement st(m_db, "SELECT id, path, size, sha256 FROM keptfile ORDER BY id, path");
    if (!st.prepared())
        return files;
    while (st.next())
        files[st.integer(0)].append(keptFileAt(st, 1));
    if (!st.done()) {
        warn(st.error());
        return std::nullopt;
    }
    return files;
}

bool GameStore::recordKeptFile(qint64 id, const KeptFile &file)
{
    return recordKeptFiles(id, {file});
}

bool GameStore::recordKeptFiles(qint64 id, const QVector<KeptFile> &files)
{
    for (const KeptFile &file : files) {
        if (!isKeptPath(file.path) || file.size < 0) {
            warn(QStringLiteral("the kept file \"%1\" is not a plain path; it is not recorded.").arg(file.path));
            return false;
        }
    }
    bool kept = false;
    const bool written = write("record kept files", [&] {
        if (!exec(m_db, keptFileSql))
            return false;
        // Only a recorded game keeps files.
        Statement st(m_db, "INSERT OR REPLACE INTO keptfile (id, path, size, sha256) SELECT id, ?, ?, ? FROM data"
                           " WHERE id = ?");
        kept = true;
        for (const KeptFile &file : files) {
            sqlite3_reset(st.handle());
            st.bind(1, file.path);
            st.bind(2, file.size);
            st.bindBlob(3, file.sha256);
            st.bind(4, id);
            st.next();
            if (!st.done())
                return false;
            kept = kept && sqlite3_changes(m_db) > 0;
        }
        return true;
    });
    return written && kept;
}

bool GameStore::forgetKeptFiles(qint64 id, const QString &path)
{
    return write("forget kept files", [&] {
        Statement st(m_db, path.isEmpty() ? "DELETE FROM keptfile WHERE id = ?"
                                          : "DELETE FROM keptfile WHERE id = ? AND path = ?");
        // A library that was never given the table keeps no file to forget.
        if (!st.prepared())
            return true;
        st.bind(1, id);
        if (!path.isEmpty())
            st.bind(2, path);
        st.next();
        return st.done();
    });
}

std::optional<qint64> GameStore::countNaming(const char *sql, const QString &name)
{
    if (!ensureOpen())
        return std::nullopt;
    Statement st(m_db, sql);
    st.bind(1, name);
    if (!st.next())
        return std::nullopt;
    return st.integer(0);
}

std::optional<qint64> GameStore::countUsingMovie(const QString &movieFile)
{
    return countNaming("SELECT count(*) FROM data WHERE game = ?", movieFile);
}

std::optional<qint64> GameStore::countUsingPicture(const QString &pictureFile)
{
    return countNaming("SELECT count(*) FROM data WHERE gamepic = ?", pictureFile);
}

bool GameStore::createLibrary(const QString &path)
{
    const QFileInfo target(path);
    if (target.exists())
        return target.isFile();
    // Built under another name and moved into place whole, so that an interrupted creation never leaves a
    // half-made file that would then be taken for a damaged library.
    QTemporaryFile staging(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX"));
    if (!staging.open())
        return false;
    const QString stagingPath = staging.fileName();
    sqlite3 *db = nullptr;
    const QByteArray pass = passphrase();
    int rc = sqlite3_open_v2(QFile::encodeName(stagingPath).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_key(db, pass.constData(), int(pass.size()));
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, schemaSql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        return false;
    staging.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                           QFileDevice::ReadOther);
    staging.close();
    // Never replaces a file that appeared meanwhile.
    if (!QFile::rename(stagingPath, path))
        return QFileInfo(path).isFile();
    staging.setAutoRemove(false);
    return true;
}
