#include "base/portal/textops.h"
#include "portalserver.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <sys/stat.h>

namespace {

constexpr int waitMs = 15000;

struct Answer
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QVariant contentLength;
    QByteArray contentType;
    QByteArray etag;
};

// The length a Flash movie's header announces for its file.
quint32 announcedLength(const QByteArray &movie)
{
    if (movie.size() < 8)
        return 0;
    return quint32(uchar(movie[4])) | quint32(uchar(movie[5])) << 8 | quint32(uchar(movie[6])) << 16 |
           quint32(uchar(movie[7])) << 24;
}

QString htmlUnescaped(QString text)
{
    return text.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
}

bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

struct Card
{
    QString title;
    QString picture;
};

} // namespace

// The bundled portal server: its pages, answers, files and fault modes, read back the way the program reads them.
class TestPortalServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void testMoviesHaveMatchingDetailsAndFiles();
    void portalPagesListNoTestMovie();
    void moviesOfExactSize_data();
    void moviesOfExactSize();
    void startupAnswerNamesItsAdvertisements();
    void startupModes_data();
    void startupModes();
    void startupModesAboutTheAdvertisements();
    void fileFaults_data();
    void fileFaults();
    void rangesResumeOnlyTheSameVersion_data();
    void rangesResumeOnlyTheSameVersion();
    void detailsFaults_data();
    void detailsFaults();
    void countsRequestsPerPath();
    void postWithoutBodyOrLengthIsAnswered();
    void gamesFolderGamesAreThePortals();
    void gamesFolderServesOnlyItsOwnRegularFiles();
    void gamesFolderGamesKeepTheirIds();
    void filesBesideMoviesStayInsideTheFolder_data();
    void filesBesideMoviesStayInsideTheFolder();
    void filesBesideMoviesAreServedAsTheyAreNow();
    void stopsCleanlyOnTerminate();

private:
    Answer fetch(const QUrl &url, bool post = false, const QList<std::pair<QByteArray, QByteArray>> &headers = {});
    QStringList details(const QUrl &url);
    std::map<int, Card> cards(const QUrl &page);
    QStringList leftLinks(const PortalServer &server);

    PortalServer m_server;
    QNetworkAccessManager m_network;
};

void TestPortalServer::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(PortalServer::executable()));
}

Answer TestPortalServer::fetch(const QUrl &url, bool post, const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept-Encoding", "identity");
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    QNetworkReply *reply = post ? m_network.post(request, QByteArray()) : m_network.get(request);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), waitMs); }();
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.error = reply->error();
    answer.body = reply->readAll();
    answer.contentLength = reply->header(QNetworkRequest::ContentLengthHeader);
    answer.contentType = reply->rawHeader("Content-Type");
    answer.etag = reply->rawHeader("ETag");
    reply->deleteLater();
    return answer;
}

// The fields of a details answer, decoded as the program decodes them; empty when it is not hex.
QStringList TestPortalServer::details(const QUrl &url)
{
    const Answer answer = fetch(url, true);
    return decode(BytesToBstr(answer.body)).value_or(QString()).split(QLatin1Char('|'));
}

