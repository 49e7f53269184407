#include "base/portal/answers.h"

#include "base/portal/textops.h"

#include <QStringList>

#include <algorithm>

namespace {

QString fieldOr(const QStringList &fields, int index, const QString &previous)
{
    return index < fields.size() ? fields.at(index) : previous;
}

} // namespace

std::optional<qint64> parseSize(const QString &field)
{
    // Digits only (a sign allowed): the conversion alone would stop at an embedded NUL and call it a number.
    const QString text = field.trimmed();
    const qsizetype digitsFrom = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (text.size() <= digitsFrom ||
        !std::all_of(text.begin() + digitsFrom, text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

bool readsAsZero(const QString &answer)
{
    const QString text = answer.trimmed();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value == 0;
}

StartupAnswer parseStartupAnswer(const QString &answer)
{
    StartupAnswer result;
    const QStringList fields = answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('|'));
    result.ok = !fields.isEmpty() && fields.first() == QLatin1String("ok");
    if (!result.ok)
        return result;
    result.gg_1 = fieldOr(fields, 1, QString());
    if (fields.size() > 2)
        result.gg_size1 = parseSize(fields.at(2));
    result.gg_2 = fieldOr(fields, 3, QString());
    if (fields.size() > 4)
        result.gg_size2 = parseSize(fields.at(4));
    result.gg_2_url = fieldOr(fields, 5, QString());
    return result;
}

QString advertisementFileName(const QString &url)
{
    // The name comes from the server: one that could leave the pic folder is never used.
    const QString name = get_last_segment(url, QStringLiteral("/"));
    return isSafeFileName(name) ? name : QString();
}

bool GameDetails::operator==(const GameDetails &other) const
{
    return gameId == other.gameId && title == other.title && description == other.description &&
           movieUrl == other.movieUrl && pictureUrl == other.pictureUrl && movieFile == other.movieFile &&
           pictureFile == other.pictureFile;
}

std::optional<GameDetails> parseGameDetails(const std::optional<QByteArray> &body, const GameDetails &previous,
                                            QString *whyNot)
{
    auto refuse = [whyNot](const QString &reason) -> std::optional<GameDetails> {
        if (whyNot)
            *whyNot = reason;
        return std::nullopt;
    };
    if (!body)
        return refuse(QStringLiteral("no answer from the server"));
    if (body->size() > maxDetailsBytes)
        return refuse(QStringLiteral("the answer is larger than %1 bytes").arg(maxDetailsBytes));
    bool error = false;
    const std::optional<QString> answer = decode(BytesToBstr(body), &error);
    if (error)
        return refuse(QStringLiteral("the answer is not hex-coded text"));
    if (!answer || readsAsZero(*answer))
        return refuse(QStringLiteral("the server knows no such game"));

    const QStringList fields = answer->split(QLatin1Char('|'));
    for (const QString &field : fields) {
        if (field.size() > maxFieldLength)
            return refuse(QStringLiteral("a field is longer than %1 characters").arg(maxFieldLength));
    }
    // The answer's fields by the server's own names; the rest of the program knows them by the game's.
    const QString game_id = fieldOr(fields, 0, previous.gameId);
    const QString game_name = fieldOr(fields, 1, previous.title);
    const QString game_dec = fieldOr(fields, 2, previous.description);
    const QString dl_file = fieldOr(fields, 3, previous.movieUrl);
    const QString game_pic = fieldOr(fields, 4, previous.pictureUrl);
    const QString strName = get_last_segment(dl_file, QStringLiteral("/"));
    const QString strpic = get_last_segment(game_pic, QStringLiteral("/"));
    // File names come from the server: refuse any that could not be a plain file in our folders.
    if (!isSafeFileName(strName))
        return refuse(QStringLiteral("unusable movie file name \"%1\"").arg(strName));
    if (!isSafeFileName(strpic))
        return refuse(QStringLiteral("unusable picture file name \"%1\"").arg(strpic));
    GameDetails game;
    game.gameId = game_id;
    game.title = game_name;
    game.description = game_dec;
    game.movieUrl = dl_file;
    game.pictureUrl = game_pic;
    game.movieFile = strName;
    game.pictureFile = strpic;
    return game;
}
