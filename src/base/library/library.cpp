#include "base/library/library.h"

#include "base/library/companiontree.h"
#include "base/library/gamefiling.h"
#include "base/library/incomingfile.h"
#include "base/library/movieimport.h"
#include "base/logging.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <unistd.h>

Library::Library(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_ownStore(std::make_unique<GameStore>(dataFolder)), m_store(m_ownStore.get())
{
}

Library::Library(GameStore *store, QObject *parent) : QObject(parent), m_store(store) {}

Library::~Library() = default;

void Library::digestMovie(const GameRecord &game)
{
    const QString path = folders().moviePath(game.movieFile);
    if (path.isEmpty())
        return;
    if (!m_digests) {
        m_digests = std::make_unique<DigestWorker>();
        connect(m_digests.get(), &DigestWorker::digested, this, &Library::keepDigests);
    }
    const quint64 serial = ++m_digestSerial;
    m_latestDigest.insert(game.id, serial);
    m_digests->add({game.id, serial, path});
}

void Library::keepDigests(const QVector<DigestWorker::Result> &results)
{
    QHash<qint64, MovieDigest> digests;
    for (const DigestWorker::Result &result : results) {
        // A later digest of the same game is under way: its movie was replaced again.
        if (m_latestDigest.value(result.job.id) != result.job.serial)
            continue;
        m_latestDigest.remove(result.job.id);
        // A movie that could not be read whole is digested by the next verification.
        if (result.digest)
            digests.insert(result.job.id, *result.digest);
        else
            qCWarning(lcLibrary).noquote() << "Cannot read" << result.job.path << "to record its digest";
    }
    if (m_store->setMovieDigests(digests, GameStore::DigestWrite::Replace) < 0)
        return;
    for (auto it = digests.cbegin(); it != digests.cend(); ++it)
        emit movieDigested(it.key());
}

int Library::recordFirstDigests(const QHash<qint64, MovieDigest> &digests)
{
    // A digest of the game under way is of its newer movie: it wins.
    QHash<qint64, MovieDigest> first = digests;
    for (auto it = m_latestDigest.cbegin(); it != m_latestDigest.cend(); ++it)
        first.remove(it.key());
    return std::max(0, m_store->setMovieDigests(first, GameStore::DigestWrite::IfMissing));
}

namespace {

// Files no row names that are still the program's own: those coming in or partly downloaded (a hidden name), and
// the start-up advertisements, the movies among the pictures.
bool isProgramsOwn(GameFile kind, const QString &name)
{
    return name.startsWith(QLatin1Char('.')) ||
           (kind == GameFile::Picture && name.endsWith(QLatin1String(".swf"), Qt::CaseInsensitive));
}

// Where the files an acquired game's movie loads beside it come from: its movie's address on the game server.
QString serverOrigin(const AcquiredGame &game)
{
    const QUrl url(game.movieUrl);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    return url.toString();
}

} // namespace

void Library::keepOrigin(qint64 id, const QString &origin)
{
    // Without it the game still plays; only the files its movie loads beside it cannot be fetched.
    if (!origin.isEmpty() && !m_store->setGameOrigin(id, origin))
        qCWarning(lcLibrary).noquote() << "Cannot record where game" << id << "came from";
}

QStringList Library::unnamedFiles(GameFile kind, const QStringList &names)
{
    QStringList unnamed;
    if (names.isEmpty())
        return unnamed;
    const std::optional<QVector<GameRecord>> games = m_store->gamesNewestFirst();
    if (!games)
        return unnamed;
    QSet<QString> named;
    for (const GameRecord &game : *games)
        named.insert(kind == GameFile::Movie ? game.movieFile : game.pictureFile);
    for (const QString &name : names) {
        if (!isProgramsOwn(kind, name) && !named.contains(name) && !folders().filePath(kind, name).isEmpty() &&
            !(m_filesInUse && m_filesInUse(kind, name)))
            unnamed.append(name);
    }
    return unnamed;
}

bool Library::removeOrphan(GameFile kind, const QString &name)
{
    if (isProgramsOwn(kind, name) || (m_filesInUse && m_filesInUse(kind, name)))
        return false;
    // A link is removed itself, never what it points to.
    const QString path = folders().filePath(kind, name);
    const std::optional<qint64> rows = countNaming(kind, name);
    if (path.isEmpty() || !rows || *rows > 0 || (!QFileInfo(path).isSymLink() && !QFileInfo(path).isFile()))
        return false;
    if (!QFile::remove(path)) {
        qCWarning(lcLibrary).noquote() << "Cannot remove" << path;
        return false;
    }
    qCInfo(lcLibrary).noquote() << "Removed" << path << ", which no game names";
    return true;
}

QStringList Library::unnamedCompanions(const QStringList &paths)
{
    if (paths.isEmpty())
        return {};
    const std::optional<QVector<qint64>> ids = m_store->idsNewestFirst();
    const std::optional<QHash<qint64, QVector<KeptFile>>> kept = m_store->allKeptFiles();
    if (!ids || !kept)
        return {};
    const CompanionRecords records = CompanionRecords::of(*ids, *kept);
    const QString root = folders().companionRoot();
    QStringList unnamed;
    for (const QString &path : paths) {
        CompanionRecords::Kind kind = CompanionRecords::Kind::Other;
        const int fd = companiontree::openRegular(root, path);
        if (fd >= 0) {
            ::close(fd);
            kind = CompanionRecords::Kind::File;
        } else if (const QFileInfo at(root + QLatin1Char('/') + path); at.isDir() && !at.isSymLink()) {
            kind = CompanionRecords::Kind::Folder;
        }
        if (records.unnamedPart(path, kind) == path)
            unnamed.append(path);
    }
    return unnamed;
}

bool Library::removeOrphanCompanion(const QString &path)
{
    const QString root = folders().companionRoot();
    const QFileInfo at(root + QLatin1Char('/') + path);
    if ((!at.exists() && !at.isSymLink()) || unnamedCompanions({path}) != QStringList{path})
        return false;
    if (!companiontree::remove(root, path)) {
        qCWarning(lcLibrary).noquote() << "Cannot remove all of" << at.filePath();
        return false;
    }
    companiontree::pruneEmptyFolders(root, path);
    qCInfo(lcLibrary).noquote() << "Removed" << at.filePath() << ", which no game names";
    return true;
}

bool Library::makeFolders()
{
    return folders().makeFolders().isEmpty();
}

bool Library::open()
{
    return m_store->open_db();
}

std::optional<qint64> Library::gameCount()
{
    if (!open())
        return std::nullopt;
    return m_store->count();
}

std::optional<GameRecord> Library::game(qint64 id)
{
    return m_store->gameById(id);
}

std::optional<GameRecord> Library::gameWithServerId(const QString &gameId)
{
    const std::optional<qint64> id = m_store->idOfGameId(gameId);
    return id ? m_store->gameById(*id) : std::nullopt;
}

std::optional<qint64> Library::countNaming(GameFile kind, const QString &name)
{
    return kind == GameFile::Movie ? m_store->countUsingMovie(name) : m_store->countUsingPicture(name);
}

FileNaming Library::namingFor(GameFile kind, const AcquiredGame &game,
                              const std::function<bool(const QString &name)> &heldElsewhere, const QString &ownOnTheWay)
{
    const QString fromUrl = kind == GameFile::Movie ? game.movieFile : game.pictureFile;
    // Its own row's file, when the game comes again: the row goes on naming it. Only a plain name can be a
    // file there.
    const std::optional<GameRecord> row = open() ? gameWithServerId(game.gameId) : std::nullopt;
    QString own;
    if (row && gamefiling::judge(row, game.title, game.movieFile) == gamefiling::Arrival::Again) {
        own = kind == GameFile::Movie ? row->movieFile : row->pictureFile;
        if (folders().filePath(kind, own).isEmpty())
            own.clear();
    }
    if (own.isEmpty() && kind == GameFile::Movie)
        own = ownOnTheWay;
    FileNaming naming;
    naming.wanted = gamefiling::wantedName(fromUrl, own);
    naming.keep = [this, kind, own, heldElsewhere](const QString &name) {
        std::optional<qint64> rows = countNaming(kind, name);
        // A library that cannot be read names nothing we can see: a file already there stays, a free name is taken.
        if (!rows)
            rows = QFileInfo::exists(folders().filePath(kind, name)) ? 1 : 0;
        return gamefiling::keptForAnother(rows, !own.isEmpty() && name == own, heldElsewhere && heldElsewhere(name));
    };
    return naming;
}

Recording Library::recordAcquired(const AcquiredGame &game)
{
    Recording result;
    // The user may have deleted the game, movie and all, while its picture came in: a row must never name a
    // movie that is not there.
    if (!QFileInfo(folders().moviePath(game.movieFile)).isFile()) {
        qCWarning(lcLibrary).noquote() << "The movie" << game.movieFile << "is gone; game" << game.gameId
                                       << "is not recorded";
        result.status = Recording::Status::MovieMissing;
        return result;
    }
    // The store logs why it cannot read or write the library.
    if (!open())
        return result;
    const std::optional<bool> known = m_store->hasGameId(game.gameId);
    if (!known)
        return result;
    if (!*known) {
        const std::optional<qint64> id =
            m_store->insertGame(game.gameId, game.title, game.movieFile, game.pictureFile, game.description);
        if (!id)
            return result;
        result.status = Recording::Status::Recorded;
        keepOrigin(*id, serverOrigin(game));
        result.row = m_store->gameById(*id);
        if (result.row)
            digestMovie(*result.row);
        emit gameRecorded(*id);
        return result;
    }
    // Another game may have taken the id while this one came in.
    result.row = gameWithServerId(game.gameId);
    if (!result.row)
        return result;
    if (gamefiling::judge(result.row, game.title, game.movieFile) == gamefiling::Arrival::AnotherGame) {
        qCWarning(lcLibrary).noquote() << "Game" << game.gameId << game.title.left(200)
                                       << "not recorded: the library holds another game under its id:"
                                       << result.row->title.left(200);
        result.status = Recording::Status::IdInUse;
    } else {
        result.status = Recording::Status::AlreadyRecorded;
        // The latest address it came from is where its files are fetched from now.
        keepOrigin(result.row->id, serverOrigin(game));
        // The game came again: the movie its row names may have been replaced by the one that just arrived.
        digestMovie(*result.row);
    }
    return result;
}

std::optional<QVector<GameRecord>> Library::recordImported(const QVector<ImportedMovie> &movies)
{
    // A file already recorded (the same movie added before) is recorded once.
    QVector<GameRecord> games;
    QStringList sources;
    QStringList copies;
    QSet<QString> names;
    for (const ImportedMovie &movie : movies) {
        if (names.contains(movie.movieFile))
            continue;
        names.insert(movie.movieFile);
        if (movie.copied)
            copies.append(folders().moviePath(movie.movieFile));
        else if (m_store->countUsingMovie(movie.movieFile).value_or(0) > 0)
            continue;
        GameRecord game;
        game.title = movie.title;
        game.movieFile = movie.movieFile;
        games.append(game);
        sources.append(movie.sourcePath);
    }
    if (!m_store->insertOwnGames(games)) {
        // Nothing was recorded: the copies made for it go again, as if never added.
        for (const QString &path : std::as_const(copies))
            QFile::remove(path);
        return std::nullopt;
    }
    // The files a movie loads beside it are copied from the folder it was imported from.
    QHash<qint64, QString> origins;
    for (int i = 0; i < games.size(); ++i) {
        if (!sources.at(i).isEmpty())
            origins.insert(games.at(i).id, QUrl::fromLocalFile(QFileInfo(sources.at(i)).absolutePath()).toString());
    }
    if (!m_store->setGameOrigins(origins))
        qCWarning(lcLibrary).noquote() << "Cannot record which folders the games added came from";
    for (const GameRecord &game : std::as_const(games)) {
        digestMovie(game);
        emit gameRecorded(game.id);
    }
    return games;
}

GamePlay Library::play(qint64 id)
{
    GamePlay result;
    const std::optional<GameRecord> game = m_store->gameById(id);
    if (!game)
        return result;
    result.game = *game;
    // A value of its own: a download that is running keeps its target.
    result.moviePath = folders().moviePath(game->movieFile);
    if (result.moviePath.isEmpty() || !QFileInfo(result.moviePath).isFile()) {
        qCWarning(lcLibrary).noquote() << "The movie of game" << game->gameId << "is missing:"
                                       << (result.moviePath.isEmpty() ? game->movieFile : result.moviePath);
        result.status = GamePlay::Status::MovieMissing;
        return result;
    }
    result.status = GamePlay::Status::Ready;
    if (countPlay(id))
        result.game = m_store->gameById(id).value_or(result.game);
    return result;
}

bool Library::countPlay(qint64 id)
{
    if (!m_store->recordPlay(id, QDateTime::currentSecsSinceEpoch()))
        return false;
    if (const std::optional<GameRecord> game = m_store->gameById(id))
        emit gamePlayed(*game);
    return true;
}

bool Library::setFavourite(qint64 id, bool favourite)
{
    if (!m_store->setFavourite(id, favourite))
        return false;
    emit favouriteChanged(id, favourite);
    return true;
}

bool Library::addPlayTime(qint64 id, qint64 seconds, qint64 sessionSeconds)
{
    if (!m_store->addPlayTime(id, seconds, sessionSeconds, QDateTime::currentSecsSinceEpoch()))
        return false;
    if (const std::optional<GameRecord> game = m_store->gameById(id))
        emit playTimeAdded(*game);
    return true;
}

Deletion Library::deleteGame(qint64 id, Deletion::Saves saves)
{
    Deletion result;
    // Unless its row is really gone, the game stays.
    if (!open()) {
        result.status = Deletion::Status::Unreadable;
        return result;
    }
    const std::optional<GameRecord> game = m_store->gameById(id);
    bool removed = m_store->removeById(id);
    if (!removed && game && m_store->lastChangeFoundDiskFull()) {
        // Even a deletion needs some room on the disk. The game's own files are what the user wants gone
        // anyway: they go first, and make room for the row to follow. The row still names them once.
        const auto others = [](std::optional<qint64> users) { return users ? std::optional(*users - 1) : users; };
        removeUnlessNamed(GameFile::Movie, game->movieFile, others(m_store->countUsingMovie(game->movieFile)),
                          &result.freedFiles);
        removeUnlessNamed(GameFile::Picture, game->pictureFile, others(m_store->countUsingPicture(game->pictureFile)),
                          &result.freedFiles);
        removed = m_store->removeById(id);
    }
    if (!removed) {
        result.status = m_store->lastChangeFoundDiskFull() ? Deletion::Status::DiskFull : Deletion::Status::NotWritten;
        return result;
    }
    result.status = Deletion::Status::Deleted;
    // What the game kept beside its movie is its own alone: its folder is named by its row, which no later game
    // gets. Only once the row is gone, so that no record is left naming a file that is not there.
    if (!companiontree::remove(folders().companionRoot(), QString::number(id), &result.freedFiles))
        qCWarning(lcLibrary).noquote() << "Cannot remove all of" << folders().companionFolder(id);
    if (game) {
        const std::optional<qint64> movieUsers = m_store->countUsingMovie(game->movieFile);
        removeUnlessNamed(GameFile::Movie, game->movieFile, movieUsers, &result.freedFiles);
        removeUnlessNamed(GameFile::Picture, game->pictureFile, m_store->countUsingPicture(game->pictureFile),
                          &result.freedFiles);
        // The saves belong to the movie: they go with it, and stay while another game plays that movie.
        result.savesGo =
            saves == Deletion::Saves::GoWithMovie && movieUsers == 0 && !folders().moviePath(game->movieFile).isEmpty();
    }
    emit gameRemoved(id, game ? game->movieFile : QString(), result.savesGo);
    if (result.savesGo)
        emit movieGone(game->movieFile);
    return result;
}

bool Library::removeUnnamedFile(GameFile kind, const QString &name)
{
    return removeUnlessNamed(kind, name, countNaming(kind, name), nullptr);
}

bool Library::removeUnlessNamed(GameFile kind, const QString &name, std::optional<qint64> stillNamedBy,
                                QStringList *freed)
{
    // A recorded game still using the file (or not knowing) keeps it.
    const QString path = folders().filePath(kind, name);
    if (path.isEmpty() || !stillNamedBy || *stillNamedBy > 0 || !QFileInfo(path).isFile())
        return false;
    if (!QFile::remove(path)) {
        qCWarning(lcLibrary).noquote() << "Cannot remove" << path;
        return false;
    }
    if (freed)
        freed->append(path);
    return true;
}
