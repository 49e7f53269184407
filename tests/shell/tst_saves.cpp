#include "base/library/gamestore.h"
#include "base/player/savesarchive.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "logcapture.h"
#include "pixelcolours.h"
#include "player/form2.h"
#include "player/playerpanel.h"
#include "player/playerprofile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <sys/stat.h>

namespace {

// The start counter shows how often it was started with its saves kept: 1 red, 2 green, 3 blue, 4+ yellow.
const QColor kFirst(0xff, 0x00, 0x00);
const QColor kSecond(0x00, 0xff, 0x00);
const QColor kThird(0x00, 0x00, 0xff);
const QColor kFourth(0xff, 0xff, 0x00);

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kFrameTimeout = 20000;

const QString kCounter = QStringLiteral("counter.swf");

} // namespace

// What a game saves lives beside the program: it outlives closing the program and full screen, goes when the
// game's movie is deleted, and a saves folder that cannot be used never keeps a game from playing.
class TestSaves : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void savesOutliveClosingTheProgramAndFullScreen();
    void deletingAGameForgetsItsSavesUnlessAnotherGameSharesTheMovie_data();
    void deletingAGameForgetsItsSavesUnlessAnotherGameSharesTheMovie();
    void unusableSavesFolderStillPlaysWithoutKeepingSaves();
    void hostileSavesFileIsReadAsideAndRefused();
    void playTimeCountsOnlyTheTimeInFront();

private:
    Form1 *window() const { return m_w->window.get(); }
    LibraryPanel *library() const { return ui::game_main(window()); }
    QString appFile(const QString &relative) const { return m_w->folder.filePath(relative); }
    // The profile every player of the window shares, found through the banner's page.
    PlayerProfile *profile() const;
    bool copyCounter();
    // Records a game of the given title that plays the start counter.
    bool addGame(const QString &title);
    int rowOf(const QString &title) const;
    void selectInLibrary(const QString &title);
    // Plays the game from the library as the user does; whether it shows the count `starts` (a colour of an
    // earlier start may linger on screen for a moment, a count never changes once shown).
    bool plays(const QString &title, int starts);
    // Whether the player shows no count but `starts` while the banner changes its colour `changes` times.
    bool showsOnlyCountWhileBannerMoves(FlashPlayer *player, int starts, int changes);
    // Whether the colour is shown at the centre and near three corners (the close picture of full screen lies
    // in the top right one).
    static bool fills(QWidget *widget, const QColor &colour);
    // Closes the window as the user does, ends the program's window and starts a new one on the same folder.
    bool restart();

    PortalServer m_server;
    std::unique_ptr<WindowUnderTest> m_w;
    int m_nextGameId = 600;
};

PlayerProfile *TestSaves::profile() const
{
    QWebEngineView *view = ui::gg_movie(window())->view();
    return view ? qobject_cast<PlayerProfile *>(view->page()->profile()->parent()) : nullptr;
}

bool TestSaves::copyCounter()
{
    const QString built =
        QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies/startcounter.swf"));
    const QString target = appFile(QStringLiteral("flash/") + kCounter);
    return QFileInfo::exists(target) || QFile::copy(built, target);
}

bool TestSaves::addGame(const QString &title)
{
    GameStore store(m_w->folder.path());
    return store.open_db() && store.insert(QString::number(m_nextGameId++), title, kCounter,
                                           QStringLiteral("counter.png"), QStringLiteral("Counts its starts"));
}

int TestSaves::rowOf(const QString &title) const
{
    const GameListModel *model = library()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->isGameRow(row) && model->index(row, GameListModel::GameColumn).data().toString() == title)
            return row;
    }
    return -1;
}

