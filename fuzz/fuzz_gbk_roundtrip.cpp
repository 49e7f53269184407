// The portal server's GBK encoding against the program's decoding: any text the server can send comes out of
// the program as it went in, hex-coded (game details) or as a plain GBK body (status answer).
//
// Input: text (see fuzz::text). Characters the GBK encoder cannot represent are dropped before the checks:
// lone surrogates (the encoder silently writes nothing for them) and every character for which the encoder
// reports an error (it writes '?' in its place: characters outside GBK, anything beyond the BMP). Which BMP
// characters those are is worked out once at start by encoding each alone.

#include "base/portal/answers.h"
#include "base/portal/textops.h"
#include "fuzzsupport.h"
#include "gbktext.h"

#include <QStringEncoder>

#include <algorithm>
#include <bitset>

namespace {

std::bitset<0x10000> &representable()
{
    static std::bitset<0x10000> table;
    return table;
}

QString representablePart(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (!c.isSurrogate() && representable()[c.unicode()])
            out += c;
    }
    return out;
}

bool isUpperHex(const std::string &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (uint c = 0; c < 0x10000; ++c) {
        if (QChar::isSurrogate(c))
            continue;
        QStringEncoder encoder("GBK");
        const QByteArray bytes = encoder.encode(QString(QChar(char16_t(c))));
        representable()[c] = !encoder.hasError();
    }
    // ASCII, Chinese and the euro sign are in GBK; Thai and the replacement character are not.
    FUZZ_CHECK(representable()[u'A'] && representable()[0x5FEB] && representable()[0x20AC] &&
                   !representable()[0x0E01] && !representable()[0xFFFD] && representable().count() > 20000,
               QStringLiteral("the table of GBK characters is wrong"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = representablePart(fuzz::text(data, size));

    // Hex-coded: four upper-case hex digits per character, decoded back to the text.
    const std::string coded = portal::hexCoded(text);
    FUZZ_CHECK(isUpperHex(coded) && qsizetype(coded.size()) == 4 * text.size(),
               fuzz::shown(text) + QStringLiteral(" -> ") + QString::fromStdString(coded.substr(0, 200)));
    bool error = true;
    const std::optional<QString> decoded = decode(BytesToBstr(QByteArray::fromStdString(coded)), &error);
    FUZZ_CHECK(!error, QString::fromStdString(coded.substr(0, 200)));
    if (text.isEmpty())
        FUZZ_CHECK(!decoded, QStringLiteral("empty text decoded to something"));
    else
        FUZZ_CHECK(decoded == text, fuzz::shown(text) + QStringLiteral(" came back as ") +
                                        fuzz::shown(decoded.value_or(QStringLiteral("<nothing>"))));

    // A plain GBK body reads as the text.
    const std::string body = portal::gbk(text);
    FUZZ_CHECK(BytesToBstr(QByteArray::fromStdString(body)) == text, fuzz::shown(text));

    // A title in a real details answer reaches the game unchanged.
    QString title = text;
    title.remove(QLatin1Char('|'));
    const QString answer = QStringLiteral("7|%1|A game.|http://h/a.swf|http://h/a.png").arg(title);
    QString whyNot;
    const std::optional<GameDetails> game =
        parseGameDetails(QByteArray::fromStdString(portal::hexCoded(answer)), GameDetails(), &whyNot);
    FUZZ_CHECK(game && game->title == title, fuzz::shown(title) + QStringLiteral(" refused: ") + whyNot);
    return 0;
}
