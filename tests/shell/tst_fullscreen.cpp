#include "base/library/gamestore.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "pixelcolours.h"
#include "player/form2.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "swfwriter.h"
#include "widgets/picturebutton.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0xff, 0x00);
const QColor kBlue(0x00, 0x00, 0xff);
const QColor kYellow(0xff, 0xff, 0x00);

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kFrameTimeout = 20000;

// A clock whose first second is red and which then cycles green, blue, yellow for twenty seconds: red seen
// again within a test means the game started over.
const QString kGame = QStringLiteral("clock.swf");
constexpr int kFrameRate = 6;
constexpr int kRedFrames = 6;
constexpr int kCycles = 40;

bool isClockColour(const QColor &c)
{
    return near(c, kRed) || near(c, kGreen) || near(c, kBlue) || near(c, kYellow);
}

} // namespace

// The full-screen window borrows the running game's player from the main window and gives it back: the game
// is never started again. Also the entry while disabled, and the logo's site link.
class TestFullScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void enteringMovesTheRunningPlayerOverTheWholeWindow_data();
    void enteringMovesTheRunningPlayerOverTheWholeWindow();
    void leavingPutsTheStillRunningPlayerBackInThePanel_data();
    void leavingPutsTheStillRunningPlayerBackInThePanel();
    void fullScreenFromTheLibraryStartsTheGameInThePanelsPlayer();
    void fullScreenEntryDoesNothingWhileDisabled_data();
    void fullScreenEntryDoesNothingWhileDisabled();
    void fullScreenButtonBeforeAnyGameLendsTheEmptyPlayer();
    void gameAsksForFullScreenOncePerUserAction_data();
    void gameAsksForFullScreenOncePerUserAction();
    void logoOpensTheSiteOncePerClick();

private:
    Form1 *window() const { return m_w->window.get(); }
    Form2 *form2() const { return ui::form2(); }
    QString appFile(const QString &relative) const { return QDir(m_w->folder.path()).filePath(relative); }
    bool playTheGame();
    bool enterFullScreen();
    void clickThroughWindow(QWidget *target);
    // Runs a script in the player's page and waits for its answer.
    QVariant evaluate(FlashPlayer *player, const QString &script);
    // Marks the movie's Ruffle element; the mark is gone once the movie was started again or the page loaded
    // anew.
    bool markTheRunningMovie(FlashPlayer *player);
    bool runningMovieIsMarked(FlashPlayer *player);
    // Whether the clock moves on `changes` times as `shown` shows it, never going back to its first frame.
    bool playsOnPastItsFirstFrame(QWidget *shown, int changes);
    // Whether one picture of `shown` has the clock's colour at its centre and near each corner but the top
    // right one (where full screen's close picture lies).
    bool clockFills(QWidget *shown);

    PortalServer m_server;
    std::unique_ptr<WindowUnderTest> m_w;
};

bool TestFullScreen::playTheGame()
{
    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    window()->b_local_Click();
    QTableView *grid = ui::game_list(window());
    const QRect cell = grid->visualRect(grid->model()->index(1, GameListModel::GameColumn));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ui::Game_Play(window())->click();
    return started.wait(kStartTimeout) || !started.isEmpty();
}

bool TestFullScreen::enterFullScreen()
{
    ui::m_fullscreen(window())->trigger();
    return form2()->isVisible() && form2()->Flash1 == ui::flash(window());
}

void TestFullScreen::clickThroughWindow(QWidget *target)
{
    QWidget *top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, target->rect().center()));
}

QVariant TestFullScreen::evaluate(FlashPlayer *player, const QString &script)
{
    auto result = std::make_shared<QVariant>();
    auto answered = std::make_shared<bool>(false);
    player->view()->page()->runJavaScript(script, [result, answered](const QVariant &value) {
        *result = value;
        *answered = true;
    });
    (void)QTest::qWaitFor([&] { return *answered; }, kFrameTimeout);
    return *result;
}

bool TestFullScreen::markTheRunningMovie(FlashPlayer *player)
{
    return evaluate(player, QStringLiteral("(function(){var r=document.querySelector('#stage > *');"
                                           "if(!r)return false;r.dataset.kept='yes';return true;})()"))
        .toBool();
}

