#include "base/library/gamestore.h"
#include "base/library/library.h"
#include "base/portal/moviedownload.h"
#include "form1fixture.h"
#include "library/librarypanel.h"
#include "library/verifydialog.h"
#include "pagedriver.h"
#include "pixelcolours.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "portal/webbrowser.h"
#include "testfiles.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>

#include <algorithm>
#include <memory>

namespace {

using testfiles::contentOf;
using testfiles::filesIn;
using testfiles::httpGet;
// What the program wrote in its folder, less the saves folder that the players' web engine keeps up on its own.
QStringList libraryTreeOf(const QString &folder)
{
    QStringList tree = testfiles::treeOf(folder);
    const QString saves = QDir(folder).filePath(QStringLiteral("saves")) + QLatin1Char('/');
    tree.erase(std::remove_if(tree.begin(), tree.end(), [&](const QString &line) { return line.startsWith(saves); }),
               tree.end());
    return tree;
}
using testfiles::writeFile;

constexpr int kTimeout = 30000;
constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first

using pagedriver::evaluate;

// Clicks, with the mouse as a user would, the element of the browser's page that selector finds, once the
// page has loaded.
bool clickElement(WebBrowser *browser, const QString &selector)
{
    return QTest::qWaitFor([&] { return browser->ReadyState() == WebBrowser::Complete && browser->focusProxy(); },
                           kTimeout) &&
           pagedriver::clickElement(browser, selector);
}

// Counts how often a widget was shown: the download panel may come and go between two looks at it.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QWidget *widget) { widget->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

} // namespace

// The road of a game from a click in the portal to the player and the library, and what becomes of it when
// the server or the user interrupts it.
class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeRoadOfAGame_data();
    void wholeRoadOfAGame();
    void sameGameTwiceGivesOneRow();
    void damagedMovieIsFoundAndDownloadedAgain();
    void refusedGameWritesNothing_data();
    void refusedGameWritesNothing();
    void movieFaults_data();
    void movieFaults();
    void movieOfManyMegabytes();
    void secondGameGoesFirstAndTheFirstStillArrives();
    void leavingThePanelDuringTransferRecordsTheGame();
    void closingDuringTransferEndsThroughTheTimer();

private:
    std::unique_ptr<WindowUnderTest> startedWindow();
    // Clicks a link to url (a game link of the server, or any other) in the main pane, as a page would hold it.
    bool clickLink(Form1 *window, const QUrl &url);
    // Clicks the left column's link to href and waits for the main pane to show it.
    bool backToPortal(Form1 *window, const QString &href);
    // Shows the server's page of test movies in the main pane (no link leads there) and waits for it.
    bool showTestMovies(Form1 *window);
    // Starts game 4 trickling 1 KB at a time and waits until its first kilobyte is in.
    bool startTrickling(Form1 *window, int msPerKilobyte);
    QUrl gameUrl(const QString &query) const { return m_server.url(QStringLiteral("game.asp?") + query); }

    PortalServer m_server;
    QNetworkAccessManager m_network;
};

void TestDownload::initTestCase()
{
    QVERIFY(m_server.start());
}

std::unique_ptr<WindowUnderTest> TestDownload::startedWindow()
{
    auto w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    if (!w->start())
        return nullptr;
    const QUrl main = m_server.url(QStringLiteral("main.htm"));
    if (!QTest::qWaitFor([&] { return ui::main_web(w->window)->url() == main; }, kTimeout))
        return nullptr;
    return w;
}

bool TestDownload::clickLink(Form1 *window, const QUrl &url)
{
    QSignalSpy loaded(ui::main_web(window), &QWebEngineView::loadFinished);
    ui::main_web(window)->setHtml(QStringLiteral("<a id=\"link\" target=\"_blank\" href=\"%1\">the game</a>")
                                      .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped()),
                                  m_server.baseUrl());
    return QTest::qWaitFor([&] { return !loaded.isEmpty(); }, kTimeout) &&
           clickElement(ui::main_web(window), QStringLiteral("#link"));
}