// The game cards of a portal page by the id their link asks for.
std::map<int, Card> TestPortalServer::cards(const QUrl &page)
{
    static const QRegularExpression card(QStringLiteral(
        R"re(<a class="game" href="game\.asp\?id=(\d+)" target="_blank"><img src="([^"]+)"[^>]*><span>([^<]*)</span></a>)re"));
    const Answer answer = fetch(page);
    std::map<int, Card> out;
    for (const auto &m : card.globalMatch(BytesToBstr(answer.body)))
        out[m.captured(1).toInt()] = {htmlUnescaped(m.captured(3)), m.captured(2)};
    return out;
}

// The links of the left column.
QStringList TestPortalServer::leftLinks(const PortalServer &server)
{
    const Answer left = fetch(server.url(QStringLiteral("left.htm")));
    if (left.status != 200 || !left.contentType.contains("gbk"))
        return {};
    static const QRegularExpression link(QStringLiteral(R"re(<a href="([^"]+)" target="_blank">)re"));
    QStringList links;
    for (const auto &m : link.globalMatch(BytesToBstr(left.body)))
        links << m.captured(1);
    return links;
}

void TestPortalServer::testMoviesHaveMatchingDetailsAndFiles()
{
    const QStringList links = leftLinks(m_server);
    QVERIFY(links.contains(QStringLiteral("localgame.htm")));
    QCOMPARE(fetch(m_server.url(QStringLiteral("localgame.htm"))).status, 200);
    QCOMPARE(fetch(m_server.url(QStringLiteral("site.htm"))).status, 200);
    // The pages only tests use are not offered to the user.
    QVERIFY(links.filter(QStringLiteral("cat=tests")).isEmpty());
    QVERIFY(links.filter(QStringLiteral("cat=faults")).isEmpty());

    const std::map<int, Card> all = cards(m_server.url(QStringLiteral("main.htm?cat=tests")));
    QCOMPARE(all.size(), size_t(11));
    QCOMPARE(all.begin()->first, 1);
    QCOMPARE(all.rbegin()->first, 11);

    int chinese = 0;
    for (const auto &[id, card] : all) {
        const QStringList fields = details(m_server.url(QStringLiteral("game.asp?id=%1").arg(id)));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0], QString::number(id));
        QVERIFY2(!fields[1].contains(QLatin1Char('\'')) && !fields[2].contains(QLatin1Char('"')), "uncoded quote");
        QCOMPARE(turnBackCodes(fields[1]), card.title);
        chinese += hasChinese(fields[1]) && hasChinese(fields[2]);

        const QUrl movieUrl(fields[3]);
        QCOMPARE(movieUrl.port(), m_server.port());
        const Answer movie = fetch(movieUrl);
        QCOMPARE(movie.status, 200);
        QCOMPARE(movie.contentLength.toLongLong(), movie.body.size());
        QVERIFY2(movie.body.startsWith("FWS") || movie.body.startsWith("CWS"), qPrintable(fields[3]));

        QVERIFY(fields[4].endsWith(card.picture));
        const Answer picture = fetch(QUrl(fields[4]));
        QCOMPARE(picture.contentLength.toLongLong(), picture.body.size());
        QCOMPARE(QImage::fromData(picture.body).size(), QSize(120, 90));
    }
    QVERIFY(chinese >= 2);
}

// Without a games folder the portal has nothing to list: the test movies stay on their own page.
void TestPortalServer::portalPagesListNoTestMovie()
{
    const QStringList links = leftLinks(m_server);
    const QStringList categories = links.filter(QStringLiteral("main.htm?cat="));
    QCOMPARE(categories.size(), 4);
    QVERIFY(links.contains(QStringLiteral("main.htm")));
    QStringList pages = categories;
    pages << QStringLiteral("main.htm");
    for (const QString &page : pages) {
        const Answer answer = fetch(m_server.url(page));
        QCOMPARE(answer.status, 200);
        QVERIFY2(!BytesToBstr(answer.body).contains(QLatin1String("class=\"game\"")), qPrintable(page));
    }
}

void TestPortalServer::moviesOfExactSize_data()
{
    QTest::addColumn<QString>("path"); // empty: the movie of the game
    QTest::addColumn<int>("game");
    QTest::addColumn<int>("size");
    QTest::newRow("game 4") << "" << 4 << 3000;
    QTest::newRow("game 5") << "" << 5 << 2048;
    QTest::newRow("smallest") << "movies/size-171.swf" << 0 << 171;
    QTest::newRow("small") << "movies/size-3001.swf" << 0 << 3001;
    QTest::newRow("streamed") << "movies/size-1048577.swf" << 0 << 1048577;
}

void TestPortalServer::moviesOfExactSize()
{
    QFETCH(QString, path);
    QFETCH(int, game);
    QFETCH(int, size);
    const QUrl url = path.isEmpty() ? QUrl(details(m_server.url(QStringLiteral("game.asp?id=%1").arg(game))).value(3))
                                    : m_server.url(path);

    const Answer movie = fetch(url);
    QCOMPARE(movie.status, 200);
    QCOMPARE(movie.contentLength.toInt(), size);
    QCOMPARE(movie.body.size(), size);
    QVERIFY(movie.body.startsWith("FWS"));
    QCOMPARE(announcedLength(movie.body), quint32(size));
}

void TestPortalServer::startupAnswerNamesItsAdvertisements()
{
    const QStringList fields = BytesToBstr(fetch(m_server.url(QStringLiteral("gg.asp")), true).body).split(u'|');
    QCOMPARE(fields.size(), 6);
    QCOMPARE(fields[0], QStringLiteral("ok"));
    for (int i = 0; i < 2; ++i) {
        const Answer movie = fetch(QUrl(fields[1 + 2 * i]));
        QCOMPARE(movie.status, 200);
        QCOMPARE(fields[2 + 2 * i].toInt(), movie.body.size());
        QCOMPARE(movie.contentLength.toInt(), movie.body.size());
        QVERIFY(movie.body.size() < 32768);
        QVERIFY(movie.body.startsWith("FWS") || movie.body.startsWith("CWS"));
    }
    QCOMPARE(fetch(QUrl(fields[5])).status, 200);
}

void TestPortalServer::startupModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("field"); // -1: the whole answer starts with expected
    QTest::addColumn<QString>("expected");

    QTest::newRow("upper") << "upper" << 200 << 0 << "OK";
    QTest::newRow("blank") << "blank" << 200 << 0 << "ok ";
    QTest::newRow("bare") << "bare" << 200 << -1 << "ok";
    QTest::newRow("empty") << "empty" << 200 << -1 << "";
    QTest::newRow("html") << "html" << 200 << -1 << "<!DOCTYPE html>";
    QTest::newRow("error") << "error" << 500 << -1 << "<!DOCTYPE html>";
    QTest::newRow("size 40000") << "bannersize-40000" << 200 << 2 << "40000";
    QTest::newRow("huge ad size") << "adsize-99999999999" << 200 << 4 << "99999999999";
    QTest::newRow("extra fields") << "extra" << 200 << 7 << "fields";
    QTest::newRow("unknown") << "no-such-mode" << 404 << -1 << "<!DOCTYPE html>";
}

void TestPortalServer::startupModes()
{
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(int, field);
    QFETCH(QString, expected);

    const QUrl base = m_server.url(QStringLiteral("mode/%1/").arg(mode));
    const Answer answer = fetch(base.resolved(QUrl(QStringLiteral("gg.asp"))), true);
    QCOMPARE(answer.status, status);
    const QString text = BytesToBstr(answer.body);
    if (field < 0) {
        QVERIFY2(expected.isEmpty() ? text.isEmpty() : text.startsWith(expected), qPrintable(text));
    } else {
        QCOMPARE(text.split(u'|').value(field), expected);
        // The program's other requests work under the same base.
        QCOMPARE(fetch(base.resolved(QUrl(QStringLiteral("left.htm")))).status, 200);
        QCOMPARE(cards(base.resolved(QUrl(QStringLiteral("main.htm?cat=tests")))).size(), size_t(11));
    }
}

void TestPortalServer::startupModesAboutTheAdvertisements()
{
    const auto startup = [this](const QString &mode) {
        return BytesToBstr(fetch(m_server.url(QStringLiteral("mode/%1/gg.asp").arg(mode)), true).body).split(u'|');
    };
    const QStringList big = startup(QStringLiteral("bigbanner"));
    const Answer banner = fetch(QUrl(big.value(1)));
    QCOMPARE(banner.status, 200);
    QVERIFY(big.value(2).toInt() > banner.body.size() && big.value(2).toInt() < 32768);

    const QStringList none = startup(QStringLiteral("noads"));
    QCOMPARE(fetch(QUrl(none.value(1))).status, 404);
    QCOMPARE(fetch(QUrl(none.value(3))).status, 404);
}

void TestPortalServer::fileFaults_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("complete");      // the whole file arrived without a network error
    QTest::addColumn<bool>("contentLength"); // a Content-Length header was sent

    QTest::newRow("chunked") << "fault/chunked/movies/pocket-racer.swf" << 200 << true << false;
    QTest::newRow("trickle") << "movies/pocket-racer.swf?trickle=5" << 200 << true << true;
    QTest::newRow("short") << "fault/short/movies/pocket-racer.swf" << 200 << false << true;
    QTest::newRow("404") << "fault/404/movies/pocket-racer.swf" << 404 << false << true;
    QTest::newRow("500") << "pics/tiny-tennis.png?fault=500" << 500 << false << true;
    QTest::newRow("empty") << "fault/empty/movies/pocket-racer.swf" << 200 << false << true;
    QTest::newRow("unknown fault") << "fault/bogus/movies/pocket-racer.swf" << 400 << false << true;
}

void TestPortalServer::fileFaults()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(bool, complete);
    QFETCH(bool, contentLength);

    const QString plainPath = path.section(u'?', 0, 0).remove(QRegularExpression(QStringLiteral("^fault/[^/]+/")));
    const QByteArray whole = fetch(m_server.url(plainPath)).body;
    const Answer answer = fetch(m_server.url(path));
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.contentLength.isValid(), contentLength);
    QCOMPARE(answer.error == QNetworkReply::NoError && answer.body == whole, complete);
    if (path.contains(QLatin1String("short"))) {
        QCOMPARE(answer.contentLength.toInt(), whole.size());
        QVERIFY(answer.body.size() < whole.size());
    }
    if (status >= 400)
        QVERIFY(answer.contentType.startsWith("text/html"));
}