bool TestFullScreen::runningMovieIsMarked(FlashPlayer *player)
{
    return evaluate(player, QStringLiteral("(function(){var r=document.querySelector('#stage > *');"
                                           "return !!r && r.dataset.kept==='yes';})()"))
        .toBool();
}

bool TestFullScreen::playsOnPastItsFirstFrame(QWidget *shown, int changes)
{
    QColor seen;
    int changed = 0;
    bool restarted = false;
    (void)QTest::qWaitFor(
        [&] {
            const QColor now = shownColour(shown);
            restarted = restarted || near(now, kRed);
            if (isClockColour(now) && now != seen) {
                if (seen.isValid())
                    ++changed;
                seen = now;
            }
            return restarted || changed >= changes;
        },
        kFrameTimeout);
    return !restarted && changed >= changes;
}

bool TestFullScreen::clockFills(QWidget *shown)
{
    const QImage shot = shown->grab().toImage();
    const int w = shot.width();
    const int h = shot.height();
    const QColor centre = shot.pixelColor(w / 2, h / 2);
    if (!isClockColour(centre))
        return false;
    for (const QPoint &at : {QPoint(2, 2), QPoint(2, h - 3), QPoint(w - 3, h - 3)}) {
        if (shot.pixelColor(at) != centre)
            return false;
    }
    return true;
}

void TestFullScreen::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestFullScreen::init()
{
    m_w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(m_w->start());
    QVERIFY(QTest::qWaitForWindowActive(window()));
    swf::MovieSpec spec;
    spec.frameColors.assign(kRedFrames, 0xff0000);
    for (int i = 0; i < kCycles; ++i)
        spec.frameColors.insert(spec.frameColors.end(), {0x00ff00, 0x0000ff, 0xffff00});
    spec.frameRate = kFrameRate;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    QFile movie(appFile(QStringLiteral("flash/") + kGame));
    QVERIFY(movie.open(QIODevice::WriteOnly));
    QCOMPARE(movie.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    movie.close();
    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    QVERIFY(store.insert(QStringLiteral("901"), QStringLiteral("Clock"), kGame, QStringLiteral("clock.png"),
                         QStringLiteral("Red, then green, blue and yellow")));
}

void TestFullScreen::cleanup()
{
    m_w.reset();
}

void TestFullScreen::enteringMovesTheRunningPlayerOverTheWholeWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("F6") << QStringLiteral("F6");
    QTest::newRow("menu entry") << QStringLiteral("menu");
    QTest::newRow("Full Screen button, menu entry disabled") << QStringLiteral("button");
}

void TestFullScreen::enteringMovesTheRunningPlayerOverTheWholeWindow()
{
    QFETCH(QString, how);
    QVERIFY(playTheGame());
    FlashPlayer *player = ui::flash(window());
    // Past the first frame in the panel.
    QTRY_VERIFY_WITH_TIMEOUT(isClockColour(shownColour(player)) && !near(shownColour(player), kRed), kFrameTimeout);
    QWebEngineView *view = player->view();
    QWebEnginePage *page = view->page();
    QVERIFY(markTheRunningMovie(player));
    QVERIFY(form2()->Flash1 == nullptr);

    QSignalSpy started(player, &FlashPlayer::movieStarted);
    QSignalSpy loads(page, &QWebEnginePage::loadStarted);
    if (how == QLatin1String("F6")) {
        QTest::keyClick(window()->windowHandle(), Qt::Key_F6);
    } else if (how == QLatin1String("menu")) {
        ui::m_fullscreen(window())->trigger();
    } else {
        ui::m_fullscreen(window())->setEnabled(false);
        clickThroughWindow(ui::flash_main(window())->b_full);
    }

    QVERIFY(window()->isHidden());
    QVERIFY(form2()->isVisible());
    QVERIFY(form2()->windowState() & Qt::WindowMaximized);
    QVERIFY(!ui::m_fullscreen(window())->isEnabled());
    // The very player of the panel, with its page, playing on.
    QCOMPARE(form2()->Flash1, player);
    QCOMPARE(ui::flash(window()), player);
    QCOMPARE(player->parentWidget(), static_cast<QWidget *>(form2()));
    QCOMPARE(player->view(), view);
    QCOMPARE(player->view()->page(), page);
    QCOMPARE(player->movie(), appFile(QStringLiteral("flash/") + kGame));
    QVERIFY(player->isVisible());
    QVERIFY(playsOnPastItsFirstFrame(player, 3));
    QVERIFY(runningMovieIsMarked(player));
    QCOMPARE(started.count(), 0);
    QCOMPARE(loads.count(), 0);

    // The game fills the window, under the close picture in the top right corner, and has the keyboard.
    QCOMPARE(player->geometry(), form2()->rect());
    QTRY_VERIFY_WITH_TIMEOUT(clockFills(form2()), kFrameTimeout);
    QWidget *close = form2()->b_exit;
    QVERIFY(close->isVisible());
    QCOMPARE(close->geometry().top(), 0);
    QCOMPARE(close->geometry().right(), form2()->width() - 1);
    QCOMPARE(form2()->childAt(close->geometry().center()), close);
    QVERIFY(QTest::qWaitForWindowActive(form2()));
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused && (focused == player || player->isAncestorOf(focused)));
}