bool TestDownload::backToPortal(Form1 *window, const QString &href)
{
    const QUrl target = m_server.url(href);
    return clickElement(ui::left_web(window), QStringLiteral("a[href=\"%1\"]").arg(href)) &&
           QTest::qWaitFor([&] { return ui::main_web(window)->url() == target && ui::main_main(window)->isVisible(); },
                           kTimeout);
}

bool TestDownload::showTestMovies(Form1 *window)
{
    const QUrl page = m_server.url(QStringLiteral("main.htm?cat=tests"));
    WebBrowser *browser = ui::main_web(window);
    browser->Navigate(page);
    return QTest::qWaitFor(
        [&] {
            return browser->url() == page && browser->ReadyState() == WebBrowser::Complete &&
                   ui::main_main(window)->isVisible();
        },
        kTimeout);
}

bool TestDownload::startTrickling(Form1 *window, int msPerKilobyte)
{
    return clickLink(window, gameUrl(QStringLiteral("id=4&moviefault=trickle-%1").arg(msPerKilobyte))) &&
           QTest::qWaitFor(
               [&] { return ui::download_main(window)->lblSpeed->text() == QLatin1String("Download 1/3K"); }, kTimeout);
}

void TestDownload::wholeRoadOfAGame_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("title");       // as the server sends it, codes included
    QTest::addColumn<QString>("description"); // as the server sends it
    QTest::addColumn<QString>("shown");       // the description as the download panel shows it
    QTest::addColumn<QString>("movie");
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QList<QColor>>("frames");

    QTest::newRow("3000 bytes: three chunks")
        << 4 << "Pocket Racer"
        << "A tiny racing game: steer left and right and keep off the kerb."
        << "A tiny racing game: steer left and right and keep off the kerb."
        << "pocket-racer.swf"
        << "Download 3/3K" << QList<QColor>{QColor(0xD81B60), QColor(0x8E24AA), QColor(0x5E35B1)};
    QTest::newRow("2048 bytes: ends on a chunk")
        << 5 << "Tiny Tennis"
        << "Two paddles, one ball, first to eleven wins."
        << "Two paddles, one ball, first to eleven wins."
        << "tiny-tennis.swf"
        << "Download 2/2K" << QList<QColor>{QColor(0xC0CA33), QColor(0x7CB342)};
    QTest::newRow("Chinese text with codes, compressed movie")
        << 2 << QString::fromUtf8("Xiao Ming#39;s 星际迷宫")
        << QString::fromUtf8(
               "驾驶小飞船穿过星际迷宫，收集所有能量石。小明说：#34;太好玩了！#34; It#39;s his favourite.")
        << QString::fromUtf8("驾驶小飞船穿过星际迷宫，收集所有能量石。小明说：\"太好玩了！\" It's his favourite.")
        << "star-maze.swf"
        << "Download 5/5K" << QList<QColor>{QColor(0x1A237E), QColor(0x3949AB), QColor(0x7986CB), QColor(0x00BCD4)};
}

