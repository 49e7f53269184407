#include "base/portal/gameacquisition.h"

#include "base/library/gamefiling.h"
#include "base/library/incomingfile.h"
#include "base/library/library.h"
#include "base/logging.h"
#include "base/portal/moviedownload.h"
#include "base/portal/serverfetch.h"

#include <QDir>
#include <QFileInfo>

bool GameAcquisition::isServerGameId(const QString &gameid)
{
    bool ok = false;
    const qint64 number = gameid.trimmed().toLongLong(&ok);
    return ok && number > 0;
}

QString GameAcquisition::idInUseMessage(const QString &heldBy)
{
    return tr("This game's number is already used by another game in your library: %1").arg(heldBy);
}

GameAcquisition::GameAcquisition(QNetworkAccessManager *network, ServerFetch *fetch, Library *library, QObject *parent)
    : QObject(parent), m_network(network), m_fetch(fetch), m_library(library),
      m_maxMovieBytes(MovieDownload::defaultMaxBytes)
{
    setObjectName(QStringLiteral("acquisition"));
}

GameAcquisition::~GameAcquisition()
{
    cancel();
}

namespace {

AcquiredGame acquired(const GameDetails &game)
{
    return {game.game_id, game.game_name, game.strName, game.strpic, game.game_dec};
}

} // namespace

QString GameAcquisition::save_path() const
{
    return m_game.strName.isEmpty() ? QString() : m_library->folders().moviePath(m_game.strName);
}

QString GameAcquisition::save_path2() const
{
    return m_game.strpic.isEmpty() ? QString() : m_library->folders().picturePath(m_game.strpic);
}

void GameAcquisition::fetchDetails(const QUrl &gameLink)
{
    // The earlier link's answer, even one already in, must not overtake this one.
    const quint64 ticket = ++m_detailsTicket;
    delete m_detailsRequest.data();
    m_detailsRequest = new QObject(this);
    m_fetch->GetPage(gameLink, m_detailsRequest, [this, gameLink, ticket](const std::optional<QByteArray> &body) {
        if (ticket != m_detailsTicket)
            return;
        if (m_detailsRequest)
            m_detailsRequest->deleteLater(); // it is answering now
        m_detailsRequest = nullptr;
        onDetails(gameLink, body);
    });
}

void GameAcquisition::onDetails(const QUrl &gameLink, const std::optional<QByteArray> &body)
{
    QString whyNot;
    std::optional<GameDetails> game = parseGameDetails(body, m_game, &whyNot);
    // The library records a server's game under its id, a whole number above zero; a game that could never be
    // recorded is not fetched either, or its movie and picture would lie in flash/ and pic/ with no row naming them.
    if (game && !isServerGameId(game->game_id)) {
        whyNot = QStringLiteral("the game id \"%1\" is not a whole number above zero").arg(game->game_id.left(100));
        game.reset();
    }
    if (!game) {
        // A request that brought no answer was logged by the fetch itself.
        if (body)
            qCWarning(lcPortal).noquote() << "Game link" << loggableUrl(gameLink) << "refused:" << whyNot;
        end(AcquisitionResult::Status::NoGame, m_game, whyNot);
        return;
    }
    // A row with this id stays as it is; when it is plainly another game, this one could be played but never
    // kept, so it is not fetched at all.
    const std::optional<GameRecord> row = m_library->open() ? m_library->gameWithServerId(game->game_id) : std::nullopt;
    if (gamefiling::judge(row, game->game_name, game->strName) == gamefiling::Arrival::AnotherGame) {
        qCWarning(lcPortal).noquote() << "Game" << game->game_id << game->game_name.left(200)
                                      << "not fetched: the library holds another game under its id:"
                                      << row->gamename.left(200);
        AcquisitionResult result;
        result.status = AcquisitionResult::Status::IdInUse;
        result.game = *game;
        result.heldBy = row->gamename;
        result.errorText = QStringLiteral("the library holds another game under the id %1").arg(game->game_id);
        emit finished(result);
        return;
    }
    m_game = *game;
    emit detailsArrived(m_game);
    start_download(m_game.dl_file);
}

void GameAcquisition::start_download(const QString &url)
{
    // One transfer at a time: a new game replaces the one still coming in.
    cancel();
    m_abandoned = false;
    const GameDetails game = m_game;
    const quint64 serial = ++m_gameSerial;
    auto *job = new MovieDownload(m_network, QUrl(url), save_path(), this);
    m_download = job;
    job->setMaxBytes(m_maxMovieBytes);
    job->setNaming([this, game] { return namingFor(game, GameFile::Movie); });
    connect(job, &MovieDownload::progress, this, &GameAcquisition::progress);
    connect(job, &MovieDownload::finished, this,
            [this, job, game, serial](const DownloadResult &result) { onMovieFinished(job, result, game, serial); });
    m_downloadSerial = serial;
    job->start();
    fetchPicture(game, serial);
}

