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

#include <memory>

namespace {

const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0xff, 0x00);

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kFrameTimeout = 20000;

// Red for a second and a half, so that a game seen red at once was seen from its first frame.
const QString kGame = QStringLiteral("redfirst.swf");

} // namespace

// The full-screen window entered from and left back to the main window, and the logo's site link.
class TestFullScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void enteringShowsTheGameFromItsFirstFrame_data();
    void enteringShowsTheGameFromItsFirstFrame();
    void leavingRestartsTheGameInThePanel_data();
    void leavingRestartsTheGameInThePanel();
    void fullScreenEntryDoesNothingWhileDisabled_data();
    void fullScreenEntryDoesNothingWhileDisabled();
    void fullScreenButtonBeforeAnyGameShowsAnEmptyPlayer();
    void logoOpensTheSiteOncePerClick();

private:
    Form1 *window() const { return m_w->window.get(); }
    Form2 *form2() const { return ui::form2(); }
    QString appFile(const QString &relative) const { return QDir(m_w->folder.path()).filePath(relative); }
    bool playTheGame();
    // Whether the first colour the player shows of its new movie is the red of the first frame.
    bool startsRed(FlashPlayer *player, QSignalSpy &started);
    bool enterFullScreen();
    void clickThroughWindow(QWidget *target);

    PortalServer m_server;
    std::unique_ptr<WindowUnderTest> m_w;
};

bool TestFullScreen::playTheGame()
{
    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    window()->b_local_Click();
    QTableView *grid = ui::game_main(window())->game_list;
    const QRect cell = grid->visualRect(grid->model()->index(1, GameListModel::GameColumn));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ui::game_main(window())->Game_Play->click();
    return started.wait(kStartTimeout) || !started.isEmpty();
}

bool TestFullScreen::startsRed(FlashPlayer *player, QSignalSpy &started)
{
    if (!started.wait(kStartTimeout) && started.isEmpty())
        return false;
    // Until the movie's first frame is composited the player shows its black background.
    QColor shown;
    (void)QTest::qWaitFor(
        [&] {
            shown = shownColour(player);
            return shown != QColor(Qt::black);
        },
        kFrameTimeout);
    return near(shown, kRed);
}

bool TestFullScreen::enterFullScreen()
{
    QSignalSpy started(form2()->Flash1, &FlashPlayer::movieStarted);
    ui::m_fullscreen(window())->trigger();
    return form2()->isVisible() && (started.wait(kStartTimeout) || !started.isEmpty());
}

void TestFullScreen::clickThroughWindow(QWidget *target)
{
    QWidget *top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, target->rect().center()));
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
    spec.frameColors = {0xff0000, 0xff0000, 0xff0000, 0x00ff00, 0x0000ff};
    spec.frameRate = 2;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    QFile movie(appFile(QStringLiteral("flash/") + kGame));
    QVERIFY(movie.open(QIODevice::WriteOnly));
    QCOMPARE(movie.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    movie.close();
    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    QVERIFY(store.insert(QStringLiteral("901"), QStringLiteral("Red first"), kGame, QStringLiteral("redfirst.png"),
                         QStringLiteral("Red, then green and blue")));
}

void TestFullScreen::cleanup()
{
    m_w.reset();
}

void TestFullScreen::enteringShowsTheGameFromItsFirstFrame_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("F6") << QStringLiteral("F6");
    QTest::newRow("menu entry") << QStringLiteral("menu");
    QTest::newRow("Full Screen button, menu entry disabled") << QStringLiteral("button");
}

