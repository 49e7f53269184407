#include "base/portal/answers.h"
#include "base/portal/textops.h"

#include <QStringEncoder>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QByteArray>)

namespace {

// A details body as the game server sends it: each character's code page 936 code as four hex digits.
QByteArray serverBody(const QString &text)
{
    QStringEncoder gbk("GBK");
    QByteArray body;
    for (const QChar c : text) {
        const QByteArray bytes = gbk.encode(QString(c));
        uint code = uchar(bytes.at(0));
        if (bytes.size() == 2)
            code = code << 8 | uchar(bytes.at(1));
        body += QByteArray::number(code, 16).toUpper().rightJustified(4, '0');
    }
    return body;
}

QString shown(const std::optional<qint64> &size)
{
    return size ? QString::number(*size) : u"absent"_s;
}

QStringList shown(const StartupAnswer &a)
{
    return {a.ok ? u"ok"_s : u"refused"_s, a.gg_1, shown(a.gg_size1), a.gg_2, shown(a.gg_size2), a.gg_2_url};
}

QStringList shown(const GameDetails &g)
{
    return {g.gameId, g.title, g.description, g.movieUrl, g.pictureUrl, g.movieFile, g.pictureFile};
}

const QStringList refusedStartup{u"refused"_s, {}, u"absent"_s, {}, u"absent"_s, {}};

GameDetails previousGame()
{
    return {u"7"_s,       u"Old Game"_s, u"Old description"_s, u"http://s/flash/old.swf"_s, u"http://s/pic/old.jpg"_s,
            u"old.swf"_s, u"old.jpg"_s};
}

} // namespace

// How the game server's status and details answers are read, and which server-given file names are refused.
class TestAnswers : public QObject
{
    Q_OBJECT

private slots:
    void startupAnswer_data();
    void startupAnswer();
    void sizes_data();
    void sizes();
    void zeroAnswers_data();
    void zeroAnswers();
    void advertisementFileName_data();
    void advertisementFileName();
    void gameDetails_data();
    void gameDetails();
};

void TestAnswers::startupAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");

    const QString a = u"http://s/ad/top.swf"_s;
    const QString b = u"http://s/ad/dl.swf"_s;
    const QString link = u"http://s/go.asp?id=3"_s;
    const QString absent = u"absent"_s;
    QTest::newRow("ok alone") << u"ok"_s << QStringList{u"ok"_s, {}, absent, {}, absent, {}};
    QTest::newRow("six fields") << u"ok|"_s + a + u"|12345|"_s + b + u"|678|"_s + link
                                << QStringList{u"ok"_s, a, u"12345"_s, b, u"678"_s, link};
    QTest::newRow("banner only") << u"ok|"_s + a << QStringList{u"ok"_s, a, absent, {}, absent, {}};
    QTest::newRow("no second size") << u"ok|"_s + a + u"|1|"_s + b << QStringList{u"ok"_s, a, u"1"_s, b, absent, {}};
    QTest::newRow("extra fields ignored") << u"ok|"_s + a + u"|1|"_s + b + u"|2|"_s + link + u"|more|x"_s
                                          << QStringList{u"ok"_s, a, u"1"_s, b, u"2"_s, link};
    QTest::newRow("empty fields") << u"ok|||||"_s << QStringList{u"ok"_s, {}, absent, {}, absent, {}};
    QTest::newRow("sizes with blanks") << u"ok|"_s + a + u"| 12 |"_s + b + u"|\t34\r\n|"_s + link
                                       << QStringList{u"ok"_s, a, u"12"_s, b, u"34"_s, link};
    QTest::newRow("sizes not numbers") << u"ok|"_s + a + u"|12kb|"_s + b + u"|1.5|"_s + link
                                       << QStringList{u"ok"_s, a, absent, b, absent, link};
    // A negative size is a number; the caller treats it like no size (any file already there is kept).
    QTest::newRow("negative size") << u"ok|"_s + a + u"|-5|"_s + b + u"|0|"_s + link
                                   << QStringList{u"ok"_s, a, u"-5"_s, b, u"0"_s, link};
    QTest::newRow("sizes beyond 32 bits") << u"ok|"_s + a + u"|5000000000|"_s + b + u"|4294967296|"_s + link
                                          << QStringList{u"ok"_s, a, u"5000000000"_s, b, u"4294967296"_s, link};

    QTest::newRow("OK") << u"OK|"_s + a + u"|1|"_s + b + u"|2|"_s + link << refusedStartup;
    QTest::newRow("leading blank") << u" ok|"_s + a << refusedStartup;
    QTest::newRow("trailing blank") << u"ok |"_s + a << refusedStartup;
    QTest::newRow("ok with line end") << u"ok\r\n"_s << refusedStartup;
    QTest::newRow("empty") << u""_s << refusedStartup;
    QTest::newRow("no") << u"no"_s << refusedStartup;
    QTest::newRow("bar only") << u"|"_s << refusedStartup;
    QTest::newRow("ok later") << u"|ok|"_s + a << refusedStartup;
}