void TestDownload::wholeRoadOfAGame()
{
    QFETCH(int, id);
    QFETCH(QString, title);
    QFETCH(QString, description);
    QFETCH(QString, shown);
    QFETCH(QString, movie);
    QFETCH(QString, progress);
    QFETCH(QList<QColor>, frames);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    const QDir app(w->folder.path());
    const QString picture = QString(movie).replace(QStringLiteral(".swf"), QStringLiteral(".png"));
    ShowCounter panelShows(ui::download_main(f));
    ShowCounter adShows(ui::gg_download(f));
    QSignalSpy finished(f, &Form1::downloadFinished);
    QSignalSpy recorded(f, &Form1::gameRecorded);
    const auto pictureRequests = [this, &picture] {
        QUrl stats = m_server.url(QStringLiteral("stats"));
        stats.setQuery(QStringLiteral("path=/pics/") + picture);
        return httpGet(m_network, stats).toInt();
    };

    // The game's own card in a portal page.
    QVERIFY(showTestMovies(f));
    const int picturesBefore = pictureRequests(); // the page's own card shows the picture too
    QVERIFY(clickElement(ui::main_web(f), QStringLiteral("a.game[href=\"game.asp?id=%1\"]").arg(id)));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, kTimeout);
    QCOMPARE(recorded.first().first().toString(), QString::number(id));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(w->messages.shown.isEmpty());

    // The download panel showed the game while it came in, and its progress ended full.
    QCOMPARE(panelShows.shows, 1);
    QCOMPARE(adShows.shows, 1);
    DownloadPanel *panel = ui::download_main(f);
    QCOMPARE(panel->gamename->text(), title);
    QCOMPARE(panel->gamedec->text(), shown);
    QCOMPARE(panel->lblSpeed->text(), progress);
    QCOMPARE(panel->s_color->width(), panel->s_bg->width() - 2);
    QTRY_VERIFY_WITH_TIMEOUT(!panel->loadpic->pixmap().isNull(), kTimeout);
    QCOMPARE(pictureRequests() - picturesBefore, 1); // the panel shows the picture kept in pic/

    // The player panel plays the game.
    QVERIFY(ui::flash_main(f)->isVisible());
    QVERIFY(ui::flash(f)->isVisible());
    for (QWidget *hidden : {static_cast<QWidget *>(panel), static_cast<QWidget *>(ui::gg_download(f)),
                            static_cast<QWidget *>(ui::main_main(f)), static_cast<QWidget *>(ui::game_main(f))})
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QVERIFY(ui::m_fullscreen(f)->isEnabled());
    QCOMPARE(ui::flash(f)->movie(), app.filePath(QStringLiteral("flash/") + movie));
    QCOMPARE(f->loadedMovieName(), movie);
    const auto showsAFrame = [&] {
        const QColor colour = shownColour(ui::flash(f));
        return std::any_of(frames.begin(), frames.end(), [&](const QColor &c) { return near(colour, c); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(showsAFrame(), kStartTimeout);

    // The files as the server has them, and nothing else left in flash/.
    QCOMPARE(contentOf(app.filePath(QStringLiteral("flash/") + movie)),
             httpGet(m_network, m_server.url(QStringLiteral("movies/") + movie)));
    QCOMPARE(filesIn(app.filePath(QStringLiteral("flash"))), QStringList{movie});
    QCOMPARE(contentOf(app.filePath(QStringLiteral("pic/") + picture)),
             httpGet(m_network, m_server.url(QStringLiteral("pics/") + picture)));

    // The row keeps the texts as received.
    const auto games = w->store().gamesNewestFirst();
    QVERIFY(games);
    QCOMPARE(games->size(), 1);
    const GameRecord &row = games->first();
    QCOMPARE(row.gameId, QString::number(id));
    QCOMPARE(row.title, title);
    QCOMPARE(row.movieFile, movie);
    QCOMPARE(row.pictureFile, picture);
    QCOMPARE(row.description, description);
}

void TestDownload::sameGameTwiceGivesOneRow()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    QSignalSpy recorded(f, &Form1::gameRecorded);
    const QString selector = QStringLiteral("a.game[href=\"game.asp?id=4\"]");

    QVERIFY(showTestMovies(f));
    QVERIFY(clickElement(ui::main_web(f), selector));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, kTimeout);
    const QString movie = w->folder.filePath(QStringLiteral("flash/pocket-racer.swf"));
    QVERIFY(QFile::remove(movie));

    QVERIFY(backToPortal(f, QStringLiteral("main.htm")));
    QVERIFY(showTestMovies(f));
    QVERIFY(clickElement(ui::main_web(f), selector));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 2, kTimeout);
    QCOMPARE(w->store().count(), std::optional<qint64>(1));
    QCOMPARE(QFileInfo(movie).size(), 3000); // fetched again all the same
    QVERIFY(ui::flash_main(f)->isVisible());
}

