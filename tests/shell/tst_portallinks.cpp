#include "base/library/gamestore.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "pagedriver.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "portal/webbrowser.h"
#include "swfwriter.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEnginePage>

#include <memory>

namespace {

using pagedriver::clickElement;
using pagedriver::evaluate;
using pagedriver::jsString;

constexpr int kTimeout = 30000;

// Puts an element of the test's own over the page: a link (with a target or without) or a button that
// opens a window from script. The element has the id "qbtest".
bool addElement(QWebEngineView *view, const QString &kind, const QString &url)
{
    return evaluate(view, QStringLiteral("(function (kind, url) {"
                                         " const e = document.createElement(kind === 'script' ? 'button' : 'a');"
                                         " e.id = 'qbtest'; e.textContent = 'test';"
                                         " if (kind === 'script') e.onclick = () => window.open(url);"
                                         " else { e.href = url; if (kind === 'blank') e.target = '_blank'; }"
                                         " e.style.cssText = 'position:fixed;left:10px;top:10px;z-index:99999;"
                                         "padding:12px;background:#fff';"
                                         " document.body.appendChild(e); return true; })(%1, %2)")
                              .arg(jsString(kind), jsString(url)))
        .toBool();
}

bool loaded(WebBrowser *browser, const QUrl &url)
{
    return QTest::qWaitFor(
        [&] { return browser->url() == url && browser->ReadyState() == WebBrowser::Complete && browser->focusProxy(); },
        kTimeout);
}

QSet<QWidget *> visibleTopLevels()
{
    QSet<QWidget *> out;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            out.insert(w);
    }
    return out;
}

} // namespace

// The portal's requests for new windows: none opens a window, the left column steers the main window,
// the main pane's requests are games.
class TestPortalLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newWindowRequestsReachTheHandlers_data();
    void newWindowRequestsReachTheHandlers();
    void libraryMarkerInTheLeftColumn_data();
    void libraryMarkerInTheLeftColumn();
    void leftLinkReturnsToThePortal_data();
    void leftLinkReturnsToThePortal();
    void portalPagesCannotReachLocalFilesOrThePlayer_data();
    void portalPagesCannotReachLocalFilesOrThePlayer();

private:
    // A started window whose portal pages have loaded.
    std::unique_ptr<WindowUnderTest> startedWindow();
    // Clicks in browser the page's own link to href, or an element of the test's own (kind "blank",
    // "script" or "plain") leading there.
    bool follow(WebBrowser *browser, const QString &kind, const QString &href, Qt::MouseButton button = Qt::LeftButton);

    PortalServer m_server;
};

void TestPortalLinks::initTestCase()
{
    QVERIFY(m_server.start());
}

std::unique_ptr<WindowUnderTest> TestPortalLinks::startedWindow()
{
    auto w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    if (!w->start() || !loaded(ui::left_web(w->window), m_server.url(QStringLiteral("left.htm"))) ||
        !loaded(ui::main_web(w->window), m_server.url(QStringLiteral("main.htm"))))
        return nullptr;
    return w;
}

bool TestPortalLinks::follow(WebBrowser *browser, const QString &kind, const QString &href, Qt::MouseButton button)
{
    if (kind == QLatin1String("page"))
        return clickElement(browser, QStringLiteral("a[href=\"%1\"]").arg(href), button);
    return addElement(browser, kind, href) && clickElement(browser, QStringLiteral("#qbtest"), button);
}

void TestPortalLinks::newWindowRequestsReachTheHandlers_data()
{
    QTest::addColumn<bool>("left"); // the left column, or the main pane (showing the fault links)
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("href");
    QTest::addColumn<int>("button");
    QTest::newRow("left: link to a new window") << true << "page"
                                                << "main.htm?cat=puzzle" << int(Qt::LeftButton);
    QTest::newRow("left: window.open") << true << "script"
                                       << "main.htm?cat=sports" << int(Qt::LeftButton);
    QTest::newRow("left: middle click") << true << "plain"
                                        << "main.htm?cat=classic" << int(Qt::MiddleButton);
    QTest::newRow("main: link to a new window") << false << "page"
                                                << "game.asp?id=999" << int(Qt::LeftButton);
    QTest::newRow("main: window.open") << false << "script"
                                       << "game.asp?answer=0" << int(Qt::LeftButton);
    QTest::newRow("main: middle click") << false << "plain"
                                        << "site.htm" << int(Qt::MiddleButton);
}

