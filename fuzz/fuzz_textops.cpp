// Text operations on anything a server could send: the hex-coded text decoder, the body decoder, the last
// segment of a URL and the file name check.
//
// Input: text (see fuzz::text). If it holds a line break within its first nine characters, the part before
// it is also used as a separator for get_last_segment on the rest.

#include "base/portal/textops.h"
#include "fuzzsupport.h"

#include <QStringList>

#include <algorithm>

namespace {

bool isAsciiHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

void checkDecode(const QString &x)
{
    bool error = true; // decode must clear it itself
    const std::optional<QString> result = decode(x, &error);
    FUZZ_CHECK(!(error && result), fuzz::shown(x));
    if (x.isEmpty()) {
        FUZZ_CHECK(!result && !error, QStringLiteral("empty input"));
        return;
    }
    // Anything but ASCII hex digits (fullwidth or Arabic-Indic digits too) refuses the whole text.
    const bool allHex = std::all_of(x.begin(), x.end(), isAsciiHexDigit);
    FUZZ_CHECK(allHex == bool(result), fuzz::shown(x));
    FUZZ_CHECK(allHex == !error, fuzz::shown(x));
    if (!result)
        return;

    // Every group of four digits gives one character, or two when its bytes are not one GBK character; a group
    // never swallows its neighbour, so the text decodes like its groups one by one.
    const qsizetype groups = (x.size() + 3) / 4;
    FUZZ_CHECK(result->size() >= groups && result->size() <= 2 * groups,
               QStringLiteral("%1 groups gave %2 characters: %3").arg(groups).arg(result->size()).arg(fuzz::shown(x)));
    QString oneByOne;
    for (qsizetype i = 0; i < x.size(); i += 4)
        oneByOne += decode(x.mid(i, 4)).value_or(QStringLiteral("<none>"));
    FUZZ_CHECK(oneByOne == *result, fuzz::shown(x) + QStringLiteral(" -> ") + fuzz::shown(*result) +
                                        QStringLiteral(" but group by group ") + fuzz::shown(oneByOne));
    // Hex digits in either case mean the same.
    FUZZ_CHECK(decode(x.toUpper()) == result && decode(x.toLower()) == result, fuzz::shown(x));
}

void checkBytesToBstr(const QByteArray &body)
{
    const QString text = BytesToBstr(body);
    FUZZ_CHECK(text.size() <= body.size(), QStringLiteral("more characters than bytes"));
    // ASCII reads as itself.
    if (std::all_of(body.begin(), body.end(), [](char b) { return uchar(b) < 0x80; }))
        FUZZ_CHECK(text == QString::fromLatin1(body), fuzz::shown(text));
}

void checkLastSegment(const QString &text, const QString &separator)
{
    const QString segment = get_last_segment(text, separator);
    if (separator.isEmpty() || !text.contains(separator)) {
        FUZZ_CHECK(segment.isEmpty(), fuzz::shown(text));
        return;
    }
    const QString detail = fuzz::shown(text) + QStringLiteral(" separator ") + fuzz::shown(separator) +
                           QStringLiteral(" gave ") + fuzz::shown(segment);
    FUZZ_CHECK(!segment.contains(separator), detail);
    FUZZ_CHECK(text.endsWith(separator + segment), detail);
}

// A plain name the program must accept: a real game's file name.
bool isPlainName(const QString &name)
{
    if (name.isEmpty() || name.size() > 60 || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.' ||
               u == u'-' || u == u'_' || u == u' ' || (u >= 0x4E00 && u <= 0x9FFF);
    });
}

void checkSafeFileName(const QString &name)
{
    const bool safe = isSafeFileName(name);
    if (isPlainName(name))
        FUZZ_CHECK(safe, fuzz::shown(name));
    if (!safe)
        return;
    FUZZ_CHECK(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."), fuzz::shown(name));
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')), fuzz::shown(name));
    FUZZ_CHECK(std::none_of(name.begin(), name.end(), isControl), fuzz::shown(name));
    FUZZ_CHECK(name.toUtf8().size() <= 255, fuzz::shown(name));
    for (const QString &app : fuzz::appFolders())
        FUZZ_CHECK(fuzz::staysDirectlyIn(app, QStringLiteral("flash"), name), fuzz::shown(name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = fuzz::text(data, size);
    checkDecode(input);
    checkBytesToBstr(fuzz::bytes(data, size));
    checkSafeFileName(input);
    checkLastSegment(input, QStringLiteral("/"));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    if (newline >= 0 && newline <= 8) {
        const QString separator = input.left(newline);
        const QString rest = input.mid(newline + 1);
        checkLastSegment(rest, separator);
        checkSafeFileName(get_last_segment(rest, separator));
    }
    return 0;
}
