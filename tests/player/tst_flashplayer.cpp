#include "player/flashplayer.h"
#include "player/playerprofile.h"
#include "playertestmain.h"
#include "swfwriter.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QColor kRed(0xff, 0x00, 0x00);
const QColor kGreen(0x00, 0xff, 0x00);
const QColor kBlue(0x00, 0x00, 0xff);
const QColor kYellow(0xff, 0xff, 0x00);
const QColor kBackground(0x33, 0x66, 0x99);

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kFrameTimeout = 20000;

} // namespace

// The player shows, pauses, steps and rewinds real movies in Ruffle, and fails quietly on bad paths.
class TestFlashPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playsEveryFrameAndLoops_data();
    void playsEveryFrameAndLoops();
    void pauseHoldsTheFrameAndResumePlaysOn();
    void rewindShowsTheFirstFrameStopped();
    void forwardStepsOneFrame_data();
    void forwardStepsOneFrame();
    void badPathShowsTheBackgroundOrSaysWhy_data();
    void badPathShowsTheBackgroundOrSaysWhy();
    void newMovieReplacesTheOldAndPlaysEvenAfterPause();
    void hiddenPlayerHasNoPageUntilShown();
    void scaleModeDecidesWhatFillsTheBorders_data();
    void scaleModeDecidesWhatFillsTheBorders();
    void settingsAfterANewMovieApplyWithoutRestartingIt();
    void rightClickMenu_data();
    void rightClickMenu();
    void profileMayEndBeforeItsPlayers();
    void keysReachTheGame_data();
    void keysReachTheGame();
    void movieBackgroundFillsItsStage_data();
    void movieBackgroundFillsItsStage();
    void deviceFontTextShowsChineseAndLatin();
    void volumeAndMuteReachEveryMovie();
    void qualityAppliesToTheRunningMovieOrTheNext_data();
    void qualityAppliesToTheRunningMovieOrTheNext();
    void movieGoesFullScreenOncePerUserAction();
    void movieReplacedWhileHiddenLeavesNoError();
    void rendererEndUnderAGame_data();
    void rendererEndUnderAGame();
    void movieSiteDecidesItsAddressAndItsFilesBeside_data();
    void movieSiteDecidesItsAddressAndItsFilesBeside();

private:
    // A test movie of the build, copied into the library's flash folder.
    QString builtTestMovie(const QString &name);
    QString writeMovie(const QString &name, const std::vector<uint32_t> &colours, double fps, bool compressed = false,
                       std::size_t padTo = 0);
    std::unique_ptr<FlashPlayer> startedPlayer(const QString &movie, const QString &background = {},
                                               const MovieSite &site = {});
    // True once the page has carried out everything asked of it so far.
    bool settled(FlashPlayer *player);
    // Does what the program does when the movie asks for full screen: the player moves into `full`, shown
    // maximized, or back into `panel`, with the keys. `asked` collects what the movie asked.
    void followFullScreen(FlashPlayer *player, QWidget *panel, QWidget *full, QList<bool> *asked);
    // Watches `player` while `control` shows `changes` new colours: true if `player` never changed.
    bool holdsWhileControlPlays(FlashPlayer *player, FlashPlayer *control, int changes);

    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<PlayerProfile> m_profile;
    QString m_rgby; // red, green, blue, yellow at 3 frames a second
};