void TestFullScreen::leavingPutsTheStillRunningPlayerBackInThePanel_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close picture") << QStringLiteral("close picture");
    QTest::newRow("window manager close") << QStringLiteral("close");
    QTest::newRow("Escape") << QStringLiteral("Escape");
}

void TestFullScreen::leavingPutsTheStillRunningPlayerBackInThePanel()
{
    QFETCH(QString, how);
    QVERIFY(playTheGame());
    FlashPlayer *player = ui::flash(window());
    QTRY_VERIFY_WITH_TIMEOUT(isClockColour(shownColour(player)) && !near(shownColour(player), kRed), kFrameTimeout);
    const QRect inPanel = player->geometry();
    QWebEngineView *view = player->view();
    QWebEnginePage *page = view->page();
    QVERIFY(markTheRunningMovie(player));
    QVERIFY(enterFullScreen());
    QVERIFY(QTest::qWaitForWindowActive(form2()));

    QSignalSpy started(player, &FlashPlayer::movieStarted);
    QSignalSpy loads(page, &QWebEnginePage::loadStarted);
    if (how == QLatin1String("close picture"))
        clickThroughWindow(form2()->b_exit);
    else if (how == QLatin1String("close"))
        form2()->close();
    else
        QTest::keyClick(form2()->windowHandle(), Qt::Key_Escape); // the player has the keyboard here
    QTRY_VERIFY_WITH_TIMEOUT(form2()->isHidden(), kFrameTimeout);

    QVERIFY(window()->isVisible());
    QVERIFY(ui::flash_main(window())->isVisible());
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
    QVERIFY(form2()->Flash1 == nullptr);
    QCOMPARE(ui::flash(window()), player);
    QCOMPARE(player->parentWidget(), static_cast<QWidget *>(ui::flash_main(window())));
    QCOMPARE(player->geometry(), inPanel);
    QVERIFY(player->isVisible());
    QCOMPARE(player->view(), view);
    QCOMPARE(player->view()->page(), page);
    QVERIFY(playsOnPastItsFirstFrame(player, 3));
    QVERIFY(runningMovieIsMarked(player));
    QCOMPARE(started.count(), 0);
    QCOMPARE(loads.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(clockFills(player), kFrameTimeout);
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused && (focused == player || player->isAncestorOf(focused)));

    // The button row still lies above the player: its full-screen picture takes the game back in.
    PictureButton *full = ui::flash_main(window())->b_full;
    QCOMPARE(ui::flash_main(window())->childAt(full->geometry().center()), static_cast<QWidget *>(full));
    clickThroughWindow(full);
    QVERIFY(form2()->isVisible() && window()->isHidden());
    QCOMPARE(form2()->Flash1, player);
    QVERIFY(runningMovieIsMarked(player));
    QCOMPARE(started.count(), 0);
}