void TestPortalLinks::newWindowRequestsReachTheHandlers()
{
    QFETCH(bool, left);
    QFETCH(QString, kind);
    QFETCH(QString, href);
    QFETCH(int, button);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    WebBrowser *browser = left ? ui::left_web(f) : ui::main_web(f);
    const QUrl page =
        left ? m_server.url(QStringLiteral("left.htm")) : m_server.url(QStringLiteral("main.htm?cat=faults"));
    if (!left) {
        ui::main_web(f)->Navigate(page);
        QVERIFY(loaded(ui::main_web(f), page));
    }
    const QSet<QWidget *> windowsBefore = visibleTopLevels();
    const int engineWindowsBefore = QGuiApplication::topLevelWindows().size();
    QSignalSpy requested(browser, &WebBrowser::NewWindow);

    QVERIFY(follow(browser, kind, href, Qt::MouseButton(button)));
    QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, kTimeout);
    QCOMPARE(requested.first().first().toUrl(), m_server.url(href));

    if (left) {
        // The main pane shows the address; the left column stays where it was.
        QTRY_COMPARE_WITH_TIMEOUT(ui::main_web(f)->url(), m_server.url(href), kTimeout);
        QVERIFY(w->messages.shown.isEmpty());
    } else {
        // The address went to the server as a game, which it does not know.
        QTRY_COMPARE_WITH_TIMEOUT(w->messages.texts(), QStringList{QStringLiteral("This game doesn't exsit.")},
                                  kTimeout);
        QCOMPARE(w->messages.shown.first().first, MessageBox::Icon::Critical);
        QVERIFY(ui::main_main(f)->isVisible());
        QVERIFY(ui::download_main(f)->isHidden());
    }
    QCOMPARE(browser->url(), page);
    QCOMPARE(visibleTopLevels(), windowsBefore);
    QCOMPARE(QGuiApplication::topLevelWindows().size(), engineWindowsBefore);
    QCOMPARE(requested.count(), 1);
}

void TestPortalLinks::libraryMarkerInTheLeftColumn_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("href");
    QTest::addColumn<bool>("withGame");    // a game recorded in the library beforehand
    QTest::addColumn<QString>("expected"); // "library", "warning" or "main pane"
    QTest::newRow("library link, a game recorded") << "page"
                                                   << "localgame.htm" << true << "library";
    QTest::newRow("library link, empty library") << "page"
                                                 << "localgame.htm" << false << "warning";
    QTest::newRow("marker in the query") << "script"
                                         << "main.htm?from=localgame.htm" << true << "library";
    QTest::newRow("marker in capitals") << "script"
                                        << "LOCALGAME.HTM" << true << "main pane";
}

void TestPortalLinks::libraryMarkerInTheLeftColumn()
{
    QFETCH(QString, kind);
    QFETCH(QString, href);
    QFETCH(bool, withGame);
    QFETCH(QString, expected);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    if (withGame) {
        QVERIFY(w->store().insert(QStringLiteral("4"), QStringLiteral("Pocket Racer"),
                                  QStringLiteral("pocket-racer.swf"), QStringLiteral("pocket-racer.png"),
                                  QStringLiteral("A tiny racing game.")));
    }
    const QString placeholder = QDir(w->folder.path()).filePath(QStringLiteral("nogame.swf"));
    QSignalSpy requested(ui::left_web(f), &WebBrowser::NewWindow);

    QVERIFY(follow(ui::left_web(f), kind, href));
    QTRY_COMPARE_WITH_TIMEOUT(requested.count(), 1, kTimeout);

    if (expected == QLatin1String("library")) {
        QTRY_VERIFY_WITH_TIMEOUT(ui::game_main(f)->isVisible(), kTimeout);
        QVERIFY(ui::main_main(f)->isHidden());
        QCOMPARE(ui::game_main(f)->model()->rowCount(), 2); // the title row and the game
        QVERIFY(w->messages.shown.isEmpty());
        QCOMPARE(ui::main_web(f)->url(), m_server.url(QStringLiteral("main.htm")));
    } else if (expected == QLatin1String("warning")) {
        QTRY_COMPARE_WITH_TIMEOUT(w->messages.shown.size(), 1, kTimeout);
        QCOMPARE(w->messages.shown.first().first, MessageBox::Icon::Warning);
        QCOMPARE(w->messages.shown.first().second,
                 QStringLiteral("No games, please click Left menu to choose a game type."));
        QVERIFY(ui::main_main(f)->isVisible());
        QVERIFY(ui::game_main(f)->isHidden());
        QCOMPARE(ui::flash(f)->movie(), placeholder);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(ui::main_web(f)->url(), m_server.url(href), kTimeout);
        QVERIFY(ui::main_main(f)->isVisible());
        QVERIFY(ui::game_main(f)->isHidden());
        QVERIFY(w->messages.shown.isEmpty());
    }
}