QString TestFlashPlayer::writeMovie(const QString &name, const std::vector<uint32_t> &colours, double fps,
                                    bool compressed, std::size_t padTo)
{
    swf::MovieSpec spec;
    spec.frameColors = colours;
    spec.frameRate = fps;
    spec.compressed = compressed;
    spec.padTo = padTo;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    const QString path = m_app->filePath(QStringLiteral("flash/") + name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        return {};
    return path;
}

QString TestFlashPlayer::builtTestMovie(const QString &name)
{
    const QString built = QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies/") + name);
    const QString path = m_app->filePath(QStringLiteral("flash/") + name);
    if (!QFile::exists(path) && !QFile::copy(built, path))
        return {};
    return path;
}

std::unique_ptr<FlashPlayer> TestFlashPlayer::startedPlayer(const QString &movie, const QString &background,
                                                            const MovieSite &site)
{
    auto player = std::make_unique<FlashPlayer>(m_profile.get());
    player->resize(220, 160);
    if (!background.isEmpty())
        player->setBGColor(background);
    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    player->setMovie(movie, site);
    player->show();
    if (!started.wait(kStartTimeout) && started.isEmpty())
        return nullptr;
    return player;
}

bool TestFlashPlayer::settled(FlashPlayer *player)
{
    return QTest::qWaitFor([&] { return evaluate(player, QStringLiteral("qb.pending()")) == QVariant(0); },
                           kFrameTimeout);
}

void TestFlashPlayer::followFullScreen(FlashPlayer *player, QWidget *panel, QWidget *full, QList<bool> *asked)
{
    connect(player, &FlashPlayer::fullScreenRequested, full, [=](bool on) {
        *asked << on;
        if (on)
            full->showMaximized();
        player->setParent(on ? full : panel);
        player->show();
        player->focusGame();
        if (!on)
            full->hide();
    });
}

bool TestFlashPlayer::holdsWhileControlPlays(FlashPlayer *player, FlashPlayer *control, int changes)
{
    // The last frame drawn before the page stopped may reach the screen a little later.
    if (!settled(player))
        return false;
    return holdsWhileClockMoves(player, control, changes, kFrameTimeout);
}

void TestFlashPlayer::initTestCase()
{
    m_app = std::make_unique<TestAppFolder>();
    QVERIFY(m_app->isValid());
    QVERIFY(QDir(m_app->path()).mkpath(QStringLiteral("flash")));
    m_profile = std::make_unique<PlayerProfile>(m_app->path(), m_app->config().ruffleDir());
    m_rgby = writeMovie(QStringLiteral("rgby.swf"), {0xff0000, 0x00ff00, 0x0000ff, 0xffff00}, 3);
    QVERIFY(!m_rgby.isEmpty());
}

void TestFlashPlayer::cleanupTestCase()
{
    m_profile.reset();
}

void TestFlashPlayer::playsEveryFrameAndLoops_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<int>("padTo");
    QTest::newRow("plain") << false << 0;
    QTest::newRow("compressed") << true << 0;
    QTest::newRow("padded") << false << 300000;
    QTest::newRow("compressed and padded") << true << 300000;
}

void TestFlashPlayer::playsEveryFrameAndLoops()
{
    QFETCH(bool, compressed);
    QFETCH(int, padTo);
    const QString movie = writeMovie(QStringLiteral("variant.swf"), {0xff0000, 0x00ff00, 0x0000ff, 0xffff00}, 3,
                                     compressed, std::size_t(padTo));
    auto player = startedPlayer(movie);
    QVERIFY(player);
    for (const QColor &expected : {kGreen, kBlue, kYellow, kRed, kGreen})
        QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), expected), kFrameTimeout);
}

void TestFlashPlayer::pauseHoldsTheFrameAndResumePlaysOn()
{
    auto player = startedPlayer(m_rgby);
    auto control = startedPlayer(m_rgby);
    QVERIFY(player && control);

    player->setPlaying(false);
    QVERIFY(!player->isPlaying());
    QVERIFY(holdsWhileControlPlays(player.get(), control.get(), 3));

    const QColor paused = shownColour(player.get());
    player->setPlaying(true);
    QTRY_VERIFY_WITH_TIMEOUT(shownColour(player.get()) != paused, kFrameTimeout);
}