void TestFullScreen::fullScreenFromTheLibraryStartsTheGameInThePanelsPlayer()
{
    QVERIFY(playTheGame());
    FlashPlayer *player = ui::flash(window());
    window()->b_local_Click(); // the library blanks the player and leaves full screen enabled
    QVERIFY(ui::game_main(window())->isVisible());
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
    QVERIFY(player->movie() != appFile(QStringLiteral("flash/") + kGame));

    QSignalSpy started(player, &FlashPlayer::movieStarted);
    QVERIFY(enterFullScreen());
    QCOMPARE(player->movie(), appFile(QStringLiteral("flash/") + kGame));
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(isClockColour(shownColour(player)), kFrameTimeout);
    QVERIFY(near(shownColour(player), kRed)); // from its first frame
    QTRY_VERIFY_WITH_TIMEOUT(clockFills(form2()), kFrameTimeout);

    // Back behind the library it was shown over, still holding the game.
    clickThroughWindow(form2()->b_exit);
    QVERIFY(form2()->isHidden() && window()->isVisible());
    QVERIFY(ui::game_main(window())->isVisible());
    QVERIFY(ui::flash_main(window())->isHidden());
    QCOMPARE(player->parentWidget(), static_cast<QWidget *>(ui::flash_main(window())));
    QVERIFY(player->isHidden());
    QCOMPARE(player->movie(), appFile(QStringLiteral("flash/") + kGame));
    QCOMPARE(started.count(), 1);
}

void TestFullScreen::fullScreenEntryDoesNothingWhileDisabled_data()
{
    QTest::addColumn<bool>("fullScreenOpen");
    QTest::newRow("before any game") << false;
    QTest::newRow("while full screen") << true;
}

void TestFullScreen::fullScreenEntryDoesNothingWhileDisabled()
{
    QFETCH(bool, fullScreenOpen);
    if (fullScreenOpen) {
        QVERIFY(playTheGame());
        QVERIFY(enterFullScreen());
        QVERIFY(QTest::qWaitForWindowActive(form2()));
    }
    QVERIFY(!ui::m_fullscreen(window())->isEnabled());
    FlashPlayer *player = ui::flash(window());
    QWidget *holder = player->parentWidget();
    const QString movie = player->movie();
    QSignalSpy triggered(ui::m_fullscreen(window()), &QAction::triggered);

    QWidget *active = fullScreenOpen ? static_cast<QWidget *>(form2()) : static_cast<QWidget *>(window());
    QTest::keyClick(active->windowHandle(), Qt::Key_F6);
    ui::m_fullscreen(window())->trigger();

    QCOMPARE(triggered.count(), 0);
    QCOMPARE(form2()->isVisible(), fullScreenOpen);
    QCOMPARE(window()->isVisible(), !fullScreenOpen);
    QCOMPARE(player->parentWidget(), holder);
    QCOMPARE(form2()->Flash1, fullScreenOpen ? player : nullptr);
    QCOMPARE(player->movie(), movie);
}

void TestFullScreen::fullScreenButtonBeforeAnyGameLendsTheEmptyPlayer()
{
    QVERIFY(!ui::m_fullscreen(window())->isEnabled());
    QVERIFY(window()->loadedMovieName().isEmpty());
    FlashPlayer *player = ui::flash(window());
    window()->b_full_Click();

    // No game: the player asked for the flash folder itself, which shows nothing but black.
    QVERIFY(form2()->isVisible() && window()->isHidden());
    QCOMPARE(form2()->Flash1, player);
    const QString flashFolder = appFile(QStringLiteral("flash/"));
    QCOMPARE(player->movie(), flashFolder);
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(form2()) == QColor(Qt::black), kFrameTimeout);

    clickThroughWindow(form2()->b_exit);
    QVERIFY(form2()->isHidden() && window()->isVisible());
    QVERIFY(form2()->Flash1 == nullptr);
    QCOMPARE(player->parentWidget(), static_cast<QWidget *>(ui::flash_main(window())));
    QVERIFY(ui::main_main(window())->isVisible()); // the portal is still what the window shows
    QCOMPARE(player->movie(), flashFolder);
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
}