void TestAnswers::startupAnswer()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);
    QCOMPARE(shown(parseStartupAnswer(answer)), expected);
}

void TestAnswers::sizes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << u"2048"_s << u"2048"_s;
    QTest::newRow("blanks around") << u"  2048\n"_s << u"2048"_s;
    QTest::newRow("largest") << u"9223372036854775807"_s << u"9223372036854775807"_s;
    QTest::newRow("overflow") << u"9223372036854775808"_s << u"absent"_s;
    QTest::newRow("empty") << u""_s << u"absent"_s;
    QTest::newRow("blank") << u"   "_s << u"absent"_s;
    QTest::newRow("blank inside") << u"1 2"_s << u"absent"_s;
    QTest::newRow("hex") << u"0x10"_s << u"absent"_s;
    QTest::newRow("exponent") << u"1e3"_s << u"absent"_s;
    QTest::newRow("NUL inside") << QStringLiteral("3600").append(QChar(0)).append(u"junk"_s) << u"absent"_s;
}

void TestAnswers::sizes()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QCOMPARE(shown(parseSize(field)), expected);
}

void TestAnswers::zeroAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("zero");

    QTest::newRow("0") << u"0"_s << true;
    QTest::newRow("0 with blanks") << u" 0 \r\n"_s << true;
    QTest::newRow("0.0") << u"0.0"_s << true;
    QTest::newRow("empty") << u""_s << true;
    QTest::newRow("blank") << u" \t"_s << true;
    QTest::newRow("10") << u"10"_s << false;
    QTest::newRow("letter O") << u"O"_s << false;
    QTest::newRow("game starting with 0") << u"0|Game|d|http://s/f/g.swf|http://s/p/g.jpg"_s << false;
}

void TestAnswers::zeroAnswers()
{
    QFETCH(QString, answer);
    QFETCH(bool, zero);
    QCOMPARE(readsAsZero(answer), zero);
}

void TestAnswers::advertisementFileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");

    const QString longest = QString(251, u'a') + u".swf"_s;
    const QString tooLong = QString(252, u'a') + u".swf"_s;
    const QString wideTooLong = QString(84, u'广') + u".swf"_s; // 88 characters but 256 bytes as UTF-8
    QTest::newRow("normal") << u"http://s/ad/top.swf"_s << u"top.swf"_s;
    QTest::newRow("deep path") << u"http://s.example/a/b/c/banner_2.swf"_s << u"banner_2.swf"_s;
    QTest::newRow("chinese name") << u"http://s/ad/广告.swf"_s << u"广告.swf"_s;
    QTest::newRow("255 bytes") << u"http://s/ad/"_s + longest << longest;
    QTest::newRow("256 bytes") << u"http://s/ad/"_s + tooLong << u""_s;
    QTest::newRow("256 bytes in wide characters") << u"http://s/ad/"_s + wideTooLong << u""_s;
    QTest::newRow("ends with /") << u"http://s/ad/"_s << u""_s;
    QTest::newRow("dot") << u"http://s/ad/."_s << u""_s;
    QTest::newRow("dot dot") << u"http://s/ad/.."_s << u""_s;
    QTest::newRow("backslash") << u"http://s/ad/..\\..\\evil.swf"_s << u""_s;
    QTest::newRow("tab") << u"http://s/ad/a\tb.swf"_s << u""_s;
    QTest::newRow("line end") << u"http://s/ad/a.swf\n"_s << u""_s;
    QTest::newRow("nul") << u"http://s/ad/a"_s + QChar(0) + u".swf"_s << u""_s;
    QTest::newRow("delete") << u"http://s/ad/a\x7f.swf"_s << u""_s;
    QTest::newRow("no slash") << u"top.swf"_s << u""_s;
    QTest::newRow("empty") << u""_s << u""_s;
}

void TestAnswers::advertisementFileName()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(::advertisementFileName(url), expected);
}