void TestFlashPlayer::rewindShowsTheFirstFrameStopped()
{
    auto player = startedPlayer(m_rgby);
    auto control = startedPlayer(m_rgby);
    QVERIFY(player && control);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kBlue), kFrameTimeout);

    player->Rewind();
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kRed), kFrameTimeout);
    QVERIFY(holdsWhileControlPlays(player.get(), control.get(), 2));

    // Playing again plays on from the first frame.
    player->setPlaying(true);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kGreen), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kBlue), kFrameTimeout);
}

void TestFlashPlayer::forwardStepsOneFrame_data()
{
    QTest::addColumn<bool>("pausedFirst");
    QTest::newRow("while playing") << false;
    QTest::newRow("while paused") << true;
}

void TestFlashPlayer::forwardStepsOneFrame()
{
    QFETCH(bool, pausedFirst);
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    if (pausedFirst)
        player->setPlaying(false);
    player->Rewind();
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kRed), kFrameTimeout);
    player->Forward();
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kGreen), kFrameTimeout);
    player->Forward();
    player->Forward();
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kYellow), kFrameTimeout);
}

void TestFlashPlayer::badPathShowsTheBackgroundOrSaysWhy_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QByteArray>("content"); // written to `relative` unless empty
    QTest::addColumn<bool>("refused");       // a file is there but may not be played: logged as a warning
    QTest::addColumn<QString>("reason");     // shown and signalled; none for a path that blanks the player
    QTest::newRow("missing file") << QStringLiteral("flash/none.swf") << QByteArray() << false << QString();
    QTest::newRow("not a movie") << QStringLiteral("flash/page.swf") << QByteArray("<html>not a movie</html>") << true
                                 << QStringLiteral("This file is not a Flash movie.");
    QTest::newRow("truncated movie") << QStringLiteral("flash/cut.swf") << QByteArray("FWS\x0a\xff\xff\x00\x00", 8)
                                     << false << QStringLiteral("This movie is damaged and cannot be played.");
    QTest::newRow("needs Stage3D, without WebGL")
        << QStringLiteral("flash/stage3dprobe.swf") << QByteArray() << false
        << QStringLiteral("This game needs 3D graphics, which the player cannot show with the current graphics "
                          "settings.");
    QTest::newRow("draws into bitmaps, without WebGL")
        << QStringLiteral("flash/drawprobe.swf") << QByteArray() << false
        << QStringLiteral("This game draws in a way the player cannot show with the current graphics settings.");
    QTest::newRow("calls its web page first")
        << QStringLiteral("flash/externalprobe.swf") << QByteArray() << false
        << QStringLiteral("This game needs the web page it was made for, and stopped without it.");
    QTest::newRow("the flash folder") << QStringLiteral("flash/") << QByteArray() << true << QString();
    QTest::newRow("outside the library") << QStringLiteral("flash/../outside.swf") << QByteArray() << true << QString();
    QTest::newRow("empty path") << QString() << QByteArray() << false << QString();
}

void TestFlashPlayer::badPathShowsTheBackgroundOrSaysWhy()
{
    QFETCH(QString, relative);
    QFETCH(QByteArray, content);
    QFETCH(bool, refused);
    QFETCH(QString, reason);
    if (!content.isEmpty()) {
        QFile file(m_app->filePath(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else if (relative.endsWith(QLatin1String("probe.swf"))) {
        QVERIFY(!builtTestMovie(QFileInfo(relative).fileName()).isEmpty());
    }
    // A real movie beside the bad one: a bad path must not play it.
    QVERIFY(!writeMovie(QStringLiteral("../outside.swf"), {0xff0000}, 3).isEmpty());

    auto player = startedPlayer(m_rgby, QStringLiteral("336699"));
    QVERIFY(player);
    QSignalSpy failed(player.get(), &FlashPlayer::movieFailed);
    const QString path = relative.isEmpty() ? QString() : m_app->path() + QLatin1Char('/') + relative;
    if (refused)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Movie refused: ")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^Movie refused: ")));
    player->setMovie(path);
    QCOMPARE(player->movie(), path);
    if (!reason.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kStartTimeout);
        QCOMPARE(failed.first().first().toString(), reason);
    }
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(player.get(), QStringLiteral("qb.message()")).toString(), reason, kFrameTimeout);
    QVERIFY(settled(player.get()));
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get(), QPoint(3, 3)), kBackground), kFrameTimeout);
    // No error panel or other element of Ruffle's is left on the page.
    QCOMPARE(evaluate(player.get(), QStringLiteral("document.getElementById('stage').childElementCount")).toInt(), 0);
    QCOMPARE(failed.count(), reason.isEmpty() ? 0 : 1);
}

