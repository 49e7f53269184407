#include "base/portal/boundedreply.h"
#include "base/portal/serverfetch.h"
#include "base/portal/textops.h"
#include "portalserver.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int waitMs = 15000;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes in files this process holds open in folder, other than the named ones: a download in progress,
// also one whose temporary file has no name yet.
qint64 bytesOpenIn(const QString &folder)
{
    qint64 total = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::Files)) {
        const QString target = fd.symLinkTarget();
        if (target.startsWith(folder + QLatin1Char('/')) && !QFileInfo::exists(target))
            total += fd.size();
    }
    return total;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), data.size());
}

} // namespace

// The program's requests to the game server, against the real portal server on loopback.
class TestServerFetch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void getPageGivesTheBodyOfAnyAnswer();
    void getPageWithoutAnAnswerIsAbsent();
    void getPageSendsAnEmptyPost_data();
    void getPageSendsAnEmptyPost();
    void callbacksComeLaterAndOnlyWhileTheContextLives();
    void downloadPic_data();
    void downloadPic();
    void failedDownloadLeavesNoFile();
    void abandonedDownloadStreamedToDiskAndLeavesNothing();
    void redirectsAreFollowedWithinLimits_data();
    void redirectsAreFollowedWithinLimits();
    void answersComeOnlyAsFastAsTheyAreTaken();

private:
    std::optional<QByteArray> page(const QUrl &url);
    bool downloadPic(const QUrl &url, const QString &target);

    PortalServer m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<ServerFetch> m_fetch;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestServerFetch::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(PortalServer::executable()));
}

void TestServerFetch::init()
{
    m_network = std::make_unique<QNetworkAccessManager>();
    m_fetch = std::make_unique<ServerFetch>(m_network.get());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestServerFetch::cleanup()
{
    m_fetch.reset();
    m_network.reset();
    m_dir.reset();
}

std::optional<QByteArray> TestServerFetch::page(const QUrl &url)
{
    QObject context;
    std::optional<std::optional<QByteArray>> result;
    m_fetch->GetPage(url, &context, [&](const std::optional<QByteArray> &body) { result = body; });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), waitMs); }();
    return result.value_or(std::nullopt);
}

bool TestServerFetch::downloadPic(const QUrl &url, const QString &target)
{
    QObject context;
    std::optional<bool> outcome;
    m_fetch->Download_Pic(url, target, &context, [&](bool ok) { outcome = ok; });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), waitMs); }();
    return outcome.value_or(false);
}

void TestServerFetch::getPageGivesTheBodyOfAnyAnswer()
{
    QVERIFY(page(m_server.url(QStringLiteral("gg.asp"))).value_or(QByteArray()).startsWith("ok|"));
    const QString details = BytesToBstr(page(m_server.url(QStringLiteral("game.asp?id=4"))));
    QVERIFY(decode(details).value_or(QString()).startsWith(QStringLiteral("4|Pocket Racer|")));
    const QString errorPage = BytesToBstr(page(m_server.url(QStringLiteral("game.asp?fault=500"))));
    QVERIFY2(errorPage.contains(QStringLiteral("500 Server Error")), qPrintable(errorPage));
    QCOMPARE(page(m_server.url(QStringLiteral("game.asp?fault=empty"))), std::optional<QByteArray>(QByteArray()));
}

void TestServerFetch::getPageWithoutAnAnswerIsAbsent()
{
    QCOMPARE(page(QUrl(QStringLiteral("http://127.0.0.1:%1/gg.asp").arg(PortalServer::closedPort()))), std::nullopt);
    QCOMPARE(page(m_server.url(QStringLiteral("fault/short/movies/pocket-racer.swf"))), std::nullopt);
    QCOMPARE(page(QUrl()), std::nullopt);
    // An answer past its limit, announced or endless, is cut off: no answer at all.
    QCOMPARE(page(m_server.url(QStringLiteral("mode/huge/gg.asp"))), std::nullopt);
    QCOMPARE(page(m_server.url(QStringLiteral("game.asp?fault=endless"))), std::nullopt);
    QVERIFY(page(m_server.url(QStringLiteral("game.asp?id=4&titlelen=200000"))).has_value()); // 800 KB
}

void TestServerFetch::getPageSendsAnEmptyPost_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "echo";
    QTest::newRow("with a query") << "echo?id=1&x=%E4";
}

