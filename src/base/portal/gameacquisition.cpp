#include "base/portal/gameacquisition.h"

#include "base/library/gamefiling.h"
#include "base/library/gameids.h"
#include "base/library/incomingfile.h"
#include "base/library/library.h"
#include "base/logging.h"
#include "base/portal/moviedownload.h"
#include "base/portal/serverfetch.h"

#include <QDir>
#include <QFileInfo>

QString GameAcquisition::idInUseMessage(const QString &heldBy)
{
    return tr("This game's number is already used by another game in your library: %1").arg(heldBy);
}

GameAcquisition::GameAcquisition(QNetworkAccessManager *network, ServerFetch *fetch, Library *library, QObject *parent)
    : QObject(parent), m_network(network), m_fetch(fetch), m_library(library), m_queue(new DownloadQueue(this)),
      m_maxMovieBytes(MovieDownload::defaultMaxBytes)
{
    setObjectName(QStringLiteral("acquisition"));
    // The files of games on their way are spoken for before any row names them.
    m_library->setFilesInUse([this](GameFile kind, const QString &name) {
        if (kind == GameFile::Movie)
            return heldOnTheWay(name, QString());
        return std::any_of(m_pictures.cbegin(), m_pictures.cend(),
                           [&](const PictureFetch &picture) { return picture.placed == name; });
    });
}

GameAcquisition::~GameAcquisition()
{
    m_library->setFilesInUse({});
    suspend();
}

namespace {

AcquiredGame acquired(const GameDetails &game)
{
    return {game.gameId, game.title, game.movieFile, game.pictureFile, game.description, game.movieUrl};
}

} // namespace

QString GameAcquisition::save_path() const
{
    return m_game.movieFile.isEmpty() ? QString() : m_library->folders().moviePath(m_game.movieFile);
}

QString GameAcquisition::save_path2() const
{
    return m_game.pictureFile.isEmpty() ? QString() : m_library->folders().picturePath(m_game.pictureFile);
}

QString GameAcquisition::queueFile() const
{
    return QFileInfo(m_library->folders().settingsFile()).dir().filePath(QStringLiteral("downloads.json"));
}

void GameAcquisition::restoreQueue()
{
    m_queue->setFile(queueFile());
    for (const QueuedGame &saved : m_queue->read()) {
        if (m_queue->unfinishedWithLink(saved.link) || (saved.game && m_queue->unfinishedWithId(saved.game->gameId)))
            continue;
        const quint64 serial = m_queue->add(saved.link, saved.game, saved.state);
        if (!saved.game)
            requestDetails(serial, saved.link);
    }
    m_queue->save();
    startNext();
}

void GameAcquisition::fetchDetails(const QUrl &gameLink)
{
    if (const QueuedGame *queued = m_queue->unfinishedWithLink(gameLink)) {
        const quint64 serial = queued->serial;
        waitFor(serial);
        retryGame(serial);
        return;
    }
    m_waitedFor = queueLink(gameLink);
}

void GameAcquisition::queueGame(const QUrl &gameLink)
{
    if (const QueuedGame *queued = m_queue->unfinishedWithLink(gameLink))
        retryGame(queued->serial);
    else
        queueLink(gameLink);
}

void GameAcquisition::queueGames(const QList<QUrl> &gameLinks)
{
    for (const QUrl &link : gameLinks)
        queueGame(link);
}

quint64 GameAcquisition::queueLink(const QUrl &gameLink)
{
    const quint64 serial = m_queue->add(gameLink);
    requestDetails(serial, gameLink);
    return serial;
}

void GameAcquisition::requestDetails(quint64 serial, const QUrl &gameLink)
{
    auto *request = new QObject(this);
    m_detailsRequests.insert(serial, request);
    m_fetch->GetPage(gameLink, request, [this, serial, gameLink](const std::optional<QByteArray> &body) {
        if (QObject *answering = m_detailsRequests.take(serial))
            answering->deleteLater();
        onDetails(serial, gameLink, body);
    });
}

