#include "base/library/gamestore.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "pixelcolours.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "swfwriter.h"
#include "widgets/picturebutton.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSlider>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0xff, 0x00);
const QColor kBlue(0x00, 0x00, 0xff);
const QColor kYellow(0xff, 0xff, 0x00);
const QColor kCyan(0x00, 0xff, 0xff);
const QColor kMagenta(0xff, 0x00, 0xff);

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kFrameTimeout = 20000;

// The game recorded first (id 1) plays red, green, blue, yellow; the second (id 2) cyan, magenta.
const QString kColours = QStringLiteral("colours.swf");
const QString kPairs = QStringLiteral("pairs.swf");

} // namespace

// Playing library games in the player panel, and the panel's buttons, driven through the main window.
class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playStartsTheGameInThePlayerPanel_data();
    void playStartsTheGameInThePlayerPanel();
    void playThatFindsNoMovieChangesNothing_data();
    void playThatFindsNoMovieChangesNothing();
    void pauseHoldsTheFrameAndPlayResumes();
    void newGamePlaysWhileThePlayPictureShows();
    void rewindAndForwardStepByFrame();
    void rewindButtonRisesUnderThePointer();
    void buttonRowIsNotCoveredByThePlayer();
    void soundControlsActOnTheGameAndAreKept_data();
    void soundControlsActOnTheGameAndAreKept();
    void qualityIsKeptPerGame();
    void keysReachTheGame_data();
    void keysReachTheGame();
    void clickOnThePortalTakesTheKeysAndClickOnTheGameGivesThemBack();

private:
    Form1 *window() const { return m_w->window.get(); }
    PlayerPanel *panel() const { return ui::flash_main(window()); }
    QString moviePath(const QString &name) const { return m_w->folder.filePath(QStringLiteral("flash/") + name); }
    bool writeMovie(const QString &name, const std::vector<uint32_t> &colours);
    int rowOf(qint64 id) const;
    void openLibraryAndSelect(qint64 id);
    void doubleClick(int row);
    bool playGame(qint64 id);
    // A click where the user would click: through the window, at the widget's centre, so that whatever lies
    // on top there receives it.
    void clickThroughWindow(QWidget *target);
    // True when the game's colour stays put while the banner shows `changes` new colours.
    bool holdsWhileTheBannerPlays(int changes);
    // The window started again with this sound in its settings file (read as the window is made).
    bool restartWithSound(const QString &volume, const QString &muted);
    // The sound as the player, the panel's control and the menu show it.
    void verifySound(int volume, bool muted);
    // The key probe (red; green once Space reached it, blue for other keys) recorded as game 3.
    bool addKeyProbe();
    // Space, typed as a user would, to whatever has the focus; true when it reached the game.
    bool spaceReachesTheGame();

    PortalServer m_server;
    std::unique_ptr<WindowUnderTest> m_w;
};

bool TestPlayback::writeMovie(const QString &name, const std::vector<uint32_t> &colours)
{
    swf::MovieSpec spec;
    spec.frameColors = colours;
    spec.frameRate = 3;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    QFile file(moviePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

int TestPlayback::rowOf(qint64 id) const
{
    const GameListModel *model = ui::game_main(window())->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->idText(row) == QString::number(id))
            return row;
    }
    return -1;
}