void TestPortalServer::rangesResumeOnlyTheSameVersion_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<QByteArray>("ifRange"); // "ETAG": the file's own
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("from");      // the body is the file's bytes from here...
    QTest::addColumn<int>("to");        // ...up to here (-1: its end)
    QTest::addColumn<bool>("complete"); // all the bytes Content-Length announced came

    const QString racer = QStringLiteral("movies/pocket-racer.swf"); // 3000 bytes
    const QString cut = QStringLiteral("fault/cut-1000/movies/pocket-racer.swf");
    QTest::newRow("If-Range of this version")
        << racer << QByteArray("bytes=1000-") << QByteArray("ETAG") << 206 << 1000 << -1 << true;
    QTest::newRow("If-Range of another version")
        << racer << QByteArray("bytes=1000-") << QByteArray("\"other\"") << 200 << 0 << -1 << true;
    QTest::newRow("If-Range with a date")
        << racer << QByteArray("bytes=1000-") << QByteArray("Tue, 01 Dec 2026 00:00:00 GMT") << 200 << 0 << -1 << true;
    QTest::newRow("movie of a size") << QStringLiteral("movies/size-300000.swf") << QByteArray("bytes=200000-")
                                     << QByteArray("ETAG") << 206 << 200000 << -1 << true;
    QTest::newRow("cut: the whole file stops") << cut << QByteArray() << QByteArray() << 200 << 0 << 1000 << false;
    QTest::newRow("cut: a range before the cut stops at it")
        << cut << QByteArray("bytes=400-") << QByteArray("ETAG") << 206 << 400 << 1000 << false;
    QTest::newRow("cut: a range from the cut comes whole")
        << cut << QByteArray("bytes=1000-") << QByteArray("ETAG") << 206 << 1000 << -1 << true;
}