void TestServerFetch::getPageSendsAnEmptyPost()
{
    QFETCH(QString, path);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const QByteArray echo = page(m_server.url(path)).value_or(QByteArray());
    QVERIFY2(echo.startsWith("POST\n") && echo.endsWith("\n\n"), echo.constData());
    QVERIFY(echo.contains("\nContent-Length: 0\n"));
    // Nothing but what the HTTP stack itself sends (and the server's notes on the connection).
    static const QRegularExpression own(QStringLiteral("^(Accept-Encoding|Accept-Language|Connection|Content-Length|"
                                                       "Content-Type|Host|User-Agent|LOCAL_[A-Z]+|REMOTE_[A-Z]+):"));
    for (const QByteArray &line : echo.trimmed().split('\n').mid(1))
        QVERIFY2(own.match(QString::fromLatin1(line)).hasMatch(), line.constData());
}

void TestServerFetch::callbacksComeLaterAndOnlyWhileTheContextLives()
{
    int calls = 0;
    auto context = std::make_unique<QObject>();
    const QString picture = m_dir->filePath(QStringLiteral("p.png"));
    m_fetch->GetPage(m_server.url(QStringLiteral("gg.asp")), context.get(), [&](const auto &) { ++calls; });
    m_fetch->Download_Pic(m_server.url(QStringLiteral("pics/tiny-tennis.png")), picture, context.get(),
                          [&](bool) { ++calls; });
    // Also the outcomes known at once (a URL that is no web address) arrive later.
    m_fetch->GetPage(QUrl(), context.get(), [&](const auto &) { ++calls; });
    m_fetch->Download_Pic(QUrl(QStringLiteral("file:///etc/hostname")), picture, context.get(), [&](bool) { ++calls; });
    QCOMPARE(calls, 0);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 4, waitMs);

    QSignalSpy finished(m_network.get(), &QNetworkAccessManager::finished);
    m_fetch->GetPage(m_server.url(QStringLiteral("gg.asp")), context.get(), [&](const auto &) { ++calls; });
    m_fetch->Download_Pic(m_server.url(QStringLiteral("pics/tiny-tennis.png")), picture, context.get(),
                          [&](bool) { ++calls; });
    context.reset();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, waitMs);
    QCOMPARE(calls, 4);
}

void TestServerFetch::downloadPic_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("replaces");

    QTest::newRow("picture") << "pics/tiny-tennis.png" << true;
    QTest::newRow("streamed movie") << "movies/size-1500000.swf" << true;
    QTest::newRow("no Content-Length") << "fault/chunked/movies/pocket-racer.swf" << true;
    QTest::newRow("404") << "fault/404/pics/tiny-tennis.png" << false;
    QTest::newRow("cut short") << "fault/short/movies/pocket-racer.swf" << false;
    QTest::newRow("cut short, streamed") << "fault/short/movies/size-1500000.swf" << false;
    QTest::newRow("over the limit") << "movies/size-17000000.swf" << false;
    QTest::newRow("endless") << "fault/endless/pics/tiny-tennis.png" << false;
}