void TestPlayback::openLibraryAndSelect(qint64 id)
{
    window()->b_local_Click();
    const int row = rowOf(id);
    QTableView *grid = ui::game_list(window());
    const QRect cell = grid->visualRect(grid->model()->index(row, GameListModel::GameColumn));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestPlayback::doubleClick(int row)
{
    // What the window system delivers for a double-click: a click, then a press that is also a double-click.
    QTableView *grid = ui::game_list(window());
    const QPoint at = grid->visualRect(grid->model()->index(row, GameListModel::GameColumn)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
}

bool TestPlayback::playGame(qint64 id)
{
    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    openLibraryAndSelect(id);
    ui::Game_Play(window())->click();
    return started.wait(kStartTimeout) || !started.isEmpty();
}

void TestPlayback::clickThroughWindow(QWidget *target)
{
    const QPoint at = target->mapTo(window(), target->rect().center());
    QTest::mouseClick(window()->windowHandle(), Qt::LeftButton, {}, at);
}

bool TestPlayback::holdsWhileTheBannerPlays(int changes)
{
    FlashPlayer *game = ui::flash(window());
    FlashPlayer *banner = ui::gg_movie(window());
    // The last frame drawn before the page carried out the pause may reach the screen a little later.
    const auto pending = [game] {
        auto result = std::make_shared<QVariant>();
        game->view()->page()->runJavaScript(QStringLiteral("qb.pending()"),
                                            [result](const QVariant &value) { *result = value; });
        return QTest::qWaitFor([&] { return result->isValid(); }, kFrameTimeout) ? result->toInt() : -1;
    };
    if (!QTest::qWaitFor([&] { return pending() == 0; }, kFrameTimeout))
        return false;
    return holdsWhileClockMoves(game, banner, changes, kFrameTimeout);
}

void TestPlayback::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestPlayback::init()
{
    m_w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(m_w->start());
    QVERIFY(writeMovie(kColours, {0xff0000, 0x00ff00, 0x0000ff, 0xffff00}));
    QVERIFY(writeMovie(kPairs, {0x00ffff, 0xff00ff}));
    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    QVERIFY(store.insert(QStringLiteral("501"), QStringLiteral("Colours"), kColours, QStringLiteral("colours.png"),
                         QStringLiteral("Four colours")));
    QVERIFY(store.insert(QStringLiteral("502"), QStringLiteral("Pairs"), kPairs, QStringLiteral("pairs.png"),
                         QStringLiteral("Two colours")));
}

void TestPlayback::cleanup()
{
    m_w.reset();
}

void TestPlayback::playStartsTheGameInThePlayerPanel_data()
{
    QTest::addColumn<bool>("playButton");
    QTest::newRow("double-click") << false;
    QTest::newRow("Play") << true;
}

void TestPlayback::playStartsTheGameInThePlayerPanel()
{
    QFETCH(bool, playButton);
    QVERIFY(!ui::m_fullscreen(window())->isEnabled());
    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    openLibraryAndSelect(1);
    QVERIFY(ui::Game_Play(window())->isVisible());
    if (playButton)
        ui::Game_Play(window())->click();
    else
        doubleClick(rowOf(1));

    QCOMPARE(ui::flash(window())->movie(), moviePath(kColours));
    QCOMPARE(window()->loadedMovieName(), kColours);
    QVERIFY(panel()->isVisible() && ui::flash(window())->isVisible());
    QVERIFY(ui::game_main(window())->isHidden());
    QVERIFY(ui::main_main(window())->isHidden());
    QVERIFY(ui::download_main(window())->isHidden());
    QVERIFY(ui::gg_download(window())->isHidden());
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
    QVERIFY(m_w->messages.shown.isEmpty());

    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kGreen), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kBlue), kFrameTimeout);
}

void TestPlayback::playThatFindsNoMovieChangesNothing_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("warned");
    QTest::newRow("movie file removed") << QStringLiteral("remove movie") << true;
    QTest::newRow("game deleted behind the grid") << QStringLiteral("remove row") << false;
    QTest::newRow("title row") << QStringLiteral("title row") << false;
}

void TestPlayback::playThatFindsNoMovieChangesNothing()
{
    QFETCH(QString, what);
    QFETCH(bool, warned);
    QVERIFY(playGame(1));
    openLibraryAndSelect(2);
    const QString blank = ui::flash(window())->movie();
    int row = rowOf(2);
    if (what == QLatin1String("remove movie")) {
        QVERIFY(QFile::remove(moviePath(kPairs)));
    } else if (what == QLatin1String("remove row")) {
        GameStore store(m_w->folder.path());
        QVERIFY(store.open_db() && store.removeById(QStringLiteral("2")));
    } else {
        row = GameListModel::TitleRow;
    }

    doubleClick(row);
    if (warned) {
        QCOMPARE(m_w->messages.shown.size(), 1);
        QCOMPARE(m_w->messages.shown.first().first, MessageBox::Icon::Critical);
        QCOMPARE(m_w->messages.shown.first().second, QStringLiteral("The file doesn't exsit."));
    } else {
        QVERIFY(m_w->messages.shown.isEmpty());
    }
    QVERIFY(ui::game_main(window())->isVisible());
    QVERIFY(panel()->isHidden());
    QCOMPARE(ui::flash(window())->movie(), blank);
    QCOMPARE(window()->loadedMovieName(), kColours);
    QVERIFY(ui::m_fullscreen(window())->isEnabled());
}

void TestPlayback::pauseHoldsTheFrameAndPlayResumes()
{
    QVERIFY(playGame(1));
    FlashPlayer *game = ui::flash(window());
    QVERIFY(panel()->b_play->isHidden());

    clickThroughWindow(panel()->b_pause);
    QVERIFY(panel()->b_play->isVisible());
    QVERIFY(!game->isPlaying());
    QVERIFY(holdsWhileTheBannerPlays(3));

    // The play picture now lies where the pause picture was: the same click resumes.
    const QColor paused = shownColour(game);
    clickThroughWindow(panel()->b_pause);
    QVERIFY(panel()->b_play->isHidden());
    QVERIFY(game->isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(game) != paused, kFrameTimeout);
    const QColor resumed = shownColour(game);
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(game) != resumed, kFrameTimeout);
}