void TestFullScreen::enteringShowsTheGameFromItsFirstFrame()
{
    QFETCH(QString, how);
    QVERIFY(playTheGame());
    // Well past the first frame in the panel.
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kGreen), kFrameTimeout);

    QSignalSpy started(form2()->Flash1, &FlashPlayer::movieStarted);
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
    QCOMPARE(ui::flash(window())->movie(), appFile(QStringLiteral("nogame.swf")));
    QCOMPARE(form2()->Flash1->movie(), appFile(QStringLiteral("flash/") + kGame));
    QVERIFY(startsRed(form2()->Flash1, started));

    // The game fills the window, and the close picture sits above it in the top right corner.
    FlashPlayer *player = form2()->Flash1;
    QCOMPARE(player->geometry(), form2()->rect());
    const QSize size = player->size();
    for (const QPoint &corner :
         {QPoint(2, 2), QPoint(size.width() - 3, size.height() - 3), QPoint(2, size.height() - 3)})
        QVERIFY2(near(shownColour(player, corner), kRed), qPrintable(shownColour(player, corner).name()));
    QWidget *close = form2()->b_exit;
    QCOMPARE(close->geometry().top(), 0);
    QCOMPARE(close->geometry().right(), form2()->width() - 1);
    QCOMPARE(form2()->childAt(close->geometry().center()), close);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), kGreen), kFrameTimeout);
}

void TestFullScreen::leavingRestartsTheGameInThePanel_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close picture") << QStringLiteral("close picture");
    QTest::newRow("window manager close") << QStringLiteral("close");
    QTest::newRow("Escape") << QStringLiteral("Escape");
}

void TestFullScreen::leavingRestartsTheGameInThePanel()
{
    QFETCH(QString, how);
    QVERIFY(playTheGame());
    QVERIFY(enterFullScreen());
    QVERIFY(QTest::qWaitForWindowActive(form2()));

    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    if (how == QLatin1String("close picture"))
        clickThroughWindow(form2()->b_exit);
    else if (how == QLatin1String("close"))
        form2()->close();
    else
        QTest::keyClick(form2()->windowHandle(), Qt::Key_Escape);
    // A key the page leaves alone comes back from it later; the player has the focus here, as it has
    // whenever full screen opens.
    QTRY_VERIFY_WITH_TIMEOUT(form2()->isHidden(), kFrameTimeout);

    QVERIFY(window()->isVisible());
    QVERIFY(ui::flash_main(window())->isVisible());
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
    QCOMPARE(ui::flash(window())->movie(), appFile(QStringLiteral("flash/") + kGame));
    QCOMPARE(form2()->Flash1->movie(), appFile(QStringLiteral("nogame.swf")));
    QVERIFY(startsRed(ui::flash(window()), started));
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kGreen), kFrameTimeout);

    // The way back in works as before.
    QVERIFY(enterFullScreen());
    QVERIFY(window()->isHidden());
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
    const QString movie = form2()->Flash1->movie();
    QSignalSpy triggered(ui::m_fullscreen(window()), &QAction::triggered);

    QWidget *active = fullScreenOpen ? static_cast<QWidget *>(form2()) : static_cast<QWidget *>(window());
    QTest::keyClick(active->windowHandle(), Qt::Key_F6);
    ui::m_fullscreen(window())->trigger();

    QCOMPARE(triggered.count(), 0);
    QCOMPARE(form2()->isVisible(), fullScreenOpen);
    QCOMPARE(window()->isVisible(), !fullScreenOpen);
    QCOMPARE(form2()->Flash1->movie(), movie);
}

void TestFullScreen::fullScreenButtonBeforeAnyGameShowsAnEmptyPlayer()
{
    QVERIFY(!ui::m_fullscreen(window())->isEnabled());
    QVERIFY(window()->loadedMovieName().isEmpty());
    window()->b_full_Click();

    QVERIFY(form2()->isVisible() && window()->isHidden());
    const QString flashFolder = appFile(QStringLiteral("flash/"));
    QCOMPARE(form2()->Flash1->movie(), flashFolder);
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(form2()->Flash1) == QColor(Qt::black), kFrameTimeout);

    clickThroughWindow(form2()->b_exit);
    QVERIFY(form2()->isHidden() && window()->isVisible());
    QCOMPARE(ui::flash(window())->movie(), flashFolder);
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
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
