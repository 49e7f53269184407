#include "form1fixture.h"
#include "library/librarypanel.h"
#include "player/form2.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "portal/webbrowser.h"
#include "testfiles.h"
#include "widgets/picturebutton.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QtMath>

#include <optional>

namespace {

using testfiles::filesIn;
using testfiles::httpGet;

constexpr int kPageTimeout = 30000;

// A server that answers the start-up request with "ok" and never answers anything else, so that the
// portal pages stay loading for ever.
class StallingServer : public QObject
{
public:
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }
    StallingServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (socket->peek(64 * 1024).contains("gg.asp"))
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                });
            }
        });
    }

private:
    QTcpServer m_server;
};

} // namespace

// Start-up: the server's answer decides whether the window is shown; the advertisements and the layout
// the window is shown with.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void okShowsThePortal();
    void layoutAfterStartup_data();
    void layoutAfterStartup();
    void refusedAnswerEndsTheProgram_data();
    void refusedAnswerEndsTheProgram();
    void advertisementFields_data();
    void advertisementFields();
    void bannerFetchedOnlyWhenMissingOrShort_data();
    void bannerFetchedOnlyWhenMissingOrShort();
    void leftPageThatNeverCompletesDoesNotHoldTheWindowBack();
    void closingWithoutDownloadHidesAndSetsTheFlag();

private:
    int requestsFor(const QUrl &url);

    PortalServer m_server;
    QNetworkAccessManager m_network;
    QByteArray m_banner;
    std::unique_ptr<WindowUnderTest> m_shown; // started once with the plain "ok" answer
};