void GameAcquisition::onDetails(quint64 serial, const QUrl &gameLink, const std::optional<QByteArray> &body)
{
    if (!m_queue->find(serial))
        return; // given up meanwhile
    const bool waited = serial == m_waitedFor;
    QString whyNot;
    std::optional<GameDetails> game = parseGameDetails(body, waited ? m_game : GameDetails(), &whyNot);
    // The library records a server's game under its id, a whole number above zero; a game that could never be
    // recorded is not fetched either, or its movie and picture would lie in flash/ and pic/ with no row naming them.
    if (game && !gameids::isServerGameId(game->gameId)) {
        whyNot = QStringLiteral("the game id \"%1\" is not a whole number above zero").arg(game->gameId.left(100));
        game.reset();
    }
    if (!game) {
        // A request that brought no answer was logged by the fetch itself.
        if (body)
            qCWarning(lcPortal).noquote() << "Game link" << loggableUrl(gameLink) << "refused:" << whyNot;
        m_queue->remove(serial);
        end(AcquisitionResult::Status::NoGame, waited ? m_game : GameDetails(), serial, whyNot);
        return;
    }
    // A row with this id stays as it is; when it is plainly another game, this one could be played but never
    // kept, so it is not fetched at all.
    const std::optional<GameRecord> row = m_library->open() ? m_library->gameWithServerId(game->gameId) : std::nullopt;
    if (gamefiling::judge(row, game->title, game->movieFile) == gamefiling::Arrival::AnotherGame) {
        qCWarning(lcPortal).noquote() << "Game" << game->gameId << game->title.left(200)
                                      << "not fetched: the library holds another game under its id:"
                                      << row->title.left(200);
        m_queue->remove(serial);
        AcquisitionResult result;
        result.status = AcquisitionResult::Status::IdInUse;
        result.game = *game;
        result.heldBy = row->title;
        result.errorText = QStringLiteral("the library holds another game under the id %1").arg(game->gameId);
        result.waitedFor = waited;
        emit finished(result);
        return;
    }
    // Another link to a game queued already: that one goes on, and is the one waited for when this one was.
    if (const QueuedGame *same = m_queue->unfinishedWithId(game->gameId, serial)) {
        const quint64 earlier = same->serial;
        // One not under way takes the fresh answer: the server may have mended what made it fail.
        if (same->state == QueuedGame::State::Waiting || same->state == QueuedGame::State::Failed)
            m_queue->setDetails(earlier, *game);
        m_queue->remove(serial);
        if (waited) {
            waitFor(earlier);
            retryGame(earlier);
        }
        return;
    }
    m_queue->setDetails(serial, *game);
    if (waited) {
        m_game = *game;
        announce(serial);
    }
    startNext();
}

void GameAcquisition::waitFor(quint64 serial)
{
    m_waitedFor = serial;
    const QueuedGame *queued = m_queue->find(serial);
    if (!queued || !queued->game)
        return; // announced when its details come
    m_game = *queued->game;
    announce(serial);
    if (queued->state == QueuedGame::State::Downloading && queued->written > 0)
        emit progress(queued->written, queued->total);
    if (const PictureFetch *picture = pictureOf(serial); picture && !picture->placed.isEmpty())
        emit pictureArrived(m_game, m_library->folders().picturePath(picture->placed));
    startNext();
}

void GameAcquisition::start_download(const QString &url)
{
    GameDetails game = m_game;
    game.movieUrl = url;
    if (const QueuedGame *queued = m_queue->unfinishedWithId(game.gameId)) {
        waitFor(queued->serial);
        return;
    }
    m_waitedFor = m_queue->add(QUrl(url), game, QueuedGame::State::Waiting);
    startNext();
}

void GameAcquisition::startNext()
{
    if (m_suspended)
        return;
    // The game the user waits for does not wait behind another: the one coming in stops, keeping what came to go on
    // from there after it.
    const QueuedGame *waited = m_queue->find(m_waitedFor);
    if (m_download && m_downloadSerial != m_waitedFor && waited && waited->state == QueuedGame::State::Waiting) {
        const quint64 stopped = m_downloadSerial;
        stopTransfer(false);
        m_queue->setState(stopped, QueuedGame::State::Waiting);
    }
    if (m_download)
        return;
    if (const std::optional<quint64> next = m_queue->next(m_waitedFor))
        startTransfer(*next);
}

