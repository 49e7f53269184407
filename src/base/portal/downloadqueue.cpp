#include "base/portal/downloadqueue.h"

#include "base/library/libraryfolders.h"
#include "base/logging.h"
#include "base/textcodes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// A file of a few games: anything much larger is not ours.
constexpr qint64 maxFileBytes = 4 * 1024 * 1024;
// Speed is measured over at least this long, so that it does not jump with every packet.
constexpr qint64 speedWindowMs = 1000;

QJsonObject toJson(const GameDetails &game)
{
    return {{QStringLiteral("id"), game.game_id},           {QStringLiteral("title"), game.game_name},
            {QStringLiteral("description"), game.game_dec}, {QStringLiteral("movie"), game.dl_file},
            {QStringLiteral("picture"), game.game_pic},     {QStringLiteral("movieName"), game.strName},
            {QStringLiteral("pictureName"), game.strpic}};
}

std::optional<GameDetails> fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    GameDetails game;
    game.game_id = o.value(QStringLiteral("id")).toString();
    game.game_name = o.value(QStringLiteral("title")).toString();
    game.game_dec = o.value(QStringLiteral("description")).toString();
    game.dl_file = o.value(QStringLiteral("movie")).toString();
    game.game_pic = o.value(QStringLiteral("picture")).toString();
    game.strName = o.value(QStringLiteral("movieName")).toString();
    game.strpic = o.value(QStringLiteral("pictureName")).toString();
    // A server game's id and plain file names only, as the details answer itself is held to: the names go into our
    // folders.
    bool number = false;
    if (game.game_id.toLongLong(&number) <= 0 || !number || game.dl_file.isEmpty() ||
        !LibraryFolders::isPlainFileName(game.strName) ||
        (!game.strpic.isEmpty() && !LibraryFolders::isPlainFileName(game.strpic)))
        return std::nullopt;
    return game;
}

} // namespace

QString QueuedGame::title() const
{
    return game ? turnBackCodes(game->game_name) : link.toDisplayString(QUrl::RemoveUserInfo);
}

std::optional<qint64> QueuedGame::remainingBytes() const
{
    if (!total)
        return std::nullopt;
    return std::max<qint64>(0, *total - written);
}

std::optional<qint64> QueuedGame::remainingSeconds() const
{
    const std::optional<qint64> bytes = remainingBytes();
    if (!bytes || bytesPerSecond <= 0)
        return std::nullopt;
    return (*bytes + bytesPerSecond - 1) / bytesPerSecond;
}

DownloadQueue::DownloadQueue(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("downloadQueue"));
}

const QueuedGame *DownloadQueue::find(quint64 serial) const
{
    for (const QueuedGame &game : m_games) {
        if (game.serial == serial)
            return &game;
    }
    return nullptr;
}

QueuedGame *DownloadQueue::entry(quint64 serial)
{
    return const_cast<QueuedGame *>(std::as_const(*this).find(serial));
}

const QueuedGame *DownloadQueue::unfinishedWithLink(const QUrl &link) const
{
    for (const QueuedGame &game : m_games) {
        if (game.isUnfinished() && game.link == link)
            return &game;
    }
    return nullptr;
}

const QueuedGame *DownloadQueue::unfinishedWithId(const QString &gameid, quint64 except) const
{
    for (const QueuedGame &game : m_games) {
        if (game.isUnfinished() && game.serial != except && game.game && game.game->game_id == gameid)
            return &game;
    }
    return nullptr;
}

std::optional<quint64> DownloadQueue::next(quint64 preferred) const
{
    const QueuedGame *first = find(preferred);
    if (first && first->state == QueuedGame::State::Waiting)
        return preferred;
    for (const QueuedGame &game : m_games) {
        if (game.state == QueuedGame::State::Waiting)
            return game.serial;
    }
    return std::nullopt;
}