void TestFlashPlayer::newMovieReplacesTheOldAndPlaysEvenAfterPause()
{
    const QString blue = writeMovie(QStringLiteral("blue green.swf"), {0x0000ff, 0x00ff00}, 3);
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    player->setPlaying(false);
    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    // The separators of the other platform name the same folder.
    player->setMovie(m_app->path() + QStringLiteral("\\flash\\blue green.swf"));
    QVERIFY(player->isPlaying());
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kBlue), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kGreen), kFrameTimeout);
}

void TestFlashPlayer::hiddenPlayerHasNoPageUntilShown()
{
    FlashPlayer player(m_profile.get());
    player.resize(220, 160);
    player.setBGColor(QStringLiteral("000000"));
    player.setScaleMode(FlashPlayer::ExactFit);
    player.setMenu(false);
    player.setMovie(m_rgby);
    player.setMovie(m_rgby);
    QVERIFY(!player.view());

    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.show();
    QVERIFY(player.view());
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QCOMPARE(started.count(), 1); // the last movie only
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player), kGreen), kFrameTimeout);
}

void TestFlashPlayer::scaleModeDecidesWhatFillsTheBorders_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QColor>("border");
    QTest::newRow("show all") << int(FlashPlayer::ShowAll) << QColor(Qt::black);
    QTest::newRow("exact fit") << int(FlashPlayer::ExactFit) << kRed;
}

void TestFlashPlayer::scaleModeDecidesWhatFillsTheBorders()
{
    QFETCH(int, mode);
    QFETCH(QColor, border);
    const QString red = writeMovie(QStringLiteral("red.swf"), {0xff0000}, 3);
    FlashPlayer player(m_profile.get());
    player.resize(160, 320); // much taller than the 550 x 400 stage
    player.setBGColor(QStringLiteral("000000"));
    player.setScaleMode(mode);
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(red);
    player.show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player), kRed), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player, QPoint(80, 8)), border), kFrameTimeout);
}

void TestFlashPlayer::settingsAfterANewMovieApplyWithoutRestartingIt()
{
    const QString red = writeMovie(QStringLiteral("red.swf"), {0xff0000}, 3);
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    player->resize(160, 320);
    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    // What entering full screen does: the movie, then its scale, then the colour.
    player->setMovie(red);
    player->setScaleMode(FlashPlayer::ExactFit);
    player->setBGColor(QStringLiteral("000000"));
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get(), QPoint(80, 8)), kRed), kFrameTimeout);
    QVERIFY(settled(player.get()));
    QCOMPARE(started.count(), 1);

    // Alone, a setting that changes how the movie is shown starts it again in the new way.
    player->setScaleMode(FlashPlayer::ShowAll);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get(), QPoint(80, 8)), Qt::black), kFrameTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, kStartTimeout);
}

void TestFlashPlayer::rightClickMenu_data()
{
    QTest::addColumn<bool>("menu");
    QTest::newRow("menu on") << true;
    QTest::newRow("menu off") << false;
}

