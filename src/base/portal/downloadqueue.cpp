#include "base/portal/downloadqueue.h"

#include "base/datafile.h"
#include "base/library/gameids.h"
#include "base/library/libraryfolders.h"
#include "base/logging.h"
#include "base/textcodes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {

// Thousands of games, each with a title and description of the server's largest, stay below it; a file larger than
// that is not ours.
constexpr qint64 maxFileBytes = 64 * 1024 * 1024;
// Speed is measured over at least this long, so that it does not jump with every packet.
constexpr qint64 speedWindowMs = 1000;

QJsonObject toJson(const GameDetails &game)
{
    return {{QStringLiteral("id"), game.gameId},
            {QStringLiteral("title"), game.title},
            {QStringLiteral("description"), game.description},
            {QStringLiteral("movie"), game.movieUrl},
            {QStringLiteral("picture"), game.pictureUrl},
            {QStringLiteral("movieName"), game.movieFile},
            {QStringLiteral("pictureName"), game.pictureFile}};
}

std::optional<GameDetails> fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    GameDetails game;
    game.gameId = o.value(QStringLiteral("id")).toString();
    game.title = o.value(QStringLiteral("title")).toString();
    game.description = o.value(QStringLiteral("description")).toString();
    game.movieUrl = o.value(QStringLiteral("movie")).toString();
    game.pictureUrl = o.value(QStringLiteral("picture")).toString();
    game.movieFile = o.value(QStringLiteral("movieName")).toString();
    game.pictureFile = o.value(QStringLiteral("pictureName")).toString();
    // A server game's id and plain file names only, as the details answer itself is held to: the names go into our
    // folders.
    if (!gameids::isServerGameId(game.gameId) || game.movieUrl.isEmpty() ||
        !LibraryFolders::isPlainFileName(game.movieFile) ||
        (!game.pictureFile.isEmpty() && !LibraryFolders::isPlainFileName(game.pictureFile)))
        return std::nullopt;
    return game;
}

} // namespace

QString QueuedGame::title() const
{
    return game ? turnBackCodes(game->title) : link.toDisplayString(QUrl::RemoveUserInfo);
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

// Writes the states handed to it one after the other on a thread of its own; a state handed over while one is
// being written replaces any other still waiting, so that only the latest is written next.
struct DownloadQueue::Writer
{
    Writer() { pool.setMaxThreadCount(1); }

    void hand(DownloadQueue *queue, const QString &path, const QByteArray &bytes)
    {
        QMutexLocker lock(&mutex);
        pending = {path, bytes};
        if (running)
            return;
        running = true;
        pool.start([this, queue] { run(queue); });
    }
    void run(DownloadQueue *queue)
    {
        for (;;) {
            std::pair<QString, QByteArray> next;
            {
                QMutexLocker lock(&mutex);
                if (!pending) {
                    running = false;
                    idle.wakeAll();
                    return;
                }
                next = std::move(*pending);
                pending.reset();
            }
            QString error;
            if (!datafile::writeAtomic(next.first, next.second, &error))
                qCWarning(lcPortal).noquote() << "Cannot write the download queue to" << next.first << error;
            // The queue waits for this loop to end before it goes, so it is there to receive this.
            QMetaObject::invokeMethod(
                queue, [queue] { emit queue->fileWritten(); }, Qt::QueuedConnection);
        }
    }
    // Returns once nothing is being written; with drop, a state still waiting is dropped first.
    void wait(bool drop)
    {
        QMutexLocker lock(&mutex);
        if (drop)
            pending.reset();
        while (running)
            idle.wait(&mutex);
    }

    QMutex mutex;
    QWaitCondition idle;
    bool running = false;
    std::optional<std::pair<QString, QByteArray>> pending;
    QThreadPool pool;
};

DownloadQueue::DownloadQueue(QObject *parent) : QObject(parent), m_writer(std::make_unique<Writer>())
{
    setObjectName(QStringLiteral("downloadQueue"));
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &DownloadQueue::writeNow);
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &DownloadQueue::flush);
}