void TestPlayback::newGamePlaysWhileThePlayPictureShows()
{
    QVERIFY(playGame(1));
    clickThroughWindow(panel()->b_pause);
    QVERIFY(panel()->b_play->isVisible());

    clickThroughWindow(panel()->b_local);
    QVERIFY(ui::game_main(window())->isVisible());
    QVERIFY(playGame(2));
    QVERIFY(panel()->b_play->isVisible());
    QVERIFY(ui::flash(window())->isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kMagenta), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(ui::flash(window())), kCyan), kFrameTimeout);

    clickThroughWindow(panel()->b_play);
    QVERIFY(panel()->b_play->isHidden());
    QVERIFY(ui::flash(window())->isPlaying());
}

void TestPlayback::rewindAndForwardStepByFrame()
{
    QVERIFY(playGame(1));
    FlashPlayer *game = ui::flash(window());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(game), kBlue), kFrameTimeout);

    clickThroughWindow(panel()->b_rewind);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(game), kRed), kFrameTimeout);
    QVERIFY(holdsWhileTheBannerPlays(2));
    for (const QColor &next : {kGreen, kBlue, kYellow}) {
        clickThroughWindow(panel()->b_Forward);
        QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(game), next), kFrameTimeout);
    }
    QVERIFY(holdsWhileTheBannerPlays(2));
    // Neither button touches the play and pause pictures.
    QVERIFY(panel()->b_play->isHidden());
}

void TestPlayback::rewindButtonRisesUnderThePointer()
{
    QVERIFY(playGame(1));
    QWindow *handle = window()->windowHandle();
    PictureButton *rewind = panel()->b_rewind;
    // 240 and 200 twips at rest, 10 twips up and left when raised: a pixel each way.
    const QPoint rest(16, 13);
    const QPoint raised(15, 12);
    const QPoint over = rewind->mapTo(window(), rewind->rect().center());
    const QPoint away = panel()->mapTo(window(), QPoint(panel()->width() - 10, 10));
    QCOMPARE(rewind->pos(), rest);

    QTest::mouseMove(handle, over);
    QCOMPARE(rewind->pos(), raised);
    QTest::mousePress(handle, Qt::LeftButton, {}, over);
    QCOMPARE(rewind->pos(), rest);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, over);
    QCOMPARE(rewind->pos(), rest);

    // Leaving does not bring it down again; only the next press does.
    QTest::mouseMove(handle, over + QPoint(2, 2));
    QCOMPARE(rewind->pos(), raised);
    QTest::mouseMove(handle, away);
    QCOMPARE(rewind->pos(), raised);
    QTest::mousePress(handle, Qt::LeftButton, {}, over);
    QCOMPARE(rewind->pos(), rest);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, over);
    QCOMPARE(rewind->pos(), rest);
}

void TestPlayback::buttonRowIsNotCoveredByThePlayer()
{
    QVERIFY(playGame(1));
    const QRect player = ui::flash(window())->geometry();
    const auto reachable = [&](QWidget *button) {
        return !player.intersects(button->geometry()) && panel()->childAt(button->geometry().center()) == button;
    };
    for (QWidget *button : {static_cast<QWidget *>(panel()->b_rewind), static_cast<QWidget *>(panel()->b_pause),
                            static_cast<QWidget *>(panel()->b_Forward), static_cast<QWidget *>(panel()->b_full),
                            static_cast<QWidget *>(panel()->b_local)})
        QVERIFY2(reachable(button), qPrintable(button->objectName()));
    QVERIFY(!player.intersects(panel()->Text1->geometry()) && panel()->Text1->isVisible());
    QCOMPARE(panel()->Text1->text(), QStringLiteral("F6 To Full Screen"));

    panel()->b_pause_Click();
    QVERIFY(reachable(panel()->b_play));
}

bool TestPlayback::restartWithSound(const QString &volume, const QString &muted)
{
    QSettings settings(m_w->folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("sound/volume"), volume);
    settings.setValue(QStringLiteral("sound/muted"), muted);
    settings.sync();
    return m_w->restart(m_server.baseUrl());
}

void TestPlayback::verifySound(int volume, bool muted)
{
    QCOMPARE(ui::flash(window())->volume(), volume);
    QCOMPARE(ui::flash(window())->isMuted(), muted);
    QCOMPARE(panel()->volume_slider->value(), volume);
    QCOMPARE(ui::named<QAction>(window(), "m_mute")->isChecked(), muted);
}