void TestPortalServer::rangesResumeOnlyTheSameVersion()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, range);
    QFETCH(QByteArray, ifRange);
    QFETCH(int, status);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, complete);

    const QString plainPath = QString(path).remove(QRegularExpression(QStringLiteral("^fault/[^/]+/")));
    const Answer whole = fetch(m_server.url(plainPath));
    QVERIFY(whole.etag.startsWith('"') && whole.etag.endsWith('"'));
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!range.isEmpty())
        headers.append({"Range", range});
    if (!ifRange.isEmpty())
        headers.append({"If-Range", ifRange == "ETAG" ? whole.etag : ifRange});
    const Answer answer = fetch(m_server.url(path), false, headers);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.etag, whole.etag);
    // Whether the network reports a connection closed early differs from run to run; the length does not.
    QCOMPARE(answer.body.size() == answer.contentLength.toLongLong(), complete);
    QCOMPARE(answer.body, whole.body.mid(from, to < 0 ? -1 : to - from));
}

void TestPortalServer::detailsFaults_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("fieldCount"); // 0: the answer is not hex-coded
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("expected"); // that field, with the server's base URL cut off

    QTest::newRow("codes") << "id=3" << 5 << 1 << "Tom#39;s #34;best#34; game";
    QTest::newRow("codes and Chinese") << "id=2" << 5 << 1 << QString::fromUtf8("Xiao Ming#39;s 星际迷宫");
    QTest::newRow("movie URL ends in /") << "id=4&movie=slash" << 5 << 3 << "movies/";
    QTest::newRow("movie named ..") << "id=4&movie=dotdot" << 5 << 3 << "movies/..";
    QTest::newRow("backslashes") << "id=4&movie=backslash" << 5 << 3 << "movies/..\\..\\evil.swf";
    QTest::newRow("control character") << "id=4&movie=control" << 5 << 3 << QStringLiteral("movies/evil\x01.swf");
    QTest::newRow("empty movie URL") << "id=4&movie=empty" << 5 << 3 << "";
    QTest::newRow("picture named ..") << "id=4&pic=dotdot" << 5 << 4 << "pics/..";
    QTest::newRow("movie fault") << "id=4&moviefault=trickle-50" << 5 << 3
                                 << "fault/trickle-50/movies/pocket-racer.swf";
    QTest::newRow("three fields") << "id=4&fields=3" << 3 << 2
                                  << "A tiny racing game: steer left and right and keep off the kerb.";
    QTest::newRow("unknown game") << "id=999" << 1 << 0 << "0";
    QTest::newRow("answer 5") << "answer=5" << 1 << 0 << "5";
    QTest::newRow("not hex") << "fault=nothex" << 0 << 0 << "";
    QTest::newRow("404 page") << "id=4&fault=404" << 0 << 0 << "";
}