DownloadQueue::~DownloadQueue()
{
    flush();
}

qsizetype DownloadQueue::indexOf(quint64 serial) const
{
    const auto at = std::lower_bound(m_games.cbegin(), m_games.cend(), serial,
                                     [](const QueuedGame &game, quint64 wanted) { return game.serial < wanted; });
    return at != m_games.cend() && at->serial == serial ? qsizetype(at - m_games.cbegin()) : -1;
}

const QueuedGame *DownloadQueue::find(quint64 serial) const
{
    const qsizetype index = indexOf(serial);
    return index < 0 ? nullptr : &m_games.at(index);
}

const QueuedGame *DownloadQueue::firstUnfinished(const QList<quint64> &serials, quint64 except) const
{
    const QueuedGame *first = nullptr;
    for (const quint64 serial : serials) {
        const QueuedGame *game = find(serial);
        if (game && serial != except && game->isUnfinished() && (!first || serial < first->serial))
            first = game;
    }
    return first;
}

QueuedGame *DownloadQueue::entry(quint64 serial)
{
    return const_cast<QueuedGame *>(std::as_const(*this).find(serial));
}

const QueuedGame *DownloadQueue::unfinishedWithLink(const QUrl &link) const
{
    return firstUnfinished(m_byLink.values(link), 0);
}

const QueuedGame *DownloadQueue::unfinishedWithId(const QString &gameId, quint64 except) const
{
    return firstUnfinished(m_byId.values(gameId), except);
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
    m_byLink.insert(link, queued.serial);
    if (game)
        m_byId.insert(game->gameId, queued.serial);
    save();
    emit added(queued.serial);
    return queued.serial;
}

void DownloadQueue::setDetails(quint64 serial, const GameDetails &details)
{
    QueuedGame *game = entry(serial);
    if (!game)
        return;
    if (game->game)
        m_byId.remove(game->game->gameId, serial);
    m_byId.insert(details.gameId, serial);
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
    const qsizetype index = indexOf(serial);
    if (index < 0)
        return;
    const QueuedGame &game = m_games.at(index);
    m_byLink.remove(game.link, serial);
    if (game.game)
        m_byId.remove(game.game->gameId, serial);
    m_games.removeAt(index);
    save();
    emit removed(serial);
}

void DownloadQueue::save()
{
    if (m_file.isEmpty())
        return;
    if (std::none_of(m_games.cbegin(), m_games.cend(), [](const QueuedGame &game) { return game.isUnfinished(); })) {
        // Nothing is left to go on with: the file goes now, after any write still running, which would bring it back.
        m_writeTimer.stop();
        m_writer->wait(true);
        if (::unlink(QFile::encodeName(m_file).constData()) == 0)
            emit fileWritten();
        else if (errno != ENOENT)
            qCWarning(lcPortal).noquote() << "Cannot remove the download queue file" << m_file;
        return;
    }
    // The first change after a quiet while is written at the end of this turn; later ones join it.
    if (!m_writeTimer.isActive())
        m_writeTimer.start(m_sinceWrite.isValid()
                               ? int(std::clamp<qint64>(writeIntervalMs - m_sinceWrite.elapsed(), 0, writeIntervalMs))
                               : 0);
}

void DownloadQueue::flush()
{
    if (m_writeTimer.isActive())
        writeNow();
    m_writer->wait(false);
}

void DownloadQueue::writeNow()
{
    m_writeTimer.stop();
    m_sinceWrite.start();
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
    m_writer->hand(this, m_file, QJsonDocument(games).toJson());
}

QList<QueuedGame> DownloadQueue::read() const
{
    QList<QueuedGame> games;
    if (m_file.isEmpty())
        return games;
    QString problem;
    const std::optional<QByteArray> bytes =
        datafile::readRegular(m_file, maxFileBytes, datafile::Links::Refuse, &problem);
    if (!bytes) {
        if (QFileInfo(m_file).isSymLink() || QFileInfo::exists(m_file))
            qCWarning(lcPortal).noquote() << "Cannot read the download queue from" << m_file << problem;
        return games;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
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