void TestAnswers::gameDetails_data()
{
    QTest::addColumn<std::optional<QByteArray>>("body");
    QTest::addColumn<bool>("afterGame");
    QTest::addColumn<QStringList>("expected"); // empty when the answer is refused

    const auto body = [](const QString &text) { return std::optional<QByteArray>(serverBody(text)); };
    const auto game = [&body](const QString &movie, const QString &picture) {
        return body(u"42|Space|d|"_s + movie + u"|"_s + picture);
    };
    const QString swf = u"http://s/flash/space.swf"_s;
    const QString jpg = u"http://s/pic/space.jpg"_s;
    const GameDetails old = previousGame();

    QTest::newRow("full answer") << body(u"42|Space Race|It#39;s fast &amp; fun|"_s + swf + u"|"_s + jpg) << true
                                 << QStringList{u"42"_s,        u"Space Race"_s, u"It#39;s fast &amp; fun"_s, swf, jpg,
                                                u"space.swf"_s, u"space.jpg"_s};
    QTest::newRow("chinese") << body(u"15|俄罗斯方块|经典#39;游戏|http://s/flash/方块.swf|http://s/pic/方块.jpg"_s)
                             << false << QStringList{u"15"_s,
                                                     u"俄罗斯方块"_s,
                                                     u"经典#39;游戏"_s,
                                                     u"http://s/flash/方块.swf"_s,
                                                     u"http://s/pic/方块.jpg"_s,
                                                     u"方块.swf"_s,
                                                     u"方块.jpg"_s};
    QTest::newRow("lowercase hex") << std::optional<QByteArray>(serverBody(u"9|A|B|"_s + swf + u"|"_s + jpg).toLower())
                                   << false
                                   << QStringList{u"9"_s, u"A"_s, u"B"_s, swf, jpg, u"space.swf"_s, u"space.jpg"_s};
    QTest::newRow("extra fields ignored")
        << body(u"42|A|B|"_s + swf + u"|"_s + jpg + u"|x|y"_s) << false
        << QStringList{u"42"_s, u"A"_s, u"B"_s, swf, jpg, u"space.swf"_s, u"space.jpg"_s};
    QTest::newRow("id and title keep the rest")
        << body(u"43|New"_s) << true
        << QStringList{u"43"_s, u"New"_s, old.description, old.movieUrl, old.pictureUrl, u"old.swf"_s, u"old.jpg"_s};
    QTest::newRow("no picture keeps the old one")
        << body(u"44|New|Desc|"_s + swf) << true
        << QStringList{u"44"_s, u"New"_s, u"Desc"_s, swf, old.pictureUrl, u"space.swf"_s, u"old.jpg"_s};

    QTest::newRow("no answer") << std::optional<QByteArray>() << true << QStringList();
    QTest::newRow("empty body") << std::optional<QByteArray>(QByteArray()) << true << QStringList();
    QTest::newRow("0") << body(u"0"_s) << true << QStringList();
    QTest::newRow("0 with blanks") << body(u" 0 "_s) << true << QStringList();
    QTest::newRow("0.0") << body(u"0.0"_s) << true << QStringList();
    QTest::newRow("blank") << body(u"  "_s) << true << QStringList();
    QTest::newRow("not hex") << std::optional<QByteArray>("42|Space|d|" + swf.toLatin1()) << true << QStringList();
    QTest::newRow("bad group at the end")
        << std::optional<QByteArray>(serverBody(u"42|A"_s) + "00G1") << true << QStringList();
    QTest::newRow("id and title on first game") << body(u"43|New"_s) << false << QStringList();
    QTest::newRow("fields present but empty") << body(u"44||||"_s) << true << QStringList();
    QTest::newRow("movie URL ends with /") << game(u"http://s/flash/"_s, jpg) << true << QStringList();
    QTest::newRow("movie dot") << game(u"http://s/flash/."_s, jpg) << true << QStringList();
    QTest::newRow("movie dot dot") << game(u"http://s/flash/.."_s, jpg) << true << QStringList();
    QTest::newRow("movie backslash") << game(u"http://s/flash/..\\Form1.swf"_s, jpg) << true << QStringList();
    QTest::newRow("movie control") << game(u"http://s/flash/a\x01.swf"_s, jpg) << true << QStringList();
    QTest::newRow("movie without /") << game(u"space.swf"_s, jpg) << true << QStringList();
    QTest::newRow("picture URL ends with /") << game(swf, u"http://s/pic/"_s) << true << QStringList();
    QTest::newRow("picture dot dot") << game(swf, u"http://s/pic/.."_s) << true << QStringList();
    QTest::newRow("picture backslash") << game(swf, u"http://s/pic/a\\b.jpg"_s) << true << QStringList();
    QTest::newRow("picture control") << game(swf, u"http://s/pic/a\tb.jpg"_s) << true << QStringList();
    QTest::newRow("picture without /") << game(swf, u"space.jpg"_s) << true << QStringList();
}

void TestAnswers::gameDetails()
{
    QFETCH(std::optional<QByteArray>, body);
    QFETCH(bool, afterGame);
    QFETCH(QStringList, expected);

    const GameDetails previous = afterGame ? previousGame() : GameDetails();
    QString whyNot;
    const std::optional<GameDetails> game = parseGameDetails(body, previous, &whyNot);
    if (expected.isEmpty()) {
        QVERIFY2(!game, qPrintable(game ? shown(*game).join(u'|') : QString()));
        QVERIFY(!whyNot.isEmpty());
    } else {
        QVERIFY2(game, qPrintable(whyNot));
        QCOMPARE(shown(*game), expected);
    }
    // Not asking for the reason changes nothing.
    const std::optional<GameDetails> again = parseGameDetails(body, previous);
    QCOMPARE(again.has_value(), game.has_value());
    if (game)
        QVERIFY(*again == *game);
}

QTEST_GUILESS_MAIN(TestAnswers)
#include "tst_answers.moc"