void TestPortalServer::detailsFaults()
{
    QFETCH(QString, query);
    QFETCH(int, fieldCount);
    QFETCH(int, field);
    QFETCH(QString, expected);

    const QUrl url = m_server.url(QStringLiteral("game.asp?") + query);
    if (fieldCount == 0) {
        QCOMPARE(decode(BytesToBstr(fetch(url, true).body)), std::optional<QString>());
        return;
    }
    const QStringList fields = details(url);
    QCOMPARE(fields.size(), fieldCount);
    QString value = fields[field];
    const QString base = m_server.baseUrl().toString();
    if (value.startsWith(base))
        value.remove(0, base.size());
    QCOMPARE(value, expected);
}

void TestPortalServer::countsRequestsPerPath()
{
    const auto count = [this](const QString &path) {
        return fetch(m_server.url(QStringLiteral("stats?path=") + path)).body;
    };
    QCOMPARE(fetch(m_server.url(QStringLiteral("stats/reset"))).body, QByteArray("ok"));
    QCOMPARE(count(QStringLiteral("/ads/gg_banner.swf")), QByteArray("0"));
    fetch(m_server.url(QStringLiteral("ads/gg_banner.swf")));
    fetch(m_server.url(QStringLiteral("ads/gg_banner.swf?fault=404")));
    fetch(m_server.url(QStringLiteral("mode/upper/ads/gg_banner.swf")));
    QCOMPARE(count(QStringLiteral("/ads/gg_banner.swf")), QByteArray("2"));
    QCOMPARE(count(QStringLiteral("/mode/upper/ads/gg_banner.swf")), QByteArray("1"));
    fetch(m_server.url(QStringLiteral("stats/reset")));
    QCOMPARE(count(QStringLiteral("/ads/gg_banner.swf")), QByteArray("0"));
}

// `curl -X POST URL` sends neither a body nor a Content-Length: it still gets the game's details.
void TestPortalServer::postWithoutBodyOrLengthIsAnswered()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_server.port()));
    QVERIFY(socket.waitForConnected(waitMs));
    socket.write("POST /game.asp?id=2 HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_server.port()) +
                 "\r\nConnection: close\r\n\r\n");
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(waitMs))
        response += socket.readAll();
    response += socket.readAll();
    QVERIFY2(response.startsWith("HTTP/1.1 200"), response.left(80).constData());
    const QByteArray body = response.mid(response.indexOf("\r\n\r\n") + 4);
    QCOMPARE(decode(BytesToBstr(body)).value_or(QString()).split(QLatin1Char('|')),
             details(m_server.url(QStringLiteral("game.asp?id=2"))));
}

