#include "base/portal/serverfetch.h"
#include "base/shell/startup.h"
#include "logcapture.h"
#include "portalserver.h"
#include "testappfolder.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <limits>
#include <memory>

namespace {

using testfiles::contentOf;
using testfiles::filesIn;
using testfiles::httpGet;

constexpr int waitMs = 15000;

} // namespace

// Start-up's check-in with the real portal server: refusal, the advertisements in pic/ and the wait for the left page.
class TestStartupFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void okAnswerFetchesTheAdvertisementsThenWaitsForTheLeftPage();
    void leftPageLoadedEarlyFinishesRightAfterTheAdvertisements_data();
    void leftPageLoadedEarlyFinishesRightAfterTheAdvertisements();
    void leftPageNeverLoadedFinishesAfterTheWait();
    void refusal_data();
    void refusal();
    void advertisementFetchedOnlyWhenMissingOrShort_data();
    void advertisementFetchedOnlyWhenMissingOrShort();

private:
    void makeStartup(const QUrl &serverUrl);
    int requestsFor(const QString &path);
    QString picFolder() const { return m_folder->filePath(QStringLiteral("pic")); }
    QString picFile(const char *name) const { return QDir(picFolder()).filePath(QString::fromLatin1(name)); }

    PortalServer m_server;
    QNetworkAccessManager m_network;
    QByteArray m_banner;
    QByteArray m_downloadAd;
    std::unique_ptr<TestAppFolder> m_folder;
    std::unique_ptr<ServerFetch> m_fetch;
    std::unique_ptr<Startup> m_startup;
    std::unique_ptr<QSignalSpy> m_finished;
    std::unique_ptr<QSignalSpy> m_refused;
};

void TestStartupFlow::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(PortalServer::executable()));
    m_banner = httpGet(m_network, m_server.url(QStringLiteral("ads/gg_banner.swf")));
    m_downloadAd = httpGet(m_network, m_server.url(QStringLiteral("ads/gg_download.swf")));
    QVERIFY(m_banner.size() > 100 && m_downloadAd.size() > 100);
}

void TestStartupFlow::init()
{
    m_folder = std::make_unique<TestAppFolder>();
    QVERIFY(m_folder->isValid());
    // The window makes pic/ before start-up begins.
    QVERIFY(QDir().mkpath(picFolder()));
    m_fetch = std::make_unique<ServerFetch>(&m_network);
}

void TestStartupFlow::cleanup()
{
    m_finished.reset();
    m_refused.reset();
    m_startup.reset();
    m_fetch.reset();
    m_folder.reset();
}

void TestStartupFlow::makeStartup(const QUrl &serverUrl)
{
    m_startup = std::make_unique<Startup>(m_fetch.get(), LibraryFolders(m_folder->path()), serverUrl);
    m_finished = std::make_unique<QSignalSpy>(m_startup.get(), &Startup::finished);
    m_refused = std::make_unique<QSignalSpy>(m_startup.get(), &Startup::refused);
}

int TestStartupFlow::requestsFor(const QString &path)
{
    QUrl stats = m_server.url(QStringLiteral("stats"));
    stats.setQuery(QUrlQuery{{QStringLiteral("path"), path}});
    bool ok = false;
    const int count = httpGet(m_network, stats).trimmed().toInt(&ok);
    return ok ? count : -1;
}

void TestStartupFlow::okAnswerFetchesTheAdvertisementsThenWaitsForTheLeftPage()
{
    LogCapture shell;
    makeStartup(m_server.baseUrl());
    m_startup->start();
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(picFile("gg_banner.swf")) && QFileInfo::exists(picFile("gg_download.swf")), waitMs);
    QCOMPARE(contentOf(picFile("gg_banner.swf")), m_banner);
    QCOMPARE(contentOf(picFile("gg_download.swf")), m_downloadAd);
    QCOMPARE(filesIn(picFolder()).size(), 2);

    const StartupAnswer &answer = m_startup->answer();
    QVERIFY(answer.ok);
    QCOMPARE(answer.gg_1, m_server.url(QStringLiteral("ads/gg_banner.swf")).toString());
    QCOMPARE(answer.gg_size1, std::optional<qint64>(m_banner.size()));
    QCOMPARE(answer.gg_2, m_server.url(QStringLiteral("ads/gg_download.swf")).toString());
    QCOMPARE(answer.gg_size2, std::optional<qint64>(m_downloadAd.size()));
    QCOMPARE(answer.gg_2_url, m_server.url(QStringLiteral("site.htm")).toString());
    QCOMPARE(m_startup->advertisementPath(answer.gg_1), picFile("gg_banner.swf"));

    // Everything is in, but the window waits for the left page; once it loads, start-up ends at once.
    QCOMPARE(m_finished->count(), 0);
    m_startup->leftPageLoaded();
    QCOMPARE(m_finished->count(), 1);
    m_startup->leftPageLoaded();
    QCOMPARE(m_finished->count(), 1);
    QCOMPARE(m_refused->count(), 0);
    QVERIFY(shell.warnings(QStringLiteral("quillabrix.shell")).isEmpty());
}

void TestStartupFlow::leftPageLoadedEarlyFinishesRightAfterTheAdvertisements_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QStringList>("advertisements");
    const QStringList both{QStringLiteral("gg_banner.swf"), QStringLiteral("gg_download.swf")};
    QTest::newRow("both advertisements") << QString() << both;
    QTest::newRow("advertisements missing on the server") << "mode/noads/" << QStringList();
    QTest::newRow("bare ok") << "mode/bare/" << QStringList();
    QTest::newRow("extra fields") << "mode/extra/" << both;
}