int TestStartup::requestsFor(const QUrl &url)
{
    QUrl stats = m_server.url(QStringLiteral("stats"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("path"), url.path());
    stats.setQuery(query);
    return httpGet(m_network, stats).toInt();
}

void TestStartup::initTestCase()
{
    QVERIFY(m_server.start());
    m_banner = httpGet(m_network, m_server.url(QStringLiteral("ads/gg_banner.swf")));
    QVERIFY(m_banner.startsWith("FWS") || m_banner.startsWith("CWS"));
    m_shown = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(m_shown->start());
}

void TestStartup::cleanupTestCase()
{
    m_shown.reset();
}

void TestStartup::okShowsThePortal()
{
    Form1 *w = m_shown->window.get();
    const QDir app(m_shown->folder.path());
    QVERIFY(w->isVisible());
    QVERIFY(m_shown->messages.shown.isEmpty());

    QVERIFY(ui::main_main(w)->isVisible());
    QVERIFY(ui::main_web(w)->isVisible());
    QVERIFY(ui::left_web(w)->isVisible());
    QVERIFY(ui::gg_movie(w)->isVisible());
    for (QWidget *hidden : {static_cast<QWidget *>(ui::game_main(w)), static_cast<QWidget *>(ui::flash_main(w)),
                            static_cast<QWidget *>(ui::download_main(w)), static_cast<QWidget *>(ui::gg_download(w)),
                            static_cast<QWidget *>(ui::form2())})
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QVERIFY(!ui::m_fullscreen(w)->isEnabled());
    QCOMPARE(ui::flash(w)->movie(), app.filePath(QStringLiteral("nogame.swf")));

    // The server's pages, not the local first page.
    QTRY_COMPARE_WITH_TIMEOUT(ui::left_web(w)->url(), m_server.url(QStringLiteral("left.htm")), kPageTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(ui::left_web(w)->title(), QStringLiteral("Quillabrix"), kPageTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(ui::main_web(w)->url(), m_server.url(QStringLiteral("main.htm")), kPageTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(ui::main_web(w)->title(), QString::fromUtf8("热门游戏 Featured games"), kPageTimeout);

    // Both advertisements were fetched whole into pic/ and the movie controls point there.
    const QString banner = app.filePath(QStringLiteral("pic/gg_banner.swf"));
    const QString downloadAd = app.filePath(QStringLiteral("pic/gg_download.swf"));
    QCOMPARE(ui::gg_movie(w)->movie(), banner);
    QCOMPARE(ui::gg_download(w)->movie(), downloadAd);
    QFile bannerFile(banner);
    QVERIFY(bannerFile.open(QIODevice::ReadOnly));
    QCOMPARE(bannerFile.readAll(), m_banner);
    QCOMPARE(QFileInfo(downloadAd).size(), ui::startup(w)->answer().gg_size2.value_or(-1));
    QCOMPARE(filesIn(app.filePath(QStringLiteral("pic"))).size(), 2);
    QVERIFY(QFileInfo(app.filePath(QStringLiteral("flash"))).isDir());
}

void TestStartup::layoutAfterStartup_data()
{
    // Design values in twips; -1 where the value is not the design's. Positions become pixels by truncating
    // twips / 15, sizes by rounding it.
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("client area") << "client" << -1 << -1 << 14865 << 9300;
    QTest::newRow("banner") << "gg_movie" << 0 << 0 << 14895 << 1095;
    QTest::newRow("logo") << "Picture1" << 0 << 1180 << 2655 << 1065;
    QTest::newRow("left column") << "left_web" << 0 << 2260 << 2655 << 6930;
    QTest::newRow("portal panel") << "main_main" << 2710 << 1080 << 11940 << 7965;
    QTest::newRow("main pane") << "main_web" << 30 << 120 << 11900 << 7835;
    QTest::newRow("player panel") << "flash_main" << 2710 << 1080 << 11940 << 7965;
    // The player starts below its button row instead of covering it.
    QTest::newRow("player") << "flash" << 30 << -1 << 11880 << -1;
    QTest::newRow("download panel") << "download_main" << 2710 << 1080 << 11940 << 7965;
    QTest::newRow("library panel") << "game_main" << 2710 << 1080 << 11940 << 7965;
    // The grid starts under the row that holds the search field, and ends where it always did.
    QTest::newRow("library grid") << "game_list" << 30 << 120 + LibraryPanel::barHeight << 11880
                                  << 4935 - LibraryPanel::barHeight;
    QTest::newRow("library description") << "loc_dec" << 2280 << 6030 << 8855 << 1185;
    QTest::newRow("download advertisement") << "gg_download" << 3240 << 7320 << 7215 << 1065;
}

void TestStartup::layoutAfterStartup()
{
    QFETCH(QString, control);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    Form1 *w = m_shown->window.get();
    auto *widget = w->findChild<QWidget *>(control);
    QVERIFY(widget);
    const QRect g = widget->geometry();
    if (left >= 0)
        QCOMPARE(g.x(), qFloor(left / 15.0));
    if (top >= 0)
        QCOMPARE(g.y(), qFloor(top / 15.0));
    QCOMPARE(g.width(), qRound(width / 15.0));
    if (height >= 0)
        QCOMPARE(g.height(), qRound(height / 15.0));

    if (control == QLatin1String("flash")) {
        for (QWidget *button :
             {static_cast<QWidget *>(ui::flash_main(w)->b_rewind), static_cast<QWidget *>(ui::flash_main(w)->b_pause),
              static_cast<QWidget *>(ui::flash_main(w)->b_local)})
            QVERIFY2(g.top() > button->geometry().bottom(), qPrintable(button->objectName()));
        QVERIFY(g.bottom() < ui::flash_main(w)->height());
    }
    // The user cannot resize the window.
    QCOMPARE(w->minimumSize(), w->maximumSize());
}

void TestStartup::refusedAnswerEndsTheProgram_data()
{
    QTest::addColumn<QString>("base"); // relative to the server, or empty for a port nobody listens on
    QTest::newRow("other letter case") << "mode/upper/";
    QTest::newRow("status with a blank") << "mode/blank/";
    QTest::newRow("html page") << "mode/html/";
    QTest::newRow("error status") << "mode/error/";
    QTest::newRow("empty body") << "mode/empty/";
    QTest::newRow("server down") << QString();
}

void TestStartup::refusedAnswerEndsTheProgram()
{
    QFETCH(QString, base);
    const QUrl url = base.isEmpty() ? QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(PortalServer::closedPort()))
                                    : m_server.url(base);
    WindowUnderTest w(url);
    QSignalSpy ended(w.window.get(), &Form1::ended);

    QVERIFY(!w.start());
    QCOMPARE(ended.count(), 1);
    QVERIFY(!w.window->isVisible());
    QCOMPARE(w.messages.shown.size(), 1);
    QCOMPARE(w.messages.shown.first().first, MessageBox::Icon::Critical);
    QCOMPARE(w.messages.shown.first().second, QStringLiteral("You can't use this software without network!"));
    QVERIFY(filesIn(w.folder.filePath(QStringLiteral("pic"))).isEmpty());
    QVERIFY(filesIn(w.folder.filePath(QStringLiteral("flash"))).isEmpty());
}

void TestStartup::advertisementFields_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("urls");         // gg_1, gg_2 and gg_2_url given
    QTest::addColumn<qint64>("bannerSize"); // -1: left empty
    QTest::addColumn<qint64>("adSize");
    QTest::addColumn<int>("filesInPic");
    QTest::newRow("six fields") << "" << true << qint64(5000) << qint64(3600) << 2;
    QTest::newRow("fields after the sixth") << "extra" << true << qint64(5000) << qint64(3600) << 2;
    QTest::newRow("ok alone") << "bare" << false << qint64(-1) << qint64(-1) << 0;
    QTest::newRow("banner size beyond 16 bits") << "bannersize-40000" << true << qint64(40000) << qint64(3600) << 2;
    QTest::newRow("banner size not a number") << "bannersize-abc" << true << qint64(-1) << qint64(3600) << 2;
    QTest::newRow("ad size not a number") << "adsize-12x" << true << qint64(5000) << qint64(-1) << 2;
    QTest::newRow("advertisements missing on the server") << "noads" << true << qint64(5000) << qint64(3600) << 0;
}

void TestStartup::advertisementFields()
{
    QFETCH(QString, mode);
    QFETCH(bool, urls);
    QFETCH(qint64, bannerSize);
    QFETCH(qint64, adSize);
    QFETCH(int, filesInPic);
    const QString prefix = mode.isEmpty() ? QString() : QStringLiteral("mode/%1/").arg(mode);
    WindowUnderTest w(m_server.url(prefix));
    QVERIFY(w.start());
    Form1 *f = w.window.get();

    QVERIFY(w.messages.shown.isEmpty());
    QCOMPARE(ui::startup(f)->answer().gg_1.isEmpty(), !urls);
    QCOMPARE(ui::startup(f)->answer().gg_2.isEmpty(), !urls);
    QCOMPARE(ui::startup(f)->answer().gg_2_url,
             urls ? m_server.url(prefix + QStringLiteral("site.htm")).toString() : QString());
    QCOMPARE(ui::startup(f)->answer().gg_size1, bannerSize < 0 ? std::nullopt : std::optional<qint64>(bannerSize));
    QCOMPARE(ui::startup(f)->answer().gg_size2, adSize < 0 ? std::nullopt : std::optional<qint64>(adSize));
    QCOMPARE(filesIn(w.folder.filePath(QStringLiteral("pic"))).size(), filesInPic);
    // A failed fetch leaves nothing behind, not even an empty file.
    for (const QString &name : filesIn(w.folder.filePath(QStringLiteral("pic"))))
        QVERIFY2(QFileInfo(w.folder.filePath(QStringLiteral("pic/") + name)).size() > 0, qPrintable(name));
}

void TestStartup::bannerFetchedOnlyWhenMissingOrShort_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("onDisk"); // bytes of the banner already in pic/ (cut or padded); -1: no file
    QTest::addColumn<bool>("fetched");
    const int real = m_banner.size();
    QTest::newRow("missing") << "" << -1 << true;
    QTest::newRow("as long as announced") << "" << real << false;
    QTest::newRow("longer than announced") << "" << real + 100 << false;
    QTest::newRow("one byte short") << "" << real - 1 << true;
    QTest::newRow("announced larger than the file") << "bigbanner" << real << true;
    QTest::newRow("announced 40000") << "bannersize-40000" << real << true;
    QTest::newRow("announced 99999999999") << "bannersize-99999999999" << real << true;
    QTest::newRow("size not a number, file kept") << "bannersize-abc" << 10 << false;
    QTest::newRow("size not a number, missing file") << "bannersize-abc" << -1 << true;
}

void TestStartup::bannerFetchedOnlyWhenMissingOrShort()
{
    QFETCH(QString, mode);
    QFETCH(int, onDisk);
    QFETCH(bool, fetched);
    const QString prefix = mode.isEmpty() ? QString() : QStringLiteral("mode/%1/").arg(mode);
    WindowUnderTest w(m_server.url(prefix));
    const QString path = w.folder.filePath(QStringLiteral("pic/gg_banner.swf"));
    QByteArray before;
    if (onDisk >= 0) {
        before = m_banner.left(onDisk).leftJustified(onDisk, 'x');
        QVERIFY(QDir(w.folder.path()).mkpath(QStringLiteral("pic")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(before), qint64(before.size()));
    }
    const QUrl bannerUrl = m_server.url(prefix + QStringLiteral("ads/gg_banner.swf"));
    const int requestsBefore = requestsFor(bannerUrl);

    QVERIFY(w.start());
    QCOMPARE(requestsFor(bannerUrl) - requestsBefore, fetched ? 1 : 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), fetched ? m_banner : before);
    QCOMPARE(ui::gg_movie(w.window)->movie(), path);
}

void TestStartup::leftPageThatNeverCompletesDoesNotHoldTheWindowBack()
{
    StallingServer stalling;
    QVERIFY(stalling.listen());
    WindowUnderTest w(stalling.baseUrl());
    QVERIFY(w.start());
    QVERIFY(w.window->isVisible());
    QVERIFY(ui::left_web(w.window)->ReadyState() != WebBrowser::Complete);
    QVERIFY(w.messages.shown.isEmpty());
}

void TestStartup::closingWithoutDownloadHidesAndSetsTheFlag()
{
    WindowUnderTest w(m_server.baseUrl());
    QVERIFY(w.start());
    QSignalSpy ended(w.window.get(), &Form1::ended);
    QVERIFY(!w.window->isClosing());

    QVERIFY(w.window->close());
    QVERIFY(w.window->isClosing());
    QVERIFY(!w.window->isVisible());
    QVERIFY(!ui::form2()->isVisible());
    // With nothing downloading the program ends as its windows go, not through the exit timer.
    QVERIFY(!ui::Timer1(w.window)->isActive());
    QCOMPARE(ended.count(), 0);
}

QUILLABRIX_WINDOW_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