// The games of a folder are the portal's: all of them on the first page, each on its category's page, with
// the folder's texts and pictures; the test movies stay apart.
void TestPortalServer::gamesFolderGamesAreThePortals()
{
    QTemporaryDir folder;
    const QByteArray movie = fetch(m_server.url(QStringLiteral("movies/size-400.swf"))).body;
    QCOMPARE(movie.size(), 400);
    const auto write = [&folder](const QString &name, const QByteArray &bytes) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    for (const char *name : {"Rocket One", "plain", "puzzler", "odd", "broken"})
        QVERIFY(write(QString::fromUtf8(name) + QStringLiteral(".swf"), movie));
    // The title with the characters, the description already with the codes, a category.
    QVERIFY(write(QStringLiteral("Rocket One.txt"),
                  QString::fromUtf8("Jo's \"rocket\"\r\ndon#39;t miss 火箭\r\n#FF8800\r\nsports\r\n").toUtf8()));
    QVERIFY(write(QStringLiteral("puzzler.txt"), "Puzzler\nThink.\n336699\nPuzzle\n"));
    QVERIFY(write(QStringLiteral("odd.txt"), "Odd\nNo such shelf.\n336699\narcade\n"));
    QImage drawn(120, 90, QImage::Format_RGB32);
    drawn.fill(QColor(0x20, 0x80, 0x40));
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && drawn.save(&buffer, "PNG"));
    QVERIFY(write(QStringLiteral("Rocket One.png"), png));
    QVERIFY(write(QStringLiteral("broken.png"), "not a picture"));

    PortalServer server;
    QVERIFY(server.start({QStringLiteral("--games"), folder.path()}));
    const std::map<int, Card> all = cards(server.url(QStringLiteral("main.htm")));
    QCOMPARE(all.size(), size_t(5));
    QVERIFY(all.begin()->first >= 101);
    QCOMPARE(cards(server.url(QStringLiteral("main.htm?cat=tests"))).size(), size_t(11));

    // Each game on its category's page; a category that is not known is "new", which is then linked.
    const auto titlesOf = [&](const QString &page) {
        QStringList titles;
        for (const auto &[id, card] : cards(server.url(page)))
            titles << card.title;
        titles.sort();
        return titles;
    };
    QCOMPARE(titlesOf(QStringLiteral("main.htm?cat=sports")), QStringList{QStringLiteral("Jo's \"rocket\"")});
    QCOMPARE(titlesOf(QStringLiteral("main.htm?cat=puzzle")), QStringList{QStringLiteral("Puzzler")});
    QCOMPARE(titlesOf(QStringLiteral("main.htm?cat=new")),
             QStringList({QStringLiteral("Odd"), QStringLiteral("broken"), QStringLiteral("plain")}));
    QCOMPARE(titlesOf(QStringLiteral("main.htm?cat=action")), QStringList());
    QVERIFY(leftLinks(server).contains(QStringLiteral("main.htm?cat=new")));
    QVERIFY(!leftLinks(m_server).contains(QStringLiteral("main.htm?cat=new")));

    QStringList texts;
    for (const auto &[id, card] : all) {
        const QStringList fields = details(server.url(QStringLiteral("game.asp?id=%1").arg(id)));
        QCOMPARE(fields.size(), 5);
        QCOMPARE(turnBackCodes(fields[1]), card.title);
        texts << fields[1] + QLatin1Char('|') + fields[2];
        QCOMPARE(fetch(QUrl(fields[3])).body, movie);
        // The folder's own picture as it is, else a card in the game's colour.
        const Answer picture = fetch(QUrl(fields[4]));
        QCOMPARE(picture.contentType, QByteArray("image/png"));
        QCOMPARE(QImage::fromData(picture.body).size(), QSize(120, 90));
        QCOMPARE(picture.body == png, card.title.startsWith(QLatin1String("Jo")));
    }
    QVERIFY(texts.contains(QString::fromUtf8("Jo#39;s #34;rocket#34;|don#39;t miss 火箭")));
    QVERIFY(texts.contains(QStringLiteral("plain|")));
}