void TestDownload::damagedMovieIsFoundAndDownloadedAgain()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    QSignalSpy recorded(f, &Form1::gameRecorded);
    QSignalSpy digested(&w->library, &Library::movieDigested);
    QVERIFY(showTestMovies(f));
    QVERIFY(clickElement(ui::main_web(f), QStringLiteral("a.game[href=\"game.asp?id=4\"]")));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, kTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(digested.count(), 1, kTimeout);

    // A bit flipped on the disk: the size is the same, the movie is not.
    const QString movie = w->folder.filePath(QStringLiteral("flash/pocket-racer.swf"));
    const QByteArray served = httpGet(m_network, m_server.url(QStringLiteral("movies/pocket-racer.swf")));
    QByteArray damaged = served;
    damaged[damaged.size() / 2] = char(damaged.at(damaged.size() / 2) ^ 0x20);
    QFile file(movie);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();

    f->findChild<QAction *>(QStringLiteral("m_verifylibrary"))->trigger();
    auto *dialog = f->findChild<VerifyDialog *>();
    QVERIFY(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->isRunning(), kTimeout);
    QVERIFY(dialog->findChild<QPlainTextEdit *>()->toPlainText().contains(QLatin1String("content has changed")));
    w->messages.answer = true;
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("verify_redownload")), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 2, kTimeout);
    QCOMPARE(contentOf(movie), served);
    QCOMPARE(w->store().count(), std::optional<qint64>(1));
    QTRY_COMPARE_WITH_TIMEOUT(digested.count(), 2, kTimeout); // the record holds the movie as it is now
}

void TestDownload::refusedGameWritesNothing_data()
{
    QTest::addColumn<QString>("query");  // of game.asp; empty: a server that is down
    QTest::addColumn<QString>("heldBy"); // the title of another game the library holds under id 4
    QTest::newRow("another game holds the id") << "id=4"
                                               << "Space Miner";
    QTest::newRow("unknown game") << "id=999" << QString();
    QTest::newRow("answer 0") << "answer=0" << QString();
    QTest::newRow("not hex") << "fault=nothex" << QString();
    QTest::newRow("empty answer") << "fault=empty" << QString();
    QTest::newRow("error status") << "fault=500" << QString();
    QTest::newRow("server down") << QString() << QString();
    QTest::newRow("movie URL ending in /") << "id=4&movie=slash" << QString();
    QTest::newRow("movie named .") << "id=4&movie=dot" << QString();
    QTest::newRow("movie named ..") << "id=4&movie=dotdot" << QString();
    QTest::newRow("movie name with backslashes") << "id=4&movie=backslash" << QString();
    QTest::newRow("movie name with a control character") << "id=4&movie=control" << QString();
    QTest::newRow("movie URL empty") << "id=4&movie=empty" << QString();
    QTest::newRow("picture named ..") << "id=4&pic=dotdot" << QString();
    QTest::newRow("picture name with backslashes") << "id=4&pic=backslash" << QString();
    QTest::newRow("picture URL ending in /") << "id=4&pic=slash" << QString();
}

void TestDownload::refusedGameWritesNothing()
{
    QFETCH(QString, query);
    QFETCH(QString, heldBy);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    if (!heldBy.isEmpty())
        QVERIFY(
            w->store().insert(QStringLiteral("4"), heldBy, QStringLiteral("space-miner.swf"), QString(), QString()));
    const QStringList before = libraryTreeOf(w->folder.path());
    const QDir beside = QFileInfo(w->folder.path()).dir();
    const QStringList evil{QStringLiteral("*evil*")};
    const QStringList besideBefore = beside.entryList(evil);
    const QUrl url = query.isEmpty()
                         ? QUrl(QStringLiteral("http://127.0.0.1:%1/game.asp?id=4").arg(PortalServer::closedPort()))
                         : gameUrl(query);

    QVERIFY(clickLink(f, url));
    QTRY_COMPARE_WITH_TIMEOUT(w->messages.shown.size(), 1, kTimeout);
    QCOMPARE(w->messages.shown.first().first,
             heldBy.isEmpty() ? MessageBox::Icon::Critical : MessageBox::Icon::Warning);
    QCOMPARE(w->messages.shown.first().second,
             heldBy.isEmpty() ? QStringLiteral("This game doesn't exsit.") : GameAcquisition::idInUseMessage(heldBy));

    QVERIFY(ui::main_main(f)->isVisible());
    QVERIFY(ui::download_main(f)->isHidden());
    QVERIFY(!f->isDownloading());
    QVERIFY(!ui::m_fullscreen(f)->isEnabled());
    const GameAcquisition *acquisition = ui::acquisition(f);
    const GameDetails &game = acquisition->game();
    for (const QString &field : {game.gameId, game.title, game.movieUrl, game.movieFile, acquisition->save_path(),
                                 game.pictureFile, acquisition->save_path2(), f->loadedMovieName()})
        QVERIFY(field.isEmpty());
    // Nothing written, neither in the application folder nor beside it.
    QCOMPARE(libraryTreeOf(w->folder.path()), before);
    QCOMPARE(beside.entryList(evil), besideBefore);
}