void TestSaves::selectInLibrary(const QString &title)
{
    window()->b_local_Click();
    QTableView *grid = ui::game_list(library());
    const QRect cell = grid->visualRect(grid->model()->index(rowOf(title), GameListModel::GameColumn));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

bool TestSaves::plays(const QString &title, int starts)
{
    FlashPlayer *player = ui::flash(window());
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    selectInLibrary(title);
    QTest::mouseClick(ui::Game_Play(library()), Qt::LeftButton);
    if (!started.wait(kStartTimeout) && started.isEmpty()) {
        qWarning("Game %s did not start", qPrintable(title));
        return false;
    }
    const QColor counts[] = {kFirst, kSecond, kThird, kFourth};
    QColor shown;
    if (QTest::qWaitFor([&] { return near(shown = shownColour(player), counts[starts - 1]); }, kFrameTimeout))
        return true;
    qWarning("Game %s shows %s, not the colour of %d starts", qPrintable(title), qPrintable(shown.name()), starts);
    return false;
}

bool TestSaves::showsOnlyCountWhileBannerMoves(FlashPlayer *player, int starts, int changes)
{
    const QColor counts[] = {kFirst, kSecond, kThird, kFourth};
    QWidget *banner = ui::gg_movie(window());
    QColor seen = shownColour(banner);
    int changed = 0;
    QColor wrong;
    (void)QTest::qWaitFor(
        [&] {
            const QColor shown = shownColour(player);
            for (int i = 0; i < 4; ++i) {
                if (i != starts - 1 && near(shown, counts[i]))
                    wrong = shown;
            }
            const QColor now = shownColour(banner);
            if (now != seen) {
                seen = now;
                ++changed;
            }
            return wrong.isValid() || changed >= changes;
        },
        kFrameTimeout);
    if (wrong.isValid())
        qWarning("The player showed %s", qPrintable(wrong.name()));
    return !wrong.isValid() && changed >= changes;
}

bool TestSaves::fills(QWidget *widget, const QColor &colour)
{
    const QImage shot = widget->grab().toImage();
    const int w = shot.width();
    const int h = shot.height();
    for (const QPoint &at : {QPoint(w / 2, h / 2), QPoint(2, 2), QPoint(2, h - 3), QPoint(w - 3, h - 3)}) {
        if (!near(shot.pixelColor(at), colour))
            return false;
    }
    return true;
}

bool TestSaves::restart()
{
    window()->close();
    if (!window()->isClosing())
        return false;
    m_w->window.reset();
    m_w->window = m_w->newWindow(m_w->folder.config(m_server.baseUrl()));
    return m_w->start();
}

void TestSaves::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestSaves::init()
{
    m_w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(m_w->start());
    QVERIFY(copyCounter());
    QVERIFY(addGame(QStringLiteral("Counter")));
}

void TestSaves::cleanup()
{
    m_w.reset();
}

void TestSaves::savesOutliveClosingTheProgramAndFullScreen()
{
    QVERIFY(profile() && profile()->keepsSaves());
    QVERIFY(plays(QStringLiteral("Counter"), 1));

    QVERIFY(restart());
    QVERIFY(QFileInfo(appFile(QStringLiteral("saves"))).isDir());
    QVERIFY(plays(QStringLiteral("Counter"), 2));

    // Full screen and back go on with the same start: a new one would count three.
    FlashPlayer *player = ui::flash(window());
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    QTest::keyClick(window()->windowHandle(), Qt::Key_F6);
    QVERIFY(ui::form2()->isVisible());
    QCOMPARE(ui::form2()->Flash1, player);
    QTRY_VERIFY_WITH_TIMEOUT(fills(ui::form2(), kSecond), kFrameTimeout);

    QVERIFY(QTest::qWaitForWindowActive(ui::form2()));
    QTest::keyClick(ui::form2()->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(ui::form2()->isHidden(), kFrameTimeout);
    QVERIFY(window()->isVisible());
    QCOMPARE(ui::flash(window()), player);
    // Long enough for a restart to show its count of three: the banner moves on meanwhile. A moved player may
    // show no picture for a moment, never another count.
    QVERIFY(showsOnlyCountWhileBannerMoves(player, 2, 3));
    QTRY_VERIFY_WITH_TIMEOUT(fills(player, kSecond), kFrameTimeout);
    QCOMPARE(started.count(), 0);
}

void TestSaves::deletingAGameForgetsItsSavesUnlessAnotherGameSharesTheMovie_data()
{
    QTest::addColumn<bool>("shared");
    QTest::newRow("its own movie") << false;
    QTest::newRow("movie another game plays") << true;
}

void TestSaves::deletingAGameForgetsItsSavesUnlessAnotherGameSharesTheMovie()
{
    QFETCH(bool, shared);
    if (shared)
        QVERIFY(addGame(QStringLiteral("Counter too")));
    QVERIFY(plays(QStringLiteral("Counter"), 1));
    QVERIFY(plays(QStringLiteral("Counter"), 2));
    PlayerProfile *saves = profile();
    QVERIFY(saves);
    QSignalSpy removed(saves, &PlayerProfile::savesRemoved);

    selectInLibrary(QStringLiteral("Counter"));
    QTest::mouseClick(ui::Game_Delete(library()), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(QStringLiteral("Counter")), -1, kStartTimeout);
    QCOMPARE(QFileInfo::exists(appFile(QStringLiteral("flash/") + kCounter)), shared);

    if (shared) {
        QVERIFY(plays(QStringLiteral("Counter too"), 3));
    } else {
        QVERIFY(removed.wait(kStartTimeout) || !removed.isEmpty());
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().at(0).toString(), kCounter);
        QCOMPARE(removed.first().at(1).toInt(), 1);
        // The game added again starts afresh.
        QVERIFY(copyCounter());
        QVERIFY(addGame(QStringLiteral("Counter")));
        QVERIFY(plays(QStringLiteral("Counter"), 1));
    }
    QCOMPARE(removed.count(), shared ? 0 : 1);
    QVERIFY(m_w->messages.shown.isEmpty());
}

void TestSaves::unusableSavesFolderStillPlaysWithoutKeepingSaves()
{
    window()->close();
    m_w->window.reset();
    // The engine may still be writing there for a moment after its profile went.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(appFile(QStringLiteral("saves"))).removeRecursively(), kFrameTimeout);
    QFile blocker(appFile(QStringLiteral("saves"))); // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    LogCapture log;
    m_w->window = m_w->newWindow(m_w->folder.config(m_server.baseUrl()));
    QVERIFY(m_w->start());
    const QStringList warnings = log.warnings(QStringLiteral("quillabrix.player"));
    QVERIFY2(warnings.filter(QStringLiteral("saves folder")).filter(QStringLiteral("cannot be used")).size() == 1,
             qPrintable(warnings.join(QLatin1Char('\n'))));
    QVERIFY(!profile()->keepsSaves());
    QVERIFY(plays(QStringLiteral("Counter"), 1));

    // Nothing was kept on disk: the next program starts it afresh, and the file is left as it was.
    QVERIFY(restart());
    QVERIFY(plays(QStringLiteral("Counter"), 1));
    QVERIFY(QFileInfo(appFile(QStringLiteral("saves"))).isFile());
    QVERIFY(m_w->messages.shown.isEmpty());
}

// A saves file whose manifest names one large entry hundreds of times is read while the window goes on with its
// events, and refused, saying so.
void TestSaves::hostileSavesFileIsReadAsideAndRefused()
{
    QJsonArray objects;
    for (int i = 0; i < 400; ++i)
        objects.append(QJsonObject{{QStringLiteral("file"), QStringLiteral("big.sol")},
                                   {QStringLiteral("key"), QString::number(i)}});
    const QJsonObject manifest{
        {QStringLiteral("format"), QString::fromLatin1(savesarchive::formatName)},
        {QStringLiteral("version"), savesarchive::formatVersion},
        {QStringLiteral("games"),
         QJsonArray{QJsonObject{{QStringLiteral("movie"), kCounter}, {QStringLiteral("objects"), objects}}}}};
    const QByteArray hostile =
        savesarchive::zip({{QString::fromLatin1(savesarchive::manifestName), QJsonDocument(manifest).toJson()},
                           {QStringLiteral("big.sol"), QByteArray(1024 * 1024, 'b')}});
    // The file is a pipe that gives nothing until `go`: a reader on the window's thread would stop the window
    // until the writer gives up waiting.
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("hostile saves.zip"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    std::promise<void> go;
    auto wrote = std::make_shared<std::atomic<bool>>(false);
    std::thread writer([pipe, hostile, ready = go.get_future(), wrote] {
        ready.wait_for(std::chrono::seconds(30));
        QFile file(pipe);
        if (file.open(QIODevice::WriteOnly))
            file.write(hostile);
        *wrote = true;
    });
    const auto finish = qScopeGuard([&] { *wrote ? writer.join() : writer.detach(); });
    struct Chooser : SavesFileDialogs
    {
        QString file;
        QString chooseImportFile(QWidget *) override { return file; }
    } chooser;
    chooser.file = pipe;
    library()->setSaves(profile()->saves(), &chooser);
    selectInLibrary(QStringLiteral("Counter"));

    ui::named<QAction>(window(), "m_importsaves")->trigger();
    QTest::qWait(100);
    QVERIFY(m_w->messages.shown.isEmpty());
    go.set_value();
    QTRY_COMPARE_WITH_TIMEOUT(
        m_w->messages.texts(),
        QStringList{QStringLiteral("hostile saves.zip is too large to be a file of exported saves.")}, kFrameTimeout);
}

// The time kept for a game is the time it ran in front of the user: paused or minimised adds nothing.
void TestSaves::playTimeCountsOnlyTheTimeInFront()
{
    FlashPlayer *player = ui::flash(window());
    PlayerPanel *panel = ui::flash_main(window());
    // The time in front as the player says it, from each change as it happens: on a busy machine the test
    // learns of a change later than the player makes it.
    QElapsedTimer clock;
    clock.start();
    qint64 since = -1;
    qint64 counted = 0;
    QObject watcher;
    connect(player, &FlashPlayer::inFrontChanged, &watcher, [&](bool inFront) {
        if (inFront) {
            since = clock.elapsed();
        } else if (since >= 0) {
            counted += clock.elapsed() - since;
            since = -1;
        }
    });
    QVERIFY(plays(QStringLiteral("Counter"), 1));
    QTRY_VERIFY_WITH_TIMEOUT(player->isInFront(), kStartTimeout);
    QTest::qWait(3000);
    QTest::mouseClick(panel->b_pause, Qt::LeftButton);
    QVERIFY(!player->isInFront());
    QTest::qWait(2000);

    QTest::mouseClick(panel->b_play, Qt::LeftButton);
    QVERIFY(player->isInFront());
    QTest::qWait(2000);
    window()->showMinimized();
    QTRY_VERIFY(!player->isInFront());
    QTest::qWait(2000);
    window()->showNormal();
    QTRY_VERIFY(player->isInFront());
    QTest::qWait(1000);
    window()->b_local_Click(); // the game's session ends with the library shown
    QTRY_VERIFY(!player->isInFront());

    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    const auto games = store.gamesNewestFirst();
    QVERIFY(games && games->size() == 1);
    const GameRecord *game = &games->first();
    QVERIFY2(qAbs(game->playSeconds * 1000 - counted) <= 1500,
             qPrintable(QStringLiteral("kept %1 s, in front %2 ms").arg(game->playSeconds).arg(counted)));
    QCOMPARE(game->lastSessionSeconds, game->playSeconds);
}

QUILLABRIX_WINDOW_TEST_MAIN(TestSaves)
#include "tst_saves.moc"