void TestFlashPlayer::rightClickMenu()
{
    QFETCH(bool, menu);
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    player->setMenu(menu);
    // Settings reach the page in order with what follows; wait for this one before clicking.
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(player.get(), QStringLiteral("qb.menuEnabled()")).toBool(), menu, kFrameTimeout);

    QWidget *input = player->view()->focusProxy();
    QVERIFY(input);
    const QPoint centre(input->width() / 2, input->height() / 2);
    QTest::mouseMove(input, centre);
    QTest::mousePress(input, Qt::RightButton, {}, centre);
    QTest::mouseRelease(input, Qt::RightButton, {}, centre);

    // The page counts the user's right clicks whether or not it lets them through; Ruffle opens its menu
    // while handling the click, so once it is counted the menu is open or never will be.
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(player.get(), QStringLiteral("qb.userRightClicks()")).toInt(), 1, kFrameTimeout);
    const QString items = evaluate(player.get(), QStringLiteral("qb.openMenuItems().join(',')")).toString();
    if (menu)
        QVERIFY2(items.contains(QStringLiteral("Rewind")) && items.contains(QStringLiteral("Forward")),
                 qPrintable(items));
    else
        QCOMPARE(items, QString());
}

void TestFlashPlayer::profileMayEndBeforeItsPlayers()
{
    auto profile = std::make_unique<PlayerProfile>(m_app->path(), m_app->config().ruffleDir());
    FlashPlayer player(profile.get());
    player.resize(100, 80);
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(m_rgby);
    player.show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());

    profile.reset(); // takes the player's page along
    QVERIFY(!player.view());
    player.setMovie(m_rgby);
    player.setPlaying(false);
    player.Rewind();
    player.hide();
    player.show();
    QVERIFY(!player.view());
}

void TestFlashPlayer::keysReachTheGame_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("focusGame before the player is shown") << QStringLiteral("early");
    QTest::newRow("focusGame while the movie plays") << QStringLiteral("playing");
    QTest::newRow("the player widget given the focus") << QStringLiteral("setFocus");
}

void TestFlashPlayer::keysReachTheGame()
{
    QFETCH(QString, how);
    const QString probe = builtTestMovie(QStringLiteral("keyprobe.swf")); // red; Space turns it green
    QVERIFY(!probe.isEmpty());
    QWidget window;
    auto *elsewhere = new QLineEdit(&window);
    auto *player = new FlashPlayer(m_profile.get(), &window);
    player->setGeometry(0, 30, 220, 160);
    window.resize(220, 190);
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    player->setMovie(probe);
    if (how == QLatin1String("early")) {
        player->hide();
        player->focusGame();
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    if (how == QLatin1String("early"))
        player->show();
    else
        elsewhere->setFocus();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), kRed), kFrameTimeout);
    if (how == QLatin1String("playing"))
        player->focusGame();
    else if (how == QLatin1String("setFocus"))
        player->setFocus();
    QVERIFY(settled(player));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), kGreen), kFrameTimeout);
}

void TestFlashPlayer::movieBackgroundFillsItsStage_data()
{
    QTest::addColumn<bool>("setsBackground");
    QTest::addColumn<int>("tagsBefore"); // Ruffle tells the colour only when it comes among the first tags
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QColor>("stage");
    QTest::newRow("the movie's own colour") << true << 0 << false << kGreen;
    QTest::newRow("a movie without one") << false << 0 << false << QColor(Qt::white);
    QTest::newRow("its colour after other tags") << true << 2 << false << kGreen;
    QTest::newRow("compressed, after other tags") << true << 2 << true << kGreen;
}

// The movie's colour fills its stage, the player's colour the rest of the player, and white a stage without one.
void TestFlashPlayer::movieBackgroundFillsItsStage()
{
    QFETCH(bool, setsBackground);
    QFETCH(int, tagsBefore);
    QFETCH(bool, compressed);
    QFETCH(QColor, stage);
    swf::MovieSpec spec;
    spec.frameColors = {0xff0000};
    spec.margin = 40; // of 550 x 400; a 160-wide player shows it 11.6 pixels wide
    spec.background = 0x00ff00;
    spec.setsBackground = setsBackground;
    spec.tagsBeforeBackground = tagsBefore;
    spec.compressed = compressed;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    QFile file(m_app->filePath(QStringLiteral("flash/margin.swf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), qint64(bytes.size()));
    file.close();

    FlashPlayer player(m_profile.get());
    player.resize(160, 320); // the stage is shown 116 pixels high, from y = 102
    player.setBGColor(QStringLiteral("336699"));
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(file.fileName());
    player.show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player), kRed), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player, QPoint(4, 160)), stage), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player, QPoint(80, 8)), kBackground), kFrameTimeout);
}