void GameAcquisition::startTransfer(quint64 serial)
{
    const GameDetails game = *m_queue->find(serial)->game;
    m_queue->setState(serial, QueuedGame::State::Downloading);
    // The queue's file names the game before its partial can exist: a program killed at any moment leaves no partial
    // that the next start does not know to go on from. One write a movie, not one a change.
    m_queue->flush();
    auto *job = new MovieDownload(m_network, QUrl(game.movieUrl), m_library->folders().moviePath(game.movieFile), this);
    m_download = job;
    m_downloadSerial = serial;
    job->setMaxBytes(m_maxMovieBytes);
    // A game stopped before its end goes on from where it stopped, also in a later run: its id names what came.
    job->setResumeKey(game.gameId);
    job->setNaming([this, game] { return namingFor(game, GameFile::Movie); });
    connect(job, &MovieDownload::progress, this, [this, serial](qint64 written, std::optional<qint64> announced) {
        m_queue->setProgress(serial, written, announced);
        if (serial == m_waitedFor)
            emit progress(written, announced);
    });
    connect(job, &MovieDownload::finished, this,
            [this, job, game, serial](const DownloadResult &result) { onMovieFinished(job, result, game, serial); });
    job->start();
    fetchPicture(game, serial);
}

FileNaming GameAcquisition::namingFor(const GameDetails &game, GameFile kind)
{
    // The movie another game on its way has put in place is spoken for; the one this game has is its own.
    const QString gameId = game.gameId;
    QString ownOnTheWay;
    for (const OnTheWay &earlier : std::as_const(m_onTheWay)) {
        if (earlier.gameId == gameId)
            ownOnTheWay = earlier.movieFile;
    }
    if (kind == GameFile::Picture) {
        // A picture another game on its way has put in place is spoken for as well.
        return m_library->namingFor(kind, acquired(game), [this, gameId](const QString &name) {
            return std::any_of(m_pictures.cbegin(), m_pictures.cend(), [&](const PictureFetch &other) {
                return other.gameId != gameId && other.placed == name;
            });
        });
    }
    return m_library->namingFor(
        kind, acquired(game), [this, gameId](const QString &name) { return heldOnTheWay(name, gameId); }, ownOnTheWay);
}

bool GameAcquisition::heldOnTheWay(const QString &movie, const QString &otherThanGameid) const
{
    return std::any_of(m_onTheWay.cbegin(), m_onTheWay.cend(),
                       [&](const OnTheWay &game) { return game.gameId != otherThanGameid && game.movieFile == movie; });
}

void GameAcquisition::recordWaitingGames()
{
    QList<quint64> waiting;
    for (const PictureFetch &picture : std::as_const(m_pictures)) {
        if (picture.movieIn)
            waiting << picture.serial;
    }
    for (quint64 serial : std::as_const(waiting)) {
        if (PictureFetch *picture = pictureOf(serial))
            delete picture->request.data();
        recordWithPicture(serial);
    }
}

void GameAcquisition::abandon()
{
    const QueuedGame *queued = m_queue->find(m_waitedFor);
    if (queued && queued->isUnfinished())
        m_waitedFor = 0;
}

void GameAcquisition::stopTransfer(bool giveUp)
{
    MovieDownload *job = m_download;
    m_download = nullptr;
    job->disconnect(this);
    if (giveUp)
        job->cancel();
    // Destroyed while running, a download keeps what came in to resume from.
    job->deleteLater();
    dropPicture(m_downloadSerial);
}

void GameAcquisition::cancelGame(quint64 serial)
{
    const QueuedGame *queued = m_queue->find(serial);
    if (!queued)
        return;
    if (m_download && serial == m_downloadSerial)
        stopTransfer(true);
    else if (queued->isUnfinished() && queued->game)
        MovieDownload::dropPartial(m_library->folders().movieFolder(), queued->game->gameId);
    delete m_detailsRequests.take(serial).data();
    if (serial == m_waitedFor && queued->isUnfinished())
        m_waitedFor = 0;
    m_queue->remove(serial);
    startNext();
}