FileNaming GameAcquisition::namingFor(const GameDetails &game, GameFile kind)
{
    // The movie another game on its way has put in place is spoken for; the one this game has is its own.
    const QString gameid = game.game_id;
    QString ownOnTheWay;
    for (const OnTheWay &earlier : std::as_const(m_onTheWay)) {
        if (earlier.gameid == gameid)
            ownOnTheWay = earlier.movie;
    }
    if (kind == GameFile::Picture) {
        // A picture another game on its way has put in place is spoken for as well.
        return m_library->namingFor(kind, acquired(game), [this, gameid](const QString &name) {
            return std::any_of(m_pictures.cbegin(), m_pictures.cend(), [&](const PictureFetch &other) {
                return other.gameid != gameid && other.placed == name;
            });
        });
    }
    return m_library->namingFor(
        kind, acquired(game), [this, gameid](const QString &name) { return heldOnTheWay(name, gameid); }, ownOnTheWay);
}

bool GameAcquisition::heldOnTheWay(const QString &movie, const QString &otherThanGameid) const
{
    return std::any_of(m_onTheWay.cbegin(), m_onTheWay.cend(),
                       [&](const OnTheWay &game) { return game.gameid != otherThanGameid && game.movie == movie; });
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
    if (m_download)
        m_abandoned = true;
}

bool GameAcquisition::cancel()
{
    if (!m_download)
        return false;
    MovieDownload *job = m_download;
    m_download = nullptr;
    job->disconnect(this);
    job->cancel();
    job->deleteLater();
    dropPicture(m_downloadSerial);
    return true;
}

bool GameAcquisition::isDownloading() const
{
    return m_download && m_download->isRunning();
}

void GameAcquisition::onMovieFinished(MovieDownload *job, const DownloadResult &result, GameDetails game,
                                      quint64 serial)
{
    if (m_download != job)
        return; // replaced by a later game
    m_download = nullptr;
    job->deleteLater();
    if (result.status != DownloadResult::Status::Completed) {
        qCWarning(lcPortal).noquote() << "Download of" << loggableUrl(job->url()) << "failed:" << result.errorText;
        dropPicture(serial);
        end(AcquisitionResult::Status::Failed, game, result.errorText);
        return;
    }
    const QString stored = QFileInfo(result.filePath).fileName();
    if (stored != game.strName)
        qCInfo(lcPortal).noquote() << "The movie" << game.strName << "of game" << game.game_id << "is stored as"
                                   << stored;
    game.strName = stored;
    if (serial == m_gameSerial)
        m_game.strName = stored;
    if (m_abandoned) {
        qCInfo(lcPortal).noquote() << "The movie" << game.strName
                                   << "arrived after the download was left; it is kept but not recorded";
        dropPicture(serial);
        end(AcquisitionResult::Status::Abandoned, game);
        return;
    }
    // Its movie is spoken for until its row names it.
    m_onTheWay.append({serial, game.game_id, game.strName});
    emit movieArrived(game, result.filePath);
    PictureFetch *picture = pictureOf(serial);
    if (!picture) {
        fetchPicture(game, serial);
        picture = pictureOf(serial);
    }
    picture->movieIn = game;
    if (picture->done)
        recordWithPicture(serial);
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
    picture.gameid = game.game_id;
    picture.request = new QObject(this);
    m_pictures.append(picture);
    const QString pictureFolder = m_library->folders().pictureFolder();
    QDir().mkpath(pictureFolder);
    FetchLimits limits;
    limits.accept = m_pictureCheck;
    limits.maxMs = pictureMaxMs;
    m_fetch->fetchFile(
        QUrl(game.game_pic), pictureFolder, [this, game] { return namingFor(game, GameFile::Picture); },
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
            if (placed && serial == m_gameSerial)
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
        game.strpic = picture->placed;
    } else {
        // Recorded without its picture, under a name that no other game's picture has.
        const FileNaming naming = namingFor(game, GameFile::Picture);
        game.strpic = naming.keep(naming.wanted) ? QString() : naming.wanted;
    }
    m_pictures.removeIf([serial](const PictureFetch &other) { return other.serial == serial; });
    if (serial == m_gameSerial)
        m_game.strpic = game.strpic;
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
    m_onTheWay.removeIf([serial](const OnTheWay &other) { return other.serial == serial; });
    AcquisitionResult result;
    result.status = AcquisitionResult::Status::Installed;
    result.game = game;
    const Recording recording = m_library->recordAcquired(acquired(game));
    switch (recording.status) {
    case Recording::Status::Recorded:
    case Recording::Status::AlreadyRecorded:
        result.recorded = true;
        // The row stays as it was: a picture of this download that it does not name goes again.
        if (recording.row && recording.row->gamepic != game.strpic && !game.strpic.isEmpty())
            m_library->removeUnnamedFile(GameFile::Picture, game.strpic);
        break;
    case Recording::Status::IdInUse:
        // Another game took the id while this one came in: nothing of this one stays.
        removeUnrecorded(game);
        result.status = AcquisitionResult::Status::IdInUse;
        result.heldBy = recording.row ? recording.row->gamename : QString();
        result.errorText = QStringLiteral("the library holds another game under the id %1").arg(game.game_id);
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
    if (!heldOnTheWay(game.strName, QString()))
        m_library->removeUnnamedFile(GameFile::Movie, game.strName);
    if (!game.strpic.isEmpty())
        m_library->removeUnnamedFile(GameFile::Picture, game.strpic);
}

void GameAcquisition::end(AcquisitionResult::Status status, const GameDetails &game, const QString &error)
{
    AcquisitionResult result;
    result.status = status;
    result.game = game;
    result.errorText = error;
    emit finished(result);
}