// Every row of the movie names one device font, with Chinese text on the left and Latin text on the right.
void TestFlashPlayer::deviceFontTextShowsChineseAndLatin()
{
    const QStringList fonts{QStringLiteral("_sans"),  QStringLiteral("_serif"),   QStringLiteral("_typewriter"),
                            QStringLiteral("宋体"),   QStringLiteral("SimSun"),   QStringLiteral("黑体"),
                            QStringLiteral("SimHei"), QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei")};
    const QString movie = builtTestMovie(QStringLiteral("devicetext.swf"));
    QVERIFY(!movie.isEmpty());
    FlashPlayer player(m_profile.get());
    player.resize(550, 400); // the stage at its own size
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(movie);
    player.show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    const auto withoutInk = [&] {
        const QImage image = player.grab().toImage();
        QStringList missing;
        for (int row = 0; row < fonts.size(); ++row) {
            for (const int left : {10, 285}) {
                int ink = 0;
                for (int y = 4 + 40 * row; y < 40 + 40 * row; ++y)
                    for (int x = left; x < left + 255; ++x)
                        ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
                if (ink < 50)
                    missing << fonts[row] + (left == 10 ? QStringLiteral(" Chinese") : QStringLiteral(" Latin"));
            }
        }
        return missing;
    };
    QTRY_COMPARE_WITH_TIMEOUT(withoutInk(), QStringList(), kFrameTimeout);
}

void TestFlashPlayer::volumeAndMuteReachEveryMovie()
{
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    const auto ruffleVolume = [&] { // in percent
        return qRound(100 *
                      evaluate(player.get(), QStringLiteral("document.querySelector('ruffle-player').ruffle().volume"))
                          .toDouble());
    };
    player->setVolume(150);
    QCOMPARE(player->volume(), 100);
    player->setVolume(40);
    QTRY_COMPARE_WITH_TIMEOUT(ruffleVolume(), 40, kFrameTimeout);
    player->setMuted(true);
    QTRY_COMPARE_WITH_TIMEOUT(ruffleVolume(), 0, kFrameTimeout);
    QCOMPARE(player->volume(), 40);

    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    player->setMovie(writeMovie(QStringLiteral("red.swf"), {0xff0000}, 3));
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QCOMPARE(ruffleVolume(), 0);
    player->setMuted(false);
    QTRY_COMPARE_WITH_TIMEOUT(ruffleVolume(), 40, kFrameTimeout);
}

void TestFlashPlayer::qualityAppliesToTheRunningMovieOrTheNext_data()
{
    QTest::addColumn<QString>("quality");
    QTest::addColumn<QString>("running"); // the quality Ruffle's menu shows checked at once
    QTest::addColumn<QString>("next");    // and for the next movie
    QTest::newRow("low") << QStringLiteral("low") << QStringLiteral("Quality: Low") << QStringLiteral("Quality: Low");
    QTest::newRow("medium") << QStringLiteral("medium") << QStringLiteral("Quality: Medium")
                            << QStringLiteral("Quality: Medium");
    QTest::newRow("best, which the menu lacks")
        << QStringLiteral("best") << QStringLiteral("Quality: High") << QString();
    QTest::newRow("not a quality") << QStringLiteral("ultra") << QStringLiteral("Quality: High")
                                   << QStringLiteral("Quality: High");
}

void TestFlashPlayer::qualityAppliesToTheRunningMovieOrTheNext()
{
    QFETCH(QString, quality);
    QFETCH(QString, running);
    QFETCH(QString, next);
    const QString checked = QStringLiteral("qb.checkedMenuItems().filter(t => t.startsWith('Quality')).join()");
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    player->setQuality(quality);
    QCOMPARE(player->quality(), quality == QLatin1String("ultra") ? QStringLiteral("high") : quality);
    QVERIFY(settled(player.get()));
    QCOMPARE(evaluate(player.get(), checked).toString(), running);

    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    player->setMovie(m_rgby);
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QCOMPARE(evaluate(player.get(), checked).toString(), next);
}

// The program moves the player into a full-screen window when asked (as the game box does) and back again.
void TestFlashPlayer::movieGoesFullScreenOncePerUserAction()
{
    const QString probe = builtTestMovie(QStringLiteral("fullscreenprobe.swf"));
    QVERIFY(!probe.isEmpty());
    QWidget panel;
    QWidget full;
    panel.resize(220, 160);
    auto *player = new FlashPlayer(m_profile.get(), &panel);
    player->resize(220, 160);
    QList<bool> asked;
    followFullScreen(player, &panel, &full, &asked);
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    player->setMovie(probe);
    panel.show();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    const QString fullScreen = QStringLiteral("document.fullscreenElement !== null");

    player->focusGame();
    QVERIFY(settled(player));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // asks, then asks on every frame
    QTRY_COMPARE_WITH_TIMEOUT(asked, QList<bool>{true}, kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(player, fullScreen).toBool(), kFrameTimeout);
    for (const QColor &frame : {kGreen, kBlue, kGreen})
        QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), frame), kFrameTimeout);

    // The program leaves full screen on its own (Escape, its close button): the movie is told, and its asking
    // every frame changes nothing until the user acts again.
    player->setParent(&panel);
    player->show();
    full.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!evaluate(player, fullScreen).toBool(), kFrameTimeout);
    for (const QColor &frame : {kRed, kYellow, kRed, kYellow, kRed})
        QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), frame), kFrameTimeout);
    QCOMPARE(asked, QList<bool>{true});

    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    player->focusGame();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_COMPARE_WITH_TIMEOUT(asked, (QList<bool>{true, true}), kFrameTimeout);
    QVERIFY(QTest::qWaitForWindowActive(&full));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N); // the movie leaves full screen itself
    QTRY_COMPARE_WITH_TIMEOUT(asked, (QList<bool>{true, true, false}), kFrameTimeout);
}