void TestPlayback::soundControlsActOnTheGameAndAreKept_data()
{
    QTest::addColumn<QString>("stored"); // volume and muted in the settings file
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("muted");
    QTest::newRow("as stored") << QStringLiteral("35 true") << "" << false << 35 << true;
    QTest::newRow("stored above 100") << QStringLiteral("150 false") << "" << false << 100 << false;
    QTest::newRow("stored below 0") << QStringLiteral("-20 x") << "" << false << 0 << false;
    QTest::newRow("stored not a number") << QStringLiteral("loud yes") << "" << false << 100 << false;
    QTest::newRow("Ctrl+Up") << QStringLiteral("50 false") << "Ctrl+Up" << false << 60 << false;
    QTest::newRow("Ctrl+Down") << QStringLiteral("50 false") << "Ctrl+Down" << false << 40 << false;
    QTest::newRow("Ctrl+M") << QStringLiteral("50 false") << "Ctrl+M" << false << 50 << true;
    QTest::newRow("sound picture") << QStringLiteral("50 false") << "picture" << false << 50 << true;
    QTest::newRow("slider dragged to the end") << QStringLiteral("50 false") << "slider" << false << 100 << false;
    QTest::newRow("Ctrl+Up in full screen") << QStringLiteral("50 false") << "Ctrl+Up" << true << 60 << false;
    QTest::newRow("Ctrl+M in full screen") << QStringLiteral("50 false") << "Ctrl+M" << true << 50 << true;
    // Sound turned on at volume 0 comes back at the last volume heard (none stored: full).
    QTest::newRow("sound picture at 0") << QStringLiteral("0 false") << "picture" << false << 100 << false;
    QTest::newRow("Ctrl+M at 0, muted") << QStringLiteral("0 true") << "Ctrl+M" << false << 100 << false;
    QTest::newRow("down to 0, sound picture") << QStringLiteral("50 false") << "down to 0" << false << 50 << false;
}

void TestPlayback::soundControlsActOnTheGameAndAreKept()
{
    QFETCH(QString, stored);
    QFETCH(QString, action);
    QFETCH(bool, fullScreen);
    QVERIFY(restartWithSound(stored.section(QLatin1Char(' '), 0, 0), stored.section(QLatin1Char(' '), 1)));
    QVERIFY(playGame(1));
    if (fullScreen)
        ui::m_fullscreen(window())->trigger();
    QVERIFY(QTest::qWaitForWindowActive(fullScreen ? static_cast<QWidget *>(ui::form2()) : window()));
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused && ui::flash(window())->isAncestorOf(focused)); // the game has the keys
    QSlider *slider = panel()->volume_slider;
    const int y = slider->height() / 2;
    if (action == QLatin1String("picture")) {
        QTest::mouseClick(panel()->b_mute, Qt::LeftButton);
    } else if (action == QLatin1String("down to 0")) {
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(focused, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(ui::flash(window())->volume(), 0);
        QTest::mouseClick(panel()->b_mute, Qt::LeftButton);
    } else if (action == QLatin1String("slider")) {
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, y));
        QTest::mouseMove(slider, QPoint(slider->width() * 3 / 4, y));
        QTest::mouseMove(slider, QPoint(slider->width() + 20, y));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() + 20, y));
    } else if (!action.isEmpty()) {
        const Qt::Key key = action == QLatin1String("Ctrl+M")    ? Qt::Key_M
                            : action == QLatin1String("Ctrl+Up") ? Qt::Key_Up
                                                                 : Qt::Key_Down;
        QTest::keyClick(focused, key, Qt::ControlModifier);
    }
    QFETCH(int, volume);
    QFETCH(bool, muted);
    verifySound(volume, muted);
    QCOMPARE(QApplication::focusWidget(), focused); // the game keeps the keys

    QVERIFY(m_w->restart(m_server.baseUrl()));
    verifySound(volume, muted);
}