void TestPortalLinks::leftLinkReturnsToThePortal_data()
{
    QTest::addColumn<QString>("from");
    QTest::newRow("from the player") << "player";
    QTest::newRow("from the library") << "library";
}

void TestPortalLinks::leftLinkReturnsToThePortal()
{
    QFETCH(QString, from);
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    const QDir app(w->folder.path());
    if (from == QLatin1String("player")) {
        swf::MovieSpec spec;
        spec.frameColors = {0xff0000, 0x00ff00};
        const std::string movie = swf::writeSolidColourMovie(spec);
        QFile file(app.filePath(QStringLiteral("flash/game.swf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(movie.data(), qint64(movie.size())), qint64(movie.size()));
        file.close();
        f->show_player(file.fileName(), QStringLiteral("game.swf"));
        QVERIFY(ui::flash_main(f)->isVisible());
        QVERIFY(ui::m_fullscreen(f)->isEnabled());
    } else {
        QVERIFY(w->store().insert(QStringLiteral("4"), QStringLiteral("Pocket Racer"),
                                  QStringLiteral("pocket-racer.swf"), QStringLiteral("pocket-racer.png"),
                                  QStringLiteral("A tiny racing game.")));
        f->b_local_Click();
        QVERIFY(ui::game_main(f)->isVisible());
    }
    QVERIFY(ui::main_main(f)->isHidden());

    const QString href = QStringLiteral("main.htm?cat=action");
    QVERIFY(follow(ui::left_web(f), QStringLiteral("page"), href));
    QTRY_COMPARE_WITH_TIMEOUT(ui::main_web(f)->url(), m_server.url(href), kTimeout);
    QVERIFY(ui::main_main(f)->isVisible());
    for (QWidget *hidden : {static_cast<QWidget *>(ui::flash(f)), static_cast<QWidget *>(ui::flash_main(f)),
                            static_cast<QWidget *>(ui::download_main(f)), static_cast<QWidget *>(ui::gg_download(f)),
                            static_cast<QWidget *>(ui::game_main(f))})
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QCOMPARE(ui::flash(f)->movie(), app.filePath(QStringLiteral("nogame.swf")));
    QVERIFY(!ui::m_fullscreen(f)->isEnabled());
    QVERIFY(w->messages.shown.isEmpty());
}

void TestPortalLinks::portalPagesCannotReachLocalFilesOrThePlayer_data()
{
    QTest::addColumn<QString>("kind"); // a link the user clicks, or the page's own script
    QTest::addColumn<QString>("target");
    QTest::newRow("link to a local file") << "plain"
                                          << "file";
    QTest::newRow("script to a local file") << "location"
                                            << "file";
    QTest::newRow("link to the player's page") << "plain"
                                               << "player";
    QTest::newRow("script to the player's page") << "location"
                                                 << "player";
}

// The portal is remote content: it never gets to show the user's files or the player's own pages.
void TestPortalLinks::portalPagesCannotReachLocalFilesOrThePlayer()
{
    QFETCH(QString, kind);
    QFETCH(QString, target);
    std::unique_ptr<WindowUnderTest> w = startedWindow();
    QVERIFY(w);
    WebBrowser *pane = ui::main_web(w->window);
    const QUrl portal = pane->url();
    const QString secret = w->folder.filePath(QStringLiteral("secret.html"));
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<p>secret</p>");
    file.close();
    const QString url = target == QLatin1String("file") ? QUrl::fromLocalFile(secret).toString()
                                                        : QStringLiteral("qbplayer://app/player.html");
    if (kind == QLatin1String("location"))
        evaluate(pane, QStringLiteral("location.href = %1; true").arg(jsString(url)));
    else
        QVERIFY(follow(pane, kind, url));
    // A refused navigation leaves the page or blanks it; nothing can be waited for when nothing happens, so it
    // gets the time a permitted one takes.
    (void)QTest::qWaitFor([&] { return pane->url() != portal; }, 3000);
    const QString scheme = pane->url().scheme();
    QVERIFY2(scheme == QLatin1String("http") || scheme == QLatin1String("about"), qPrintable(pane->url().toString()));
    QVERIFY(evaluate(pane, QStringLiteral("document.body.innerText.indexOf('secret') < 0 &&"
                                          " typeof window.RufflePlayer === 'undefined'"))
                .toBool());
}

QUILLABRIX_WINDOW_TEST_MAIN(TestPortalLinks)
#include "tst_portallinks.moc"