void TestDownload::movieFaults_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<bool>("picture"); // the picture reaches pic/
    QTest::newRow("no Content-Length") << "id=4&moviefault=chunked" << true << true;
    QTest::newRow("picture answered 404") << "id=4&picfault=404" << true << false;
    QTest::newRow("body cut short") << "id=4&moviefault=short" << false << false;
    QTest::newRow("404") << "id=4&moviefault=404" << false << false;
    QTest::newRow("500") << "id=4&moviefault=500" << false << false;
    QTest::newRow("empty body") << "id=4&moviefault=empty" << false << false;
}

void TestDownload::movieFaults()
{
    QFETCH(QString, query);
    QFETCH(bool, completes);
    QFETCH(bool, picture);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    const QDir app(w->folder.path());
    // An older complete copy of the movie, which only a whole new one may replace.
    const QString moviePath = app.filePath(QStringLiteral("flash/pocket-racer.swf"));
    const QByteArray older = "an older copy of the movie";
    QVERIFY(writeFile(moviePath, older));
    QSignalSpy finished(f, &Form1::downloadFinished);

    QVERIFY(clickLink(f, gameUrl(query)));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeout);
    QCOMPARE(finished.first().first().toBool(), completes);
    QVERIFY(w->messages.shown.isEmpty());
    QCOMPARE(filesIn(app.filePath(QStringLiteral("flash"))), QStringList{QStringLiteral("pocket-racer.swf")});
    QCOMPARE(QFileInfo::exists(app.filePath(QStringLiteral("pic/pocket-racer.png"))), picture);

    if (completes) {
        QCOMPARE(contentOf(moviePath), httpGet(m_network, m_server.url(QStringLiteral("movies/pocket-racer.swf"))));
        QCOMPARE(w->store().count(), std::optional<qint64>(1));
        QVERIFY(ui::flash_main(f)->isVisible());
        QCOMPARE(ui::flash(f)->movie(), moviePath);
    } else {
        QCOMPARE(contentOf(moviePath), older);
        QCOMPARE(w->store().count(), std::optional<qint64>(0));
        QCOMPARE(ui::download_main(f)->lblSpeed->text(), QStringLiteral("Download failed"));
        QVERIFY(ui::download_main(f)->isVisible());
        QVERIFY(ui::flash_main(f)->isHidden());
        QCOMPARE(ui::flash(f)->movie(), app.filePath(QStringLiteral("nogame.swf")));
    }
}

void TestDownload::movieOfManyMegabytes()
{
    // More kilobytes than a 16-bit count holds; the progress still counts them.
    constexpr qint64 size = 40 * 1024 * 1024;
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    const QString answer = QStringLiteral("77|Big Game|Many megabytes.|%1|%2")
                               .arg(m_server.url(QStringLiteral("movies/size-%1.swf").arg(size)).toString(),
                                    m_server.url(QStringLiteral("pics/pocket-racer.png")).toString());
    QSignalSpy recorded(f, &Form1::gameRecorded);

    QVERIFY(clickLink(f, gameUrl(QStringLiteral("answer=") + QString::fromLatin1(QUrl::toPercentEncoding(answer)))));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, 2 * kStartTimeout);
    QCOMPARE(ui::download_main(f)->lblSpeed->text(), QStringLiteral("Download 40960/40960K"));
    QCOMPARE(ui::download_main(f)->s_color->width(), ui::download_main(f)->s_bg->width() - 2);
    QCOMPARE(QFileInfo(w->folder.filePath(QStringLiteral("flash/size-%1.swf").arg(size))).size(), size);
    QCOMPARE(w->store().count(), std::optional<qint64>(1));
}