// A playing movie replaced while its page is hidden (the portal shows a download meanwhile) leaves no
// callback of its Ruffle instance behind.
void TestFlashPlayer::movieReplacedWhileHiddenLeavesNoError()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Uncaught")));
    const QString blue = writeMovie(QStringLiteral("blue green.swf"), {0x0000ff, 0x00ff00}, 4);
    auto player = startedPlayer(m_rgby);
    QVERIFY(player);
    // The first replacement starts its Ruffle instance while the page is hidden, the second replaces that one.
    player->hide();
    player->setMovie(blue);
    const QString loaded =
        QStringLiteral("document.querySelector('ruffle-player')?.ruffle().metadata?.frameRate === 4");
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(player.get(), loaded).toBool(), kStartTimeout);
    player->show();
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kGreen), kFrameTimeout);
    player->hide();
    QSignalSpy started(player.get(), &FlashPlayer::movieStarted);
    player->setMovie(m_rgby);
    player->show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get()), kGreen), kFrameTimeout);
}

void TestFlashPlayer::rendererEndUnderAGame_data()
{
    QTest::addColumn<bool>("fullScreen");
    QTest::newRow("in its window") << false;
    QTest::newRow("in full screen, as the movie asked") << true;
}

// The renderer ends under a game the user plays (a crash, the system out of memory): the player says why the game
// went, back in its window, and the next game plays and gets the keys the last one had.
void TestFlashPlayer::rendererEndUnderAGame()
{
    QFETCH(bool, fullScreen);
    const QString fullScreenProbe = builtTestMovie(QStringLiteral("fullscreenprobe.swf"));
    const QString keyProbe = builtTestMovie(QStringLiteral("keyprobe.swf")); // red; Space turns it green
    QVERIFY(!fullScreenProbe.isEmpty() && !keyProbe.isEmpty());
    QWidget panel;
    QWidget full;
    panel.resize(220, 160);
    auto *player = new FlashPlayer(m_profile.get(), &panel);
    player->resize(220, 160);
    QList<bool> asked;
    followFullScreen(player, &panel, &full, &asked);
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    QSignalSpy failed(player, &FlashPlayer::movieFailed);
    player->setMovie(fullScreenProbe);
    panel.show();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    player->focusGame();
    QVERIFY(settled(player));
    if (fullScreen) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(player, QStringLiteral("document.fullscreenElement !== null")).toBool(),
                                 kFrameTimeout);
    }

    QSignalSpy loaded(player->view()->page(), &QWebEnginePage::loadFinished);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The player's renderer ended")));
    QCOMPARE(::kill(pid_t(player->view()->page()->renderProcessPid()), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kFrameTimeout);
    const QString reason = failed.first().first().toString();
    QCOMPARE(reason, QStringLiteral("This movie stopped with an error."));
    QCOMPARE(asked, fullScreen ? (QList<bool>{true, false}) : QList<bool>());
    QCOMPARE(player->window(), &panel);
    QTRY_VERIFY_WITH_TIMEOUT(loaded.contains(QVariantList{true}), kStartTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(player, QStringLiteral("qb.message()")).toString(), reason, kFrameTimeout);

    started.clear();
    player->setMovie(keyProbe);
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), kRed), kFrameTimeout);
    QVERIFY(settled(player));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player), kGreen), kFrameTimeout);
    QCOMPARE(failed.count(), 1);
}