quint64 DownloadQueue::add(const QUrl &link, const std::optional<GameDetails> &game, QueuedGame::State state)
{
    QueuedGame queued;
    queued.serial = ++m_lastSerial;
    queued.link = link;
    queued.game = game;
    queued.state = game ? state : QueuedGame::State::Details;
    m_games.append(queued);
    save();
    emit added(queued.serial);
    return queued.serial;
}

void DownloadQueue::setDetails(quint64 serial, const GameDetails &details)
{
    QueuedGame *game = entry(serial);
    if (!game)
        return;
    game->game = details;
    if (game->state == QueuedGame::State::Details)
        game->state = QueuedGame::State::Waiting;
    save();
    emit changed(serial);
}

void DownloadQueue::setState(quint64 serial, QueuedGame::State state, const QString &errorText)
{
    QueuedGame *game = entry(serial);
    if (!game)
        return;
    game->state = state;
    game->errorText = errorText;
    game->bytesPerSecond = 0;
    // The speed is measured from the transfer's first bytes: a resumed one starts from what came before.
    game->m_clock.invalidate();
    save();
    emit changed(serial);
}

void DownloadQueue::setProgress(quint64 serial, qint64 written, std::optional<qint64> total)
{
    QueuedGame *game = entry(serial);
    if (!game)
        return;
    game->written = written;
    game->total = total;
    if (!game->m_clock.isValid()) {
        game->m_clock.start();
        game->m_clockBytes = written;
    }
    const qint64 elapsed = game->m_clock.elapsed();
    if (elapsed >= speedWindowMs) {
        game->bytesPerSecond = std::max<qint64>(0, written - game->m_clockBytes) * 1000 / elapsed;
        game->m_clock.restart();
        game->m_clockBytes = written;
    }
    emit changed(serial);
}

void DownloadQueue::remove(quint64 serial)
{
    if (!entry(serial))
        return;
    m_games.removeIf([serial](const QueuedGame &game) { return game.serial == serial; });
    save();
    emit removed(serial);
}

void DownloadQueue::save() const
{
    if (m_file.isEmpty())
        return;
    QJsonArray games;
    for (const QueuedGame &game : m_games) {
        if (!game.isUnfinished())
            continue;
        QJsonObject o{{QStringLiteral("link"), game.link.toString(QUrl::FullyEncoded)}};
        if (game.game)
            o.insert(QStringLiteral("game"), toJson(*game.game));
        if (game.state == QueuedGame::State::Failed)
            o.insert(QStringLiteral("failed"), true);
        games.append(o);
    }
    if (games.isEmpty()) {
        if (QFile::exists(m_file) && !QFile::remove(m_file))
            qCWarning(lcPortal).noquote() << "Cannot remove the download queue file" << m_file;
        return;
    }
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(games).toJson()) < 0 || !file.commit())
        qCWarning(lcPortal).noquote() << "Cannot write the download queue to" << m_file << file.errorString();
}

QList<QueuedGame> DownloadQueue::read() const
{
    QList<QueuedGame> games;
    QFile file(m_file);
    if (m_file.isEmpty() || !file.exists())
        return games;
    if (file.size() > maxFileBytes || !file.open(QIODevice::ReadOnly)) {
        qCWarning(lcPortal).noquote() << "Cannot read the download queue from" << m_file;
        return games;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isArray())
        qCWarning(lcPortal).noquote() << "The download queue in" << m_file << "is not readable:" << error.errorString();
    for (const QJsonValue &value : document.array()) {
        const QJsonObject o = value.toObject();
        const QUrl link(o.value(QStringLiteral("link")).toString(), QUrl::StrictMode);
        const QString scheme = link.scheme();
        if (!link.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            continue;
        QueuedGame game;
        game.link = link;
        game.game = fromJson(o.value(QStringLiteral("game")));
        game.state = !game.game                                   ? QueuedGame::State::Details
                     : o.value(QStringLiteral("failed")).toBool() ? QueuedGame::State::Failed
                                                                  : QueuedGame::State::Waiting;
        games.append(game);
    }
    return games;
}