void TestDownload::secondGameGoesFirstAndTheFirstStillArrives()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    const QString flash = w->folder.filePath(QStringLiteral("flash"));
    QSignalSpy finished(f, &Form1::downloadFinished);
    QSignalSpy recorded(f, &Form1::gameRecorded);

    QVERIFY(startTrickling(f, 2000));
    // The movie comes in under a hidden name (or none at all); its own name appears only when it is whole.
    for (const QString &name : filesIn(flash))
        QVERIFY2(name.startsWith(QLatin1Char('.')), qPrintable(name));

    // The game clicked last is the one the user waits for: it goes first, and the first game waits its turn.
    QVERIFY(backToPortal(f, QStringLiteral("main.htm")));
    QVERIFY(showTestMovies(f));
    QVERIFY(clickElement(ui::main_web(f), QStringLiteral("a.game[href=\"game.asp?id=5\"]")));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 2, 3 * kTimeout);
    QCOMPARE(recorded.at(0).first().toString(), QStringLiteral("5"));
    QCOMPARE(recorded.at(1).first().toString(), QStringLiteral("4"));
    QTRY_VERIFY_WITH_TIMEOUT(f->findChildren<MovieDownload *>().isEmpty(), kTimeout);

    QCOMPARE(finished.count(), 2);
    QCOMPARE(filesIn(flash), (QStringList{QStringLiteral("pocket-racer.swf"), QStringLiteral("tiny-tennis.swf")}));
    QCOMPARE(w->store().count(), std::optional<qint64>(2));
    QCOMPARE(f->loadedMovieName(), QStringLiteral("tiny-tennis.swf"));
    QCOMPARE(ui::flash(f)->movie(), QDir(flash).filePath(QStringLiteral("tiny-tennis.swf")));
}

void TestDownload::leavingThePanelDuringTransferRecordsTheGame()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    QSignalSpy finished(f, &Form1::downloadFinished);

    QVERIFY(startTrickling(f, 2000));
    QVERIFY(backToPortal(f, QStringLiteral("main.htm?cat=sports")));
    QVERIFY(f->isDownloading()); // the transfer goes on behind the portal
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeout);
    QCOMPARE(finished.first().first().toBool(), true);

    // The game is in the library, but it does not take the user away from the portal.
    QCOMPARE(contentOf(w->folder.filePath(QStringLiteral("flash/pocket-racer.swf"))),
             httpGet(m_network, m_server.url(QStringLiteral("movies/pocket-racer.swf"))));
    QCOMPARE(w->store().count(), std::optional<qint64>(1));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(w->folder.filePath(QStringLiteral("pic/pocket-racer.png"))), kTimeout);
    QVERIFY(ui::main_main(f)->isVisible());
    QVERIFY(ui::flash_main(f)->isHidden());
    QCOMPARE(ui::flash(f)->movie(), w->folder.filePath(QStringLiteral("nogame.swf")));
}

void TestDownload::closingDuringTransferEndsThroughTheTimer()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    QSignalSpy ended(f, &Form1::ended);
    QSignalSpy recorded(f, &Form1::gameRecorded);

    QVERIFY(startTrickling(f, 5000));
    QVERIFY(f->close());
    QVERIFY(f->isClosing());
    QVERIFY(!f->isVisible());
    QVERIFY(!f->isDownloading());
    QVERIFY(ui::Timer1(f)->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kTimeout);

    QVERIFY(filesIn(w->folder.filePath(QStringLiteral("flash"))).isEmpty());
    QCOMPARE(recorded.count(), 0);
    QCOMPARE(w->store().count(), std::optional<qint64>(0));
}

QUILLABRIX_WINDOW_TEST_MAIN(TestDownload)
#include "tst_download.moc"