// A FIFO in the games folder cannot hold start-up up (opening one for reading waits for a writer), and links
// are followed only while they stay inside the folder.
void TestPortalServer::gamesFolderServesOnlyItsOwnRegularFiles()
{
    QTemporaryDir folder, elsewhere;
    const QByteArray movie = fetch(m_server.url(QStringLiteral("movies/size-400.swf"))).body;
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(write(folder.filePath(QStringLiteral("plain.swf")), movie));
    QVERIFY(write(folder.filePath(QStringLiteral("fifo.swf")), movie));
    QVERIFY(write(elsewhere.filePath(QStringLiteral("away.swf")), movie));
    QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("fifo.txt"))).constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe.swf"))).constData(), 0600), 0);
    QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("away.swf")), folder.filePath(QStringLiteral("away.swf"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder.filePath(QStringLiteral("zero.swf"))));
    QVERIFY(QFile::link(QStringLiteral("plain.swf"), folder.filePath(QStringLiteral("inside.swf"))));

    PortalServer server;
    QVERIFY(server.start({QStringLiteral("--games"), folder.path()}));
    QStringList titles;
    for (const auto &[id, card] : cards(server.url(QStringLiteral("main.htm"))))
        titles << card.title;
    QCOMPARE(titles, QStringList({QStringLiteral("fifo"), QStringLiteral("inside"), QStringLiteral("plain")}));
}

// What a movie loads beside it is a file of the folder's subfolders, at the address its relative request gives; a
// request never reaches a file the folder does not hold there (sent as written, dot segments included).
void TestPortalServer::filesBesideMoviesStayInsideTheFolder_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body"); // empty: 404
    QTest::newRow("in a subfolder") << QByteArray("/movies/game/level.txt") << QByteArray("text/plain")
                                    << QByteArray("level");
    QTest::newRow("deeper, a query") << QByteArray("/movies/game/art/sky.png?v=2") << QByteArray("image/png")
                                     << QByteArray("sky");
    QTest::newRow("encoded name") << QByteArray("/movies/game/two%20words.mp3") << QByteArray("audio/mpeg")
                                  << QByteArray("two");
    QTest::newRow("link inside") << QByteArray("/movies/game/again.txt") << QByteArray("text/plain")
                                 << QByteArray("level");
    for (const char *path :
         {"/movies/top.txt", "/movies/.portal-ids", "/movies/game/../top.txt", "/movies/game/%2e%2e/top.txt",
          "/movies/game%2f..%2ftop.txt", "/movies/.secret/key.txt", "/movies/game//level.txt", "/movies/game/a%01.txt",
          "/movies/game/away.txt", "/movies/game/fifo.txt", "/movies/game/art"})
        QTest::newRow(path) << QByteArray(path) << QByteArray() << QByteArray();
}

void TestPortalServer::filesBesideMoviesStayInsideTheFolder()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QTemporaryDir folder, elsewhere;
    const QDir games(folder.path());
    QVERIFY(games.mkpath(QStringLiteral("game/art")) && games.mkpath(QStringLiteral(".secret")));
    const std::pair<const char *, QByteArray> files[] = {
        {"game/level.txt", "level"}, {"game/art/sky.png", "sky"}, {"game/two words.mp3", "two"},
        {"game/a\x01.txt", "a"},     {"top.txt", "top"},          {".secret/key.txt", "key"}};
    for (const auto &[name, bytes] : files)
        QVERIFY(testfiles::writeFile(games.filePath(QString::fromUtf8(name)), bytes));
    QVERIFY(testfiles::writeFile(elsewhere.filePath(QStringLiteral("away.txt")), "away"));
    QVERIFY(
        QFile::link(elsewhere.filePath(QStringLiteral("away.txt")), games.filePath(QStringLiteral("game/away.txt"))));
    QVERIFY(QFile::link(QStringLiteral("level.txt"), games.filePath(QStringLiteral("game/again.txt"))));
    QCOMPARE(::mkfifo(QFile::encodeName(games.filePath(QStringLiteral("game/fifo.txt"))).constData(), 0600), 0);
    PortalServer server;
    QVERIFY(server.start({QStringLiteral("--games"), folder.path()}));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(server.port()));
    QVERIFY(socket.waitForConnected(waitMs));
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(waitMs))
        response += socket.readAll();
    response += socket.readAll();
    QVERIFY2(body.isEmpty() ? response.startsWith("HTTP/1.1 404")
                            : response.startsWith("HTTP/1.1 200") && response.endsWith("\r\n\r\n" + body) &&
                                  response.contains("\r\nContent-Type: " + type + "\r\n"),
             response.constData());
}

