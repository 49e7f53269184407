#include "player/profilesaves.h"

#include "base/datafile.h"
#include "base/library/gameids.h"
#include "base/logging.h"
#include "player/playerprofile.h"
#include "player/playerschemehandler.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QUrl>

namespace {

// The address a movie of the flash folder is played from; the page works out the storage prefix from it as the
// player does, so that the same percent-encoding is used.
QString movieAddress(const QString &movieFile)
{
    QUrl url = PlayerSchemeHandler::pageUrl();
    url.setPath(QStringLiteral("/flash/") + movieFile, QUrl::DecodedMode);
    return url.toString(QUrl::FullyEncoded);
}

QString scriptCall(const char *function, const QJsonArray &arguments)
{
    return QStringLiteral("(%1).apply(null, %2)")
        .arg(QString::fromLatin1(function), QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact)));
}

// The prefix of a movie's entries: the host and path of its address, as the player page keeps them.
#define QB_PREFIX_OF "function prefixOf(url) { var a = new URL(url); return a.host + a.pathname + '/'; }"

// [[movie, key after the prefix, value]] of the movies given as [[name, address]], or of every movie of the
// flash folder (whose address is given) when movies is null.
const char kReadScript[] = "function(flash, movies) {" QB_PREFIX_OF R"(
    var prefixes = movies ? movies.map(function(m) { return [m[0], prefixOf(m[1])]; }) : null;
    var root = prefixOf(flash);
    var out = [];
    for (var i = 0; i < localStorage.length; i++) {
        var k = localStorage.key(i);
        if (prefixes) {
            for (var j = 0; j < prefixes.length; j++) {
                if (k.indexOf(prefixes[j][1]) === 0) {
                    out.push([prefixes[j][0], k.substring(prefixes[j][1].length), localStorage.getItem(k)]);
                    break;
                }
            }
        } else if (k.indexOf(root) === 0) {
            var end = k.indexOf('/', root.length);
            if (end < 0)
                continue;
            var name;
            try { name = decodeURIComponent(k.substring(root.length, end)); } catch (e) { continue; }
            out.push([name, k.substring(end + 1), localStorage.getItem(k)]);
        }
    }
    return JSON.stringify(out);
})";

const char kCountScript[] = "function(url) {" QB_PREFIX_OF R"(
    var p = prefixOf(url), n = 0;
    for (var i = 0; i < localStorage.length; i++)
        if (localStorage.key(i).indexOf(p) === 0)
            ++n;
    return n;
})";

// Replaces the movie's entries with [[key, value]]; all or nothing: when storage is full, the old ones come back.
const char kWriteScript[] = "function(url, entries) {" QB_PREFIX_OF R"(
    var p = prefixOf(url), old = [];
    for (var i = 0; i < localStorage.length; i++) {
        var k = localStorage.key(i);
        if (k.indexOf(p) === 0)
            old.push([k, localStorage.getItem(k)]);
    }
    old.forEach(function(e) { localStorage.removeItem(e[0]); });
    try {
        entries.forEach(function(e) { localStorage.setItem(p + e[0], e[1]); });
        return entries.length;
    } catch (err) {
        entries.forEach(function(e) { localStorage.removeItem(p + e[0]); });
        old.forEach(function(e) { try { localStorage.setItem(e[0], e[1]); } catch (x) {} });
        return -1;
    }
})";

#undef QB_PREFIX_OF

SaveKeeper::Outcome outcomeOf(savesarchive::Problem problem)
{
    switch (problem) {
    case savesarchive::Problem::None:
        return SaveKeeper::Outcome::Done;
    case savesarchive::Problem::NotAnExport:
        return SaveKeeper::Outcome::NotAnExport;
    case savesarchive::Problem::Damaged:
        return SaveKeeper::Outcome::Damaged;
    case savesarchive::Problem::NewerFormat:
        return SaveKeeper::Outcome::NewerFormat;
    case savesarchive::Problem::UnsafeName:
        return SaveKeeper::Outcome::UnsafeName;
    case savesarchive::Problem::TooLarge:
        return SaveKeeper::Outcome::TooLarge;
    case savesarchive::Problem::CannotRead:
        return SaveKeeper::Outcome::CannotRead;
    }
    return SaveKeeper::Outcome::Damaged;
}

} // namespace

ProfileSaves::ProfileSaves(PlayerProfile *profile, QObject *parent) : QObject(parent), m_profile(profile) {}

bool ProfileSaves::sameGame(const savesarchive::GameSaves &saved, const Game &game)
{
    if (gameids::isServerGameId(saved.gameId) || gameids::isServerGameId(game.gameId))
        return saved.gameId == game.gameId;
    return saved.movieFile == game.movieFile;
}

void ProfileSaves::countSaves(const QString &movieFile, QObject *context, std::function<void(int count)> done)
{
    m_profile->runWithSaves(scriptCall(kCountScript, {movieAddress(movieFile)}), context,
                            [done](bool ok, const QVariant &count) { done(ok ? count.toInt() : -1); });
}