void TestServerFetch::downloadPic()
{
    QFETCH(QString, path);
    QFETCH(bool, replaces);

    const QString target = m_dir->filePath(QStringLiteral("target.bin"));
    const QByteArray old("an older file that must survive a failed fetch");
    writeFile(target, old);

    QCOMPARE(downloadPic(m_server.url(path), target), replaces);
    if (replaces) {
        // The same bytes as a plain request of the file without its fault.
        const QString clean = path.startsWith(QLatin1String("fault/")) ? path.section(QLatin1Char('/'), 2) : path;
        const QByteArray expected = testfiles::httpGet(*m_network, m_server.url(clean));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(readFile(target), expected);
    } else {
        QCOMPARE(readFile(target), old);
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.bin")});
}

void TestServerFetch::failedDownloadLeavesNoFile()
{
    const QString target = m_dir->filePath(QStringLiteral("gg_banner.swf"));
    QVERIFY(!downloadPic(m_server.url(QStringLiteral("fault/short/ads/gg_banner.swf")), target));
    QVERIFY(!downloadPic(QUrl(QStringLiteral("http://127.0.0.1:%1/x.swf").arg(PortalServer::closedPort())), target));
    QVERIFY(!downloadPic(m_server.url(QStringLiteral("ads/gg_banner.swf")),
                         m_dir->filePath(QStringLiteral("missing-folder/gg_banner.swf"))));
    QVERIFY(!downloadPic(m_server.url(QStringLiteral("ads/gg_banner.swf")), m_dir->path()));
    QVERIFY(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void TestServerFetch::abandonedDownloadStreamedToDiskAndLeavesNothing()
{
    const QString target = m_dir->filePath(QStringLiteral("slow.swf"));
    writeFile(target, "old");
    bool called = false;
    QObject context;
    m_fetch->Download_Pic(m_server.url(QStringLiteral("fault/trickle-150/movies/size-8192.swf")), target, &context,
                          [&](bool) { called = true; });

    // Part of the body is on disk while the rest is still on its way, and the old file is still whole.
    QTRY_VERIFY_WITH_TIMEOUT(bytesOpenIn(m_dir->path()) >= 2048, waitMs);
    QCOMPARE(readFile(target), QByteArray("old"));

    m_fetch.reset();
    QCOMPARE(bytesOpenIn(m_dir->path()), 0);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("slow.swf")});
    QCOMPARE(readFile(target), QByteArray("old"));
    QVERIFY(!called);
}

namespace {

// Answers every request with a redirect: /N/REST to /N-1/REST on itself, /0/REST to target's REST, and
// /bad/... to a file address.
class Redirector : public QTcpServer
{
public:
    explicit Redirector(const QUrl &target) : m_target(target)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    const QByteArray path = socket->readLine().split(' ').value(1);
                    const QList<QByteArray> parts = path.mid(1).split('/');
                    QByteArray location;
                    if (parts.value(0) == "bad")
                        location = "file:///etc/hostname";
                    else if (parts.value(0).toInt() > 0)
                        location = "/" + QByteArray::number(parts.value(0).toInt() - 1) + "/" + parts.mid(1).join('/');
                    else
                        location = m_target.resolved(QUrl(QString::fromLatin1(parts.mid(1).join('/')))).toEncoded();
                    socket->write("HTTP/1.1 302 Found\r\nLocation: " + location +
                                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(serverPort()).arg(path));
    }

private:
    QUrl m_target;
};

} // namespace

void TestServerFetch::redirectsAreFollowedWithinLimits_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("arrives");

    QTest::newRow("one redirect") << "0/pics/tiny-tennis.png" << true;
    QTest::newRow("ten redirects") << "9/pics/tiny-tennis.png" << true;
    QTest::newRow("eleven redirects") << "10/pics/tiny-tennis.png" << false;
    QTest::newRow("to a file address") << "bad/x.png" << false;
}

void TestServerFetch::redirectsAreFollowedWithinLimits()
{
    QFETCH(QString, path);
    QFETCH(bool, arrives);
    Redirector redirector(m_server.url(QString()));
    QVERIFY(redirector.listen(QHostAddress::LocalHost));
    const QString target = m_dir->filePath(QStringLiteral("picture.png"));
    QCOMPARE(downloadPic(redirector.url(path), target), arrives);
    const QString direct = m_dir->filePath(QStringLiteral("direct.png"));
    QVERIFY(downloadPic(m_server.url(QStringLiteral("pics/tiny-tennis.png")), direct));
    QCOMPARE(readFile(target) == readFile(direct), arrives);
    // A page answer follows redirects too.
    QCOMPARE(page(redirector.url(QStringLiteral("0/gg.asp"))).value_or(QByteArray()).startsWith("ok|"), true);
}

void TestServerFetch::answersComeOnlyAsFastAsTheyAreTaken()
{
    constexpr qint64 buffer = 64 * 1024;
    std::unique_ptr<QNetworkReply> reply(boundedrequest::get(
        m_network.get(), boundedrequest::make(m_server.url(QStringLiteral("fault/endless/movies/pocket-racer.swf"))),
        buffer));
    QTRY_COMPARE_WITH_TIMEOUT(reply->bytesAvailable(), buffer, waitMs);
    // The server goes on sending, however long nobody takes what came.
    QTest::qWait(500);
    QCOMPARE(reply->bytesAvailable(), buffer);
    QCOMPARE(reply->readAll().size(), buffer);
    QTRY_COMPARE_WITH_TIMEOUT(reply->bytesAvailable(), buffer, waitMs);
}

QTEST_GUILESS_MAIN(TestServerFetch)
#include "tst_serverfetch.moc"