void TestPlayback::qualityIsKeptPerGame()
{
    QAction *menu = ui::named<QMenu>(window(), "mquality")->menuAction();
    QVERIFY(!menu->isEnabled()); // no game shown
    QVERIFY(playGame(1));
    QVERIFY(menu->isEnabled());
    QVERIFY(ui::named<QAction>(window(), "m_quality_high")->isChecked());
    QCOMPARE(ui::flash(window())->quality(), QStringLiteral("high"));
    ui::named<QAction>(window(), "m_quality_low")->trigger();
    QCOMPARE(ui::flash(window())->quality(), QStringLiteral("low"));

    QVERIFY(playGame(2));
    QCOMPARE(ui::flash(window())->quality(), QStringLiteral("high"));
    QVERIFY(ui::named<QAction>(window(), "m_quality_high")->isChecked());
    window()->b_local_Click();
    QVERIFY(!menu->isEnabled()); // the library shows no game

    QVERIFY(m_w->restart(m_server.baseUrl()));
    QVERIFY(playGame(1));
    QCOMPARE(ui::flash(window())->quality(), QStringLiteral("low"));
    QVERIFY(ui::named<QAction>(window(), "m_quality_low")->isChecked());
}

bool TestPlayback::addKeyProbe()
{
    const QString built = QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies/keyprobe.swf"));
    return QFile::copy(built, moviePath(QStringLiteral("keyprobe.swf"))) &&
           m_w->store().insert(QStringLiteral("503"), QStringLiteral("Keys"), QStringLiteral("keyprobe.swf"), {}, {});
}

bool TestPlayback::spaceReachesTheGame()
{
    FlashPlayer *player = ui::flash(window());
    QWidget *focused = QApplication::focusWidget();
    if (!focused || !player->isAncestorOf(focused))
        return false;
    QTest::keyClick(focused, Qt::Key_Space);
    return QTest::qWaitFor([&] { return near(shownColour(player), kGreen); }, kFrameTimeout);
}

void TestPlayback::keysReachTheGame_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path :
         {"download", "Play", "Enter", "double-click", "F6", "menu entry", "leaving full screen", "message box"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void TestPlayback::keysReachTheGame()
{
    QFETCH(QString, path);
    QVERIFY(addKeyProbe());
    QVERIFY(QTest::qWaitForWindowActive(window()));
    if (path == QLatin1String("Play") || path == QLatin1String("Enter") || path == QLatin1String("double-click")) {
        openLibraryAndSelect(3);
        if (path == QLatin1String("Play"))
            clickThroughWindow(ui::Game_Play(window()));
        else if (path == QLatin1String("Enter"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        else
            doubleClick(rowOf(3));
    } else {
        // What a finished download does; the other paths start from a game playing in the panel too.
        window()->show_player(moviePath(QStringLiteral("keyprobe.swf")), QStringLiteral("keyprobe.swf"));
    }
    QCOMPARE(window()->currentPane(), Form1::Pane::Player);
    QVERIFY(QTest::qWaitFor([&] { return near(shownColour(ui::flash(window())), kRed); }, kStartTimeout));

    if (path == QLatin1String("F6") || path == QLatin1String("leaving full screen")) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    } else if (path == QLatin1String("menu entry")) {
        ui::m_fullscreen(window())->trigger();
    } else if (path == QLatin1String("message box")) {
        // A file that is no movie dropped on the window while the game plays: the user is told, over the game.
        m_w->messages.realBoxes = true;
        QFile notes(m_w->folder.filePath(QStringLiteral("notes.swf")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("notes") == 5);
        notes.close();
        window()->addGames({notes.fileName()});
        QTRY_COMPARE(m_w->messages.shown.size(), 1);
        QCOMPARE(window()->currentPane(), Form1::Pane::Player);
        window()->activateWindow(); // as the window manager does when the box goes
    }
    if (path == QLatin1String("leaving full screen")) {
        QVERIFY(QTest::qWaitForWindowActive(ui::form2()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
    QCOMPARE(ui::form2()->isVisible(), path == QLatin1String("F6") || path == QLatin1String("menu entry"));
    QVERIFY(QTest::qWaitForWindowActive(ui::form2()->isVisible() ? static_cast<QWidget *>(ui::form2()) : window()));
    QVERIFY(spaceReachesTheGame());
}

void TestPlayback::clickOnThePortalTakesTheKeysAndClickOnTheGameGivesThemBack()
{
    QVERIFY(addKeyProbe());
    window()->show_player(moviePath(QStringLiteral("keyprobe.swf")), QStringLiteral("keyprobe.swf"));
    QVERIFY(QTest::qWaitFor([&] { return near(shownColour(ui::flash(window())), kRed); }, kStartTimeout));
    WebBrowser *portal = ui::left_web(window());
    clickThroughWindow(portal);
    QTRY_VERIFY(QApplication::focusWidget() && portal->isAncestorOf(QApplication::focusWidget()));

    clickThroughWindow(ui::flash(window()));
    QVERIFY(spaceReachesTheGame());
}

QUILLABRIX_WINDOW_TEST_MAIN(TestPlayback)
#include "tst_playback.moc"