void ProfileSaves::readObjects(const QStringList &movies, QObject *context,
                               std::function<void(std::optional<QVector<savesarchive::GameSaves>>)> done)
{
    QJsonValue named = QJsonValue::Null;
    if (!movies.isEmpty()) {
        QJsonArray list;
        for (const QString &movie : movies)
            list.append(QJsonArray{movie, movieAddress(movie)});
        named = list;
    }
    QUrl flash = PlayerSchemeHandler::pageUrl();
    flash.setPath(QStringLiteral("/flash"));
    const QString script = scriptCall(kReadScript, {flash.toString(QUrl::FullyEncoded), named});
    m_profile->runWithSaves(script, context, [done](bool ok, const QVariant &value) {
        if (!ok) {
            done(std::nullopt);
            return;
        }
        QVector<savesarchive::GameSaves> games;
        QHash<QString, int> index;
        const QJsonArray entries = QJsonDocument::fromJson(value.toString().toUtf8()).array();
        for (const QJsonValue &entry : entries) {
            const QJsonArray fields = entry.toArray();
            const QString movie = fields.at(0).toString();
            const QString key = fields.at(1).toString();
            // Ruffle keeps the .sol file's bytes as base64; anything else is not a shared object of its.
            const auto decoded = QByteArray::fromBase64Encoding(fields.at(2).toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!savesarchive::isPlainFileName(movie) || !savesarchive::isSafeKey(key) || !decoded) {
                qCWarning(lcPlayer).noquote() << "Left out a saved entry that is no shared object:" << movie << key;
                continue;
            }
            qCDebug(lcPlayer).noquote() << "Saved entry of" << movie << ":" << key;
            if (!index.contains(movie)) {
                index.insert(movie, int(games.size()));
                games.append(savesarchive::GameSaves{movie, QString(), QString(), {}});
            }
            games[index.value(movie)].objects.append({key, *decoded});
        }
        done(games);
    });
}

void ProfileSaves::exportSaves(const QVector<Game> &games, bool everyMovie, const QString &file, QObject *context,
                               std::function<void(const Result &)> done)
{
    QStringList movies;
    if (!everyMovie) {
        for (const Game &game : games)
            movies.append(game.movieFile);
        if (movies.isEmpty()) {
            done(Result{Outcome::NothingSaved, 0, {}});
            return;
        }
    }
    readObjects(movies, context, [games, file, done](std::optional<QVector<savesarchive::GameSaves>> saved) {
        if (!saved) {
            done(Result{Outcome::Unreachable, 0, {}});
            return;
        }
        int objects = 0;
        for (savesarchive::GameSaves &movie : *saved) {
            objects += int(movie.objects.size());
            // The game the library knows by this movie (the first, when several play it).
            for (const Game &game : games) {
                if (game.movieFile == movie.movieFile) {
                    movie.gameId = game.gameId;
                    movie.title = game.title;
                    break;
                }
            }
        }
        if (objects == 0) {
            done(Result{Outcome::NothingSaved, 0, {}});
            return;
        }
        // A link under the chosen name is replaced by the file, never written through.
        QString error;
        if (!datafile::writeAtomic(file, savesarchive::write(*saved), &error)) {
            qCWarning(lcPlayer).noquote() << "Cannot write the saves to" << file << error;
            done(Result{Outcome::CannotWrite, 0, error});
            return;
        }
        qCInfo(lcPlayer).noquote() << "Wrote" << objects << "saves of" << saved->size() << "movies to" << file;
        done(Result{Outcome::Done, objects, {}});
    });
}

void ProfileSaves::importSaves(const Game &game, const QString &file, QObject *context,
                               std::function<bool(int existing)> confirmReplace,
                               std::function<void(const Result &)> done)
{
    savesarchive::readFileLater(file, context, [this, game, file, context, confirmReplace, done](const auto &archive) {
        putBack(game, file, archive, context, confirmReplace, done);
    });
}

void ProfileSaves::putBack(const Game &game, const QString &file, const savesarchive::ReadResult &archive,
                           QObject *context, std::function<bool(int existing)> confirmReplace,
                           std::function<void(const Result &)> done)
{
    if (archive.problem != savesarchive::Problem::None) {
        qCWarning(lcPlayer).noquote() << "Refused the saves file" << file << int(archive.problem) << archive.detail;
        done(Result{outcomeOf(archive.problem), 0, archive.detail});
        return;
    }
    const savesarchive::GameSaves *mine = nullptr;
    for (const savesarchive::GameSaves &saved : archive.games) {
        if (sameGame(saved, game) && !saved.objects.isEmpty()) {
            mine = &saved;
            break;
        }
    }
    if (!mine) {
        const QString other = archive.games.isEmpty()
                                  ? QString()
                                  : (archive.games.first().title.isEmpty() ? archive.games.first().movieFile
                                                                           : archive.games.first().title);
        done(Result{Outcome::OtherGame, 0, other});
        return;
    }
    QJsonArray entries;
    for (const savesarchive::SharedObject &object : mine->objects)
        entries.append(QJsonArray{object.key, QString::fromLatin1(object.data.toBase64())});
    const QString address = movieAddress(game.movieFile);
    const QString write = scriptCall(kWriteScript, {address, entries});
    const QPointer<QObject> caller(context);
    countSaves(game.movieFile, context, [this, caller, write, confirmReplace, done, game](int existing) {
        if (existing < 0) {
            done(Result{Outcome::Unreachable, 0, {}});
            return;
        }
        if (existing > 0 && !confirmReplace(existing)) {
            done(Result{Outcome::Declined, 0, {}});
            return;
        }
        if (!caller)
            return;
        m_profile->runWithSaves(write, caller, [done, game](bool ok, const QVariant &written) {
            if (!ok) {
                done(Result{Outcome::Unreachable, 0, {}});
            } else if (!written.isValid() || written.toInt() < 0) { // no count: the script did not run
                qCWarning(lcPlayer).noquote() << "No room for the saves of" << game.movieFile;
                done(Result{Outcome::CannotWrite, 0, {}});
            } else {
                qCInfo(lcPlayer).noquote() << "Put back" << written.toInt() << "saves of" << game.movieFile;
                done(Result{Outcome::Done, written.toInt(), {}});
            }
        });
    });
}
