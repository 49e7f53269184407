#include "base/portal/gameacquisition.h"

#include "base/library/gamestore.h"
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

GameAcquisition::GameAcquisition(QNetworkAccessManager *network, ServerFetch *fetch, GameStore *store,
                                 const QString &appFolder, QObject *parent)
    : QObject(parent), m_network(network), m_fetch(fetch), m_store(store), m_appFolder(appFolder),
      m_maxMovieBytes(MovieDownload::defaultMaxBytes)
{
    setObjectName(QStringLiteral("acquisition"));
}

GameAcquisition::~GameAcquisition()
{
    cancel();
}

QString GameAcquisition::appPath(const QString &relative) const
{
    return QDir(m_appFolder).filePath(relative);
}

QString GameAcquisition::save_path() const
{
    return m_game.strName.isEmpty() ? QString() : appPath(QStringLiteral("flash/") + m_game.strName);
}

QString GameAcquisition::save_path2() const
{
    return m_game.strpic.isEmpty() ? QString() : appPath(QStringLiteral("pic/") + m_game.strpic);
}

void GameAcquisition::fetchDetails(const QUrl &gameLink)
{
    m_fetch->GetPage(gameLink, this,
                     [this, gameLink](const std::optional<QByteArray> &body) { onDetails(gameLink, body); });
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
    m_game = *game;
    emit detailsArrived(m_game);
    start_download(m_game.dl_file);
}

void GameAcquisition::start_download(const QString &url)
{
    if (!QFileInfo(appPath(QStringLiteral("flash"))).isDir())
        QDir().mkpath(appPath(QStringLiteral("flash")));
    // One transfer at a time: a new game replaces the one still coming in.
    cancel();
    m_abandoned = false;
    const GameDetails game = m_game;
    auto *job = new MovieDownload(m_network, QUrl(url), save_path(), this);
    m_download = job;
    job->setMaxBytes(m_maxMovieBytes);
    connect(job, &MovieDownload::progress, this, &GameAcquisition::progress);
    connect(job, &MovieDownload::finished, this,
            [this, job, game](const DownloadResult &result) { onMovieFinished(job, result, game); });
    job->start();
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
    return true;
}

bool GameAcquisition::isDownloading() const
{
    return m_download && m_download->isRunning();
}

void GameAcquisition::onMovieFinished(MovieDownload *job, const DownloadResult &result, const GameDetails &game)
{
    if (m_download != job)
        return; // replaced by a later game
    m_download = nullptr;
    job->deleteLater();
    if (result.status != DownloadResult::Status::Completed) {
        qCWarning(lcPortal).noquote() << "Download of" << loggableUrl(job->url()) << "failed:" << result.errorText;
        end(AcquisitionResult::Status::Failed, game, result.errorText);
        return;
    }
    if (m_abandoned) {
        qCInfo(lcPortal).noquote() << "The movie" << game.strName
                                   << "arrived after the download was left; it is kept but not recorded";
        end(AcquisitionResult::Status::Abandoned, game);
        return;
    }
    emit movieArrived(game, result.filePath);
    QDir().mkpath(appPath(QStringLiteral("pic")));
    const QString picturePath = appPath(QStringLiteral("pic/") + game.strpic);
    FetchLimits limits;
    limits.accept = m_pictureCheck;
    limits.maxMs = pictureMaxMs;
    m_fetch->Download_Pic(
        QUrl(game.game_pic), picturePath, this, [this, game](bool) { record(game); }, limits);
}

void GameAcquisition::record(const GameDetails &game)
{
    AcquisitionResult result;
    result.status = AcquisitionResult::Status::Installed;
    result.game = game;
    // The user may have deleted the game, movie and all, while its picture came in: a row must never name a
    // movie that is not there.
    if (!QFileInfo(appPath(QStringLiteral("flash/") + game.strName)).isFile()) {
        qCWarning(lcPortal).noquote() << "The movie" << game.strName << "was deleted before the game was recorded";
        emit finished(result);
        return;
    }
    // The store logs why it cannot read or write the library.
    if (m_store->open_db()) {
        const std::optional<bool> known = m_store->hasGameId(game.game_id);
        if (known && !*known)
            result.recorded = m_store->insert(game.game_id, game.game_name, game.strName, game.strpic, game.game_dec);
        else
            result.recorded = known.value_or(false);
    }
    emit finished(result);
}

void GameAcquisition::end(AcquisitionResult::Status status, const GameDetails &game, const QString &error)
{
    AcquisitionResult result;
    result.status = status;
    result.game = game;
    result.errorText = error;
    emit finished(result);
}