void TestFlashPlayer::movieSiteDecidesItsAddressAndItsFilesBeside_data()
{
    QTest::addColumn<bool>("game");       // the movie is a game's, whose files beside it are its kept ones
    QTest::addColumn<QString>("address"); // its address on its server
    QTest::addColumn<QColor>("runsAt");   // green: a web address, blue: the player's own
    QTest::addColumn<QColor>("sibling");  // red: flash/sibling.txt was not read (green: it was)
    QTest::newRow("no game (an advertisement)") << false << QString() << kBlue << kRed;
    QTest::newRow("a game of the user's own") << true << QString() << kBlue << kRed;
    QTest::newRow("a game from a server") << true << QStringLiteral("http://127.0.0.1:9/games/a.swf") << kGreen << kRed;
    QTest::newRow("only a web address is shown") << true << QStringLiteral("file:///tmp/a.swf") << kBlue << kRed;
}

// A game's movie runs under its server address when it has one, and what it asks beside it never reaches the files
// of the flash folder (another game's movie): only what the game keeps (none here).
void TestFlashPlayer::movieSiteDecidesItsAddressAndItsFilesBeside()
{
    QFETCH(bool, game);
    QFETCH(QString, address);
    QFETCH(QColor, runsAt);
    QFETCH(QColor, sibling);
    const QString movie = builtTestMovie(QStringLiteral("addressprobe.swf"));
    QFile text(m_app->filePath(QStringLiteral("flash/sibling.txt")));
    QVERIFY(!movie.isEmpty() && text.open(QIODevice::WriteOnly) && text.write("ok") == 2);
    text.close();

    auto player = startedPlayer(movie, {}, game ? MovieSite{7, QString(), QUrl(address)} : MovieSite());
    QVERIFY(player);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get(), QPoint(110, 20)), runsAt), kFrameTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(player.get(), QPoint(110, 140)), sibling), kFrameTimeout);
}

QUILLABRIX_PLAYER_TEST_MAIN(TestFlashPlayer)
#include "tst_flashplayer.moc"