void TestStartupFlow::leftPageLoadedEarlyFinishesRightAfterTheAdvertisements()
{
    QFETCH(QString, base);
    QFETCH(QStringList, advertisements);

    makeStartup(m_server.url(base));
    // What pic/ holds at the moment start-up ends: the advertisements must be in by then.
    QStringList atFinish;
    connect(m_startup.get(), &Startup::finished, this, [&] { atFinish = filesIn(picFolder()); });
    m_startup->start();
    m_startup->leftPageLoaded();
    QCOMPARE(m_finished->count(), 0);
    // Well within the wait for a left page that never loads.
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, Startup::leftPageWaitMs / 2);
    QCOMPARE(atFinish, advertisements);
    QCOMPARE(m_refused->count(), 0);
    if (!advertisements.isEmpty()) {
        QCOMPARE(contentOf(picFile("gg_banner.swf")), m_banner);
        QCOMPARE(contentOf(picFile("gg_download.swf")), m_downloadAd);
    }
}

void TestStartupFlow::leftPageNeverLoadedFinishesAfterTheWait()
{
    makeStartup(m_server.baseUrl());
    QElapsedTimer clock;
    clock.start();
    m_startup->start();
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(picFolder()).size(), 2, waitMs);
    QCOMPARE(m_finished->count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, Startup::leftPageWaitMs + 5000);
    // A coarse timer may fire up to 5% early.
    QVERIFY2(clock.elapsed() >= Startup::leftPageWaitMs * 95 / 100, qPrintable(QString::number(clock.elapsed())));
    // The page loading late changes nothing.
    m_startup->leftPageLoaded();
    QCOMPARE(m_finished->count(), 1);
    QCOMPARE(m_refused->count(), 0);
}

void TestStartupFlow::refusal_data()
{
    QTest::addColumn<QUrl>("serverUrl");
    QTest::addColumn<QString>("logged"); // the part of the answer the warning quotes
    QTest::newRow("no server") << QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(PortalServer::closedPort()))
                               << "(none)";
    QTest::newRow("upper case") << m_server.url(QStringLiteral("mode/upper/")) << "OK|http";
    QTest::newRow("blank after ok") << m_server.url(QStringLiteral("mode/blank/")) << "ok |http";
    QTest::newRow("HTML page") << m_server.url(QStringLiteral("mode/html/")) << "<";
    QTest::newRow("error status") << m_server.url(QStringLiteral("mode/error/")) << "<";
    QTest::newRow("empty body") << m_server.url(QStringLiteral("mode/empty/")) << "(none)";
}

void TestStartupFlow::refusal()
{
    QFETCH(QUrl, serverUrl);
    QFETCH(QString, logged);

    LogCapture shell;
    makeStartup(serverUrl);
    m_startup->start();
    m_startup->leftPageLoaded();
    QTRY_COMPARE_WITH_TIMEOUT(m_refused->count(), 1, waitMs);
    QVERIFY(!m_startup->answer().ok);
    const QStringList warnings = shell.warnings(QStringLiteral("quillabrix.shell"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QLatin1String("refused")) && warnings.first().contains(logged),
             qPrintable(warnings.first()));

    // Nothing else follows: no advertisements, no finish even though the left page loaded.
    bool answered = false;
    m_fetch->GetPage(m_server.url(QStringLiteral("stats")), this, [&](const auto &) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, waitMs);
    QCOMPARE(m_finished->count(), 0);
    QCOMPARE(m_refused->count(), 1);
    QVERIFY(filesIn(picFolder()).isEmpty());
}

void TestStartupFlow::advertisementFetchedOnlyWhenMissingOrShort_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("present"); // bytes of the banner already in pic/ relative to its real size; none when absent
    QTest::addColumn<QByteArray>("start"); // how the file there starts
    QTest::addColumn<bool>("fetched");
    const QByteArray movie("FWS\x0a");
    QTest::newRow("missing") << "" << std::numeric_limits<int>::min() << movie << true;
    QTest::newRow("as announced") << "" << 0 << movie << false;
    QTest::newRow("larger than announced") << "" << 10 << movie << false;
    QTest::newRow("one byte short") << "" << -1 << movie << true;
    QTest::newRow("empty") << "" << -int(m_banner.size()) << movie << true;
    QTest::newRow("announced larger than served") << "mode/bigbanner/" << 0 << movie << true;
    QTest::newRow("web page kept before") << "" << 0 << QByteArray("<html>") << true;
}

void TestStartupFlow::advertisementFetchedOnlyWhenMissingOrShort()
{
    QFETCH(QString, base);
    QFETCH(int, present);
    QFETCH(QByteArray, start);
    QFETCH(bool, fetched);

    const bool exists = present != std::numeric_limits<int>::min();
    const QByteArray old =
        (start + QByteArray(qMax(0, m_banner.size() + present), 'x')).left(m_banner.size() + present);
    if (exists) {
        QFile file(picFile("gg_banner.swf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(old), old.size());
    }
    const QString path = QLatin1Char('/') + base + QStringLiteral("ads/gg_banner.swf");
    const int before = requestsFor(path);
    QVERIFY(before >= 0);

    makeStartup(m_server.url(base));
    m_startup->start();
    m_startup->leftPageLoaded();
    QTRY_COMPARE_WITH_TIMEOUT(m_finished->count(), 1, waitMs);
    QCOMPARE(requestsFor(path) - before, fetched ? 1 : 0);
    QCOMPARE(contentOf(picFile("gg_banner.swf")), fetched ? m_banner : old);
}

QTEST_GUILESS_MAIN(TestStartupFlow)
#include "tst_startupflow.moc"
