// The server's two answers read from any body: the status answer at start-up and a game's details. Whatever
// the server sends, an accepted game's files land directly in flash/ and pic/, and a refusal says why.
//
// Input: the body as sent. A body starting with "T:" is instead the rest as UTF-8 text, hex-coded the way the
// bundled portal server codes it, so that mutations reach the fields (URLs, "..", separators) directly.

#include "base/portal/answers.h"
#include "base/portal/textops.h"
#include "fuzzsupport.h"
#include "gbktext.h"

#include <QStringList>

#include <algorithm>

namespace {

GameDetails previousGame()
{
    GameDetails game;
    game.gameId = QStringLiteral("1");
    game.title = QStringLiteral("Happy Blocks");
    game.description = QStringLiteral("Stack the blocks.");
    game.movieUrl = QStringLiteral("http://127.0.0.1:8642/movies/happy-blocks.swf");
    game.pictureUrl = QStringLiteral("http://127.0.0.1:8642/pics/happy-blocks.png");
    game.movieFile = QStringLiteral("happy-blocks.swf");
    game.pictureFile = QStringLiteral("happy-blocks.png");
    return game;
}

bool isAsciiHex(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
    });
}

// An accepted file name: a plain name, the last segment of its URL, directly inside its folder.
void checkFileName(const QString &name, const QString &url, const QString &folder)
{
    FUZZ_CHECK(isSafeFileName(name), fuzz::shown(name));
    FUZZ_CHECK(url.endsWith(QLatin1Char('/') + name), fuzz::shown(url) + QStringLiteral(" gave ") + fuzz::shown(name));
    for (const QString &app : fuzz::appFolders())
        FUZZ_CHECK(fuzz::staysDirectlyIn(app, folder, name), folder + QLatin1Char('/') + fuzz::shown(name));
}

void checkDetails(const QByteArray &body)
{
    static const GameDetails previous = previousGame();
    QString whyNot;
    const std::optional<GameDetails> game = parseGameDetails(body, previous, &whyNot);
    if (!game) {
        FUZZ_CHECK(!whyNot.isEmpty(), QStringLiteral("refused without a reason"));
        return;
    }
    // Only hex-coded text names a game.
    const QString text = BytesToBstr(body);
    FUZZ_CHECK(!text.isEmpty() && isAsciiHex(text), fuzz::shown(text.left(200)));
    checkFileName(game->movieFile, game->movieUrl, QStringLiteral("flash"));
    checkFileName(game->pictureFile, game->pictureUrl, QStringLiteral("pic"));
    for (const QString &field : {game->gameId, game->title, game->description, game->movieUrl, game->pictureUrl})
        FUZZ_CHECK(!field.contains(QLatin1Char('|')), fuzz::shown(field));
}

// Whether a size field reads as a whole number: optional sign, ASCII digits, blanks around.
bool isWholeNumber(const QString &field)
{
    QString digits = field.trimmed();
    if (digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-')))
        digits.remove(0, 1);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                            [](QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; });
}

void checkStartup(const QString &text)
{
    const StartupAnswer answer = parseStartupAnswer(text);
    const QStringList fields = text.split(QLatin1Char('|'));
    // Exactly "ok" first, nothing else ("OK", " ok"), lets the program run.
    FUZZ_CHECK(answer.ok == (fields.first() == QLatin1String("ok")), fuzz::shown(text.left(200)));
    if (!answer.ok) {
        FUZZ_CHECK(answer.gg_1.isEmpty() && answer.gg_2.isEmpty() && answer.gg_2_url.isEmpty() && !answer.gg_size1 &&
                       !answer.gg_size2,
                   QStringLiteral("a refused answer carries values"));
        return;
    }
    for (const QString &field : {answer.gg_1, answer.gg_2, answer.gg_2_url})
        FUZZ_CHECK(!field.contains(QLatin1Char('|')), fuzz::shown(field));
    if (answer.gg_size1)
        FUZZ_CHECK(isWholeNumber(fields.value(2)), fuzz::shown(fields.value(2)));
    if (answer.gg_size2)
        FUZZ_CHECK(isWholeNumber(fields.value(4)), fuzz::shown(fields.value(4)));
    for (const QString &url : {answer.gg_1, answer.gg_2}) {
        const QString name = advertisementFileName(url);
        if (!name.isEmpty())
            checkFileName(name, url, QStringLiteral("pic"));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QString whyNot;
    FUZZ_CHECK(!parseGameDetails(std::nullopt, previousGame(), &whyNot) && !whyNot.isEmpty(),
               QStringLiteral("no answer must name no game"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw = fuzz::bytes(data, size);
    if (raw.startsWith("T:")) {
        const std::string coded = portal::hexCoded(QString::fromUtf8(raw.mid(2)));
        checkDetails(QByteArray::fromStdString(coded));
        checkStartup(QString::fromUtf8(raw.mid(2)));
        return 0;
    }
    checkDetails(raw);
    checkStartup(BytesToBstr(raw));
    return 0;
}