void GameAcquisition::retryGame(quint64 serial)
{
    const QueuedGame *queued = m_queue->find(serial);
    if (!queued || queued->state != QueuedGame::State::Failed)
        return;
    if (queued->game) {
        m_queue->setState(serial, QueuedGame::State::Waiting);
        startNext();
    } else {
        m_queue->setState(serial, QueuedGame::State::Details);
        requestDetails(serial, queued->link);
    }
}

bool GameAcquisition::cancel()
{
    const bool running = m_download;
    QList<quint64> unfinished;
    for (const QueuedGame &queued : m_queue->games()) {
        if (queued.isUnfinished())
            unfinished << queued.serial;
    }
    m_suspended = true; // nothing starts while the queue empties
    for (quint64 serial : std::as_const(unfinished))
        cancelGame(serial);
    m_suspended = false;
    return running;
}

bool GameAcquisition::suspend()
{
    m_suspended = true;
    const bool running = m_download;
    if (running)
        stopTransfer(false);
    for (const QPointer<QObject> &request : std::as_const(m_detailsRequests))
        delete request.data();
    m_detailsRequests.clear();
    return running;
}

bool GameAcquisition::isDownloading() const
{
    return m_download && m_download->isRunning();
}

void GameAcquisition::onMovieFinished(MovieDownload *job, const DownloadResult &result, GameDetails game,
                                      quint64 serial)
{
    if (m_download != job)
        return; // given up
    m_download = nullptr;
    job->deleteLater();
    const bool waited = serial == m_waitedFor;
    if (result.status != DownloadResult::Status::Completed) {
        qCWarning(lcPortal).noquote() << "Download of" << loggableUrl(job->url()) << "failed:" << result.errorText;
        dropPicture(serial);
        m_queue->setState(serial, QueuedGame::State::Failed, result.errorText);
        end(AcquisitionResult::Status::Failed, game, serial, result.errorText);
        startNext();
        return;
    }
    const QString stored = QFileInfo(result.filePath).fileName();
    if (stored != game.movieFile)
        qCInfo(lcPortal).noquote() << "The movie" << game.movieFile << "of game" << game.gameId << "is stored as"
                                   << stored;
    game.movieFile = stored;
    if (waited)
        m_game.movieFile = stored;
    m_queue->setDetails(serial, game);
    m_queue->setState(serial, QueuedGame::State::Done);
    // Its movie is spoken for until its row names it.
    m_onTheWay.append({serial, game.gameId, game.movieFile, waited});
    if (waited)
        emit movieArrived(game, result.filePath);
    PictureFetch *picture = pictureOf(serial);
    if (!picture) {
        fetchPicture(game, serial);
        picture = pictureOf(serial);
    }
    picture->movieIn = game;
    if (picture->done)
        recordWithPicture(serial);
    startNext();
}

GameAcquisition::PictureFetch *GameAcquisition::pictureOf(quint64 serial)
{
    for (PictureFetch &picture : m_pictures) {
        if (picture.serial == serial)
            return &picture;
    }
    return nullptr;
}

// The picture comes beside the movie, straight into pic/: the download panel shows it from there while the movie
// is still on its way, and the game's row names it.
void GameAcquisition::fetchPicture(const GameDetails &game, quint64 serial)
{
    if (pictureOf(serial))
        return;
    PictureFetch picture;
    picture.serial = serial;
    picture.gameId = game.gameId;
    picture.request = new QObject(this);
    m_pictures.append(picture);
    const QString pictureFolder = m_library->folders().pictureFolder();
    QDir().mkpath(pictureFolder);
    FetchLimits limits;
    limits.accept = m_pictureCheck;
    limits.maxMs = pictureMaxMs;
    m_fetch->fetchFile(
        QUrl(game.pictureUrl), pictureFolder, [this, game] { return namingFor(game, GameFile::Picture); },
        picture.request,
        [this, serial](const std::optional<QString> &placed) {
            PictureFetch *picture = pictureOf(serial);
            if (!picture)
                return;
            picture->done = true;
            picture->placed = placed.value_or(QString());
            if (picture->request)
                picture->request->deleteLater();
            const bool movieIn = picture->movieIn.has_value();
            if (placed && serial == m_waitedFor)
                emit pictureArrived(m_game, m_library->folders().picturePath(*placed));
            if (movieIn && pictureOf(serial))
                recordWithPicture(serial);
        },
        limits);
}