// The files beside the movies are read when asked for: one removed while the server runs is gone, one changed
// comes with its new bytes and a new version tag.
void TestPortalServer::filesBesideMoviesAreServedAsTheyAreNow()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("game")));
    const QString level = folder.filePath(QStringLiteral("game/level.txt"));
    const QString other = folder.filePath(QStringLiteral("game/other.txt"));
    QVERIFY(testfiles::writeFile(level, "first") && testfiles::writeFile(other, "other"));
    PortalServer server;
    QVERIFY(server.start({QStringLiteral("--games"), folder.path()}));
    const Answer before = fetch(server.url(QStringLiteral("movies/game/level.txt")));
    QCOMPARE(before.body, QByteArray("first"));

    QVERIFY(QFile::remove(level) && testfiles::writeFile(level, "second, longer") && QFile::remove(other));
    const Answer after = fetch(server.url(QStringLiteral("movies/game/level.txt")));
    QCOMPARE(after.body, QByteArray("second, longer"));
    QVERIFY(after.etag != before.etag);
    QCOMPARE(fetch(server.url(QStringLiteral("movies/game/other.txt"))).status, 404);
}

// A game keeps its id while others come and go, and a removed game's id is not given to another; a folder
// seen for the first time is numbered by name. A folder the portal cannot write to is still served.
void TestPortalServer::gamesFolderGamesKeepTheirIds()
{
    QTemporaryDir folder;
    const QByteArray movie = fetch(m_server.url(QStringLiteral("movies/size-400.swf"))).body;
    const auto add = [&](const char *name) {
        QFile file(folder.filePath(QLatin1String(name) + QStringLiteral(".swf")));
        return file.open(QIODevice::WriteOnly) && file.write(movie) == movie.size();
    };
    const auto served = [&] {
        PortalServer server;
        QStringList games;
        if (server.start({QStringLiteral("--games"), folder.path()}))
            for (const auto &[id, card] : cards(server.url(QStringLiteral("main.htm"))))
                games << QStringLiteral("%1 %2").arg(card.title).arg(id);
        return games.join(QLatin1String(", "));
    };
    for (const char *name : {"bravo", "charlie", "delta"})
        QVERIFY(add(name));
    QCOMPARE(served(), QStringLiteral("bravo 101, charlie 102, delta 103"));

    QVERIFY(add("alpha"));
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("charlie.swf"))));
    QCOMPARE(served(), QStringLiteral("bravo 101, delta 103, alpha 104"));

    QVERIFY(add("aardvark"));
    const QFile::Permissions writable = QFile::permissions(folder.path());
    QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString readOnly = served();
    QFile probe(folder.filePath(QStringLiteral("probe")));
    const bool refused = !probe.open(QIODevice::WriteOnly);
    probe.remove();
    QVERIFY(QFile::setPermissions(folder.path(), writable));
    if (!refused)
        QSKIP("this user writes to read-only folders");
    QCOMPARE(readOnly, QStringLiteral("bravo 101, delta 103, alpha 104, aardvark 105"));
}

void TestPortalServer::stopsCleanlyOnTerminate()
{
    QProcess server;
    server.start(PortalServer::executable(), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(server.waitForReadyRead(waitMs));
    const QUrl base(QString::fromUtf8(server.readLine()).trimmed());
    QCOMPARE(base.host(), QStringLiteral("127.0.0.1"));
    // An unfinished slow transfer must not hold the server up.
    QNetworkReply *slow =
        m_network.get(QNetworkRequest(base.resolved(QUrl(QStringLiteral("movies/size-100000.swf?trickle=500")))));
    QTRY_VERIFY_WITH_TIMEOUT(slow->bytesAvailable() > 0, waitMs);
    server.terminate();
    QVERIFY(server.waitForFinished(2000));
    QCOMPARE(server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.exitCode(), 0);
    delete slow;
}

QTEST_GUILESS_MAIN(TestPortalServer)
#include "tst_portalserver.moc"