void TestFullScreen::gameAsksForFullScreenOncePerUserAction_data()
{
    QTest::addColumn<Qt::Key>("leave");
    QTest::newRow("the game leaves (N)") << Qt::Key_N;
    QTest::newRow("the user presses Escape") << Qt::Key_Escape;
}

// The probe asks for full screen at Space and, until N, again on every frame it is not in full screen; it
// shows red and yellow in a window, green and blue in full screen.
void TestFullScreen::gameAsksForFullScreenOncePerUserAction()
{
    QFETCH(Qt::Key, leave);
    const QString probe = QStringLiteral("fullscreenprobe.swf");
    QVERIFY(QFile::copy(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies/") + probe),
                        appFile(QStringLiteral("flash/") + probe)));
    FlashPlayer *player = ui::flash(window());
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    window()->show_player(appFile(QStringLiteral("flash/") + probe), probe);
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    // Whether the movie plays on in these colours while the windows stay as they are.
    const auto framesPass = [&](const QColor &a, const QColor &b) {
        const bool fullScreen = form2()->isVisible();
        QColor last;
        int changes = 0;
        bool stays = true;
        (void)QTest::qWaitFor(
            [&] {
                stays = stays && form2()->isVisible() == fullScreen && window()->isVisible() != fullScreen;
                const QColor now = shownColour(player);
                if ((near(now, a) || near(now, b)) && now != last) {
                    last = now;
                    ++changes;
                }
                return changes >= 8 || !stays;
            },
            kFrameTimeout);
        return stays && changes >= 8;
    };
    QVERIFY(markTheRunningMovie(player));
    const QRect inPanel = player->geometry();
    started.clear();
    QSignalSpy left(form2(), &Form2::leavingFullScreen);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(form2()->isVisible() && window()->isHidden(), kFrameTimeout);
    QCOMPARE(form2()->Flash1, player);
    QVERIFY(QTest::qWaitForWindowActive(form2()));
    QVERIFY(framesPass(kGreen, kBlue)); // the movie knows it is in full screen
    QTest::keyClick(QApplication::focusWidget(), leave);
    QTRY_VERIFY_WITH_TIMEOUT(form2()->isHidden() && window()->isVisible(), kFrameTimeout);
    // After Escape the movie asks again on every frame; without a user's action it stays in the panel.
    QVERIFY(framesPass(kRed, kYellow));
    QCOMPARE(left.count(), 1);
    QCOMPARE(player->geometry(), inPanel);
    QVERIFY(runningMovieIsMarked(player));
    QCOMPARE(started.count(), 0);
}

void TestFullScreen::logoOpensTheSiteOncePerClick()
{
    QVERIFY(playTheGame());
    const QString movie = ui::flash(window())->movie();
    const bool fullScreenEnabled = ui::m_fullscreen(window())->isEnabled();

    for (int clicks = 1; clicks <= 2; ++clicks) {
        clickThroughWindow(ui::Picture1(window()));
        QCOMPARE(m_w->opener.opened.size(), clicks);
    }
    const QUrl site(QStringLiteral("http://127.0.0.1:1/site.htm"));
    QCOMPARE(m_w->opener.opened, (QList<QUrl>{site, site}));
    QCOMPARE(ui::Picture1(window())->toolTip(), QStringLiteral("Clik to vist official website"));

    QVERIFY(ui::flash_main(window())->isVisible());
    QVERIFY(ui::main_main(window())->isHidden() && ui::game_main(window())->isHidden() &&
            ui::download_main(window())->isHidden());
    QCOMPARE(ui::flash(window())->movie(), movie);
    QCOMPARE(ui::m_fullscreen(window())->isEnabled(), fullScreenEnabled);
    QVERIFY(form2()->isHidden());
    QVERIFY(m_w->messages.shown.isEmpty());
    // The game plays on.
    const QColor shown = shownColour(ui::flash(window()));
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(ui::flash(window())) != shown, kFrameTimeout);
}

QUILLABRIX_WINDOW_TEST_MAIN(TestFullScreen)
#include "tst_fullscreen.moc"