void GameAcquisition::recordWithPicture(quint64 serial)
{
    PictureFetch *picture = pictureOf(serial);
    if (!picture || !picture->movieIn)
        return;
    GameDetails game = *picture->movieIn;
    if (!picture->placed.isEmpty()) {
        game.pictureFile = picture->placed;
    } else {
        // Recorded without its picture, under a name that no other game's picture has.
        const FileNaming naming = namingFor(game, GameFile::Picture);
        game.pictureFile = naming.keep(naming.wanted) ? QString() : naming.wanted;
    }
    m_pictures.removeIf([serial](const PictureFetch &other) { return other.serial == serial; });
    if (serial == m_waitedFor)
        m_game.pictureFile = game.pictureFile;
    record(game, serial);
}

// The game will not be recorded: its picture is not wanted either.
void GameAcquisition::dropPicture(quint64 serial)
{
    PictureFetch *picture = pictureOf(serial);
    if (!picture)
        return;
    delete picture->request.data();
    if (!picture->placed.isEmpty())
        m_library->removeUnnamedFile(GameFile::Picture, picture->placed);
    m_pictures.removeIf([serial](const PictureFetch &other) { return other.serial == serial; });
}

void GameAcquisition::record(const GameDetails &game, quint64 serial)
{
    const bool shown = std::any_of(m_onTheWay.cbegin(), m_onTheWay.cend(),
                                   [serial](const OnTheWay &other) { return other.serial == serial && other.shown; });
    m_onTheWay.removeIf([serial](const OnTheWay &other) { return other.serial == serial; });
    AcquisitionResult result;
    result.status = AcquisitionResult::Status::Installed;
    result.game = game;
    result.waitedFor = shown;
    const Recording recording = m_library->recordAcquired(acquired(game));
    switch (recording.status) {
    case Recording::Status::Recorded:
    case Recording::Status::AlreadyRecorded:
        result.recorded = true;
        // The row stays as it was: a picture of this download that it does not name goes again.
        if (recording.row && recording.row->pictureFile != game.pictureFile && !game.pictureFile.isEmpty())
            m_library->removeUnnamedFile(GameFile::Picture, game.pictureFile);
        break;
    case Recording::Status::IdInUse:
        // Another game took the id while this one came in: nothing of this one stays.
        removeUnrecorded(game);
        result.status = AcquisitionResult::Status::IdInUse;
        result.heldBy = recording.row ? recording.row->title : QString();
        result.errorText = QStringLiteral("the library holds another game under the id %1").arg(game.gameId);
        break;
    case Recording::Status::MovieMissing:
        // The user deleted the game, movie and all, while its picture came in.
        removeUnrecorded(game);
        break;
    case Recording::Status::Failed:
        break;
    }
    emit finished(result);
}

void GameAcquisition::removeUnrecorded(const GameDetails &game)
{
    if (!heldOnTheWay(game.movieFile, QString()))
        m_library->removeUnnamedFile(GameFile::Movie, game.movieFile);
    if (!game.pictureFile.isEmpty())
        m_library->removeUnnamedFile(GameFile::Picture, game.pictureFile);
}

void GameAcquisition::announce(quint64 serial)
{
    m_onPanel = serial;
    emit detailsArrived(m_game);
}

void GameAcquisition::end(AcquisitionResult::Status status, const GameDetails &game, quint64 serial,
                          const QString &error)
{
    AcquisitionResult result;
    result.status = status;
    result.game = game;
    result.errorText = error;
    result.waitedFor = serial == m_waitedFor;
    // The panel goes on showing its game after the user has left it: it must not say the movie is still coming.
    result.onPanel = serial == m_onPanel;
    emit finished(result);
}
