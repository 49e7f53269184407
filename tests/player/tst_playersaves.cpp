#include "base/library/library.h"
#include "base/player/savekeeper.h"
#include "base/player/savesarchive.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "player/flashplayer.h"
#include "player/playerprofile.h"
#include "playertestmain.h"
#include "recordingmessagebox.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include <signal.h>

namespace {

// The start counter shows its count of starts: 1 red, 2 green, 3 blue, 4 and more yellow.
const QColor kFirst(0xff, 0x00, 0x00);
const QColor kSecond(0x00, 0xff, 0x00);
const QColor kThird(0x00, 0x00, 0xff);

constexpr int kStartTimeout = 60000;
constexpr int kFrameTimeout = 20000;

} // namespace

// What games save with shared objects stays in the saves folder across restarts of the profile, is forgotten
// per movie on request, and a saves folder that cannot be used never stops a game from playing.
class TestPlayerSaves : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void savesOutliveTheProfile();
    void removedSavesAreForgottenForThatMovieOnly();
    void savesStayWithTheirMovie_data();
    void savesStayWithTheirMovie();
    void unusableSavesFolderStillPlays();
    void exportedSavesComeBackInAFreshLibrary();
    void deletingAGameAsksWhetherToKeepItsSaves_data();
    void deletingAGameAsksWhetherToKeepItsSaves();
    void flushedSaveSurvivesAKillTenSecondsLater();
    // Run by the test above in a child process: plays the counter in the folder it is given, then waits.
    void playAndWaitToBeKilled();

private:
    QString savesFolder() const { return m_app->filePath(QStringLiteral("saves")); }
    // counter: startcounter.swf, or sharedcounter.swf that keeps its count under the local path "/".
    bool copyCounter(const QString &name, const QString &counter = QStringLiteral("startcounter.swf"));
    // Plays name in a fresh player of profile until its colour shows; the colour it shows.
    QColor play(PlayerProfile *profile, const QString &name, const MovieSite &site = {});

    std::unique_ptr<TestAppFolder> m_app;
};

void TestPlayerSaves::init()
{
    m_app = std::make_unique<TestAppFolder>();
    QVERIFY(QDir(m_app->path()).mkpath(QStringLiteral("flash")));
    QVERIFY(copyCounter(QStringLiteral("counter.swf")));
}

bool TestPlayerSaves::copyCounter(const QString &name, const QString &counter)
{
    const QString built = QDir(QString::fromLocal8Bit(qgetenv("QUILLABRIX_APP_DIR")))
                              .filePath(QStringLiteral("../testmovies/") + counter);
    return QFile::copy(built, m_app->filePath(QStringLiteral("flash/") + name));
}

QColor TestPlayerSaves::play(PlayerProfile *profile, const QString &name, const MovieSite &site)
{
    FlashPlayer player(profile);
    player.resize(220, 160);
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(m_app->filePath(QStringLiteral("flash/") + name), site);
    player.show();
    if (!started.wait(kStartTimeout) && started.isEmpty())
        return {};
    QColor colour;
    (void)QTest::qWaitFor(
        [&] {
            colour = shownColour(&player);
            return near(colour, kFirst) || near(colour, kSecond) || near(colour, kThird);
        },
        kFrameTimeout);
    return colour;
}

void TestPlayerSaves::savesOutliveTheProfile()
{
    {
        PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
        QVERIFY(profile.keepsSaves());
        QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kFirst));
    }
    PlayerProfile again(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(near(play(&again, QStringLiteral("counter.swf")), kSecond));
    QVERIFY(near(play(&again, QStringLiteral("counter.swf")), kThird));
}

void TestPlayerSaves::removedSavesAreForgottenForThatMovieOnly()
{
    QVERIFY(copyCounter(QStringLiteral("other.swf")));
    PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("other.swf")), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("other.swf")), kSecond));

    QSignalSpy removed(&profile, &PlayerProfile::savesRemoved);
    profile.spareSaves(QStringLiteral("other.swf"), true); // the user keeps them as the game goes
    profile.removeSaves(QStringLiteral("other.swf"));
    QVERIFY(removed.wait(kStartTimeout) || !removed.isEmpty());
    QCOMPARE(removed.takeFirst().at(1).toInt(), 0);
    profile.spareSaves(QStringLiteral("other.swf"), false);
    profile.removeSaves(QStringLiteral("other.swf"));
    QVERIFY(removed.wait(kStartTimeout));
    QCOMPARE(removed.first().at(1).toInt(), 1);
    QVERIFY(near(play(&profile, QStringLiteral("other.swf")), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kSecond));
}

void TestPlayerSaves::savesStayWithTheirMovie_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fromServer"); // the movie runs under its server address from its second play on
    QTest::newRow("a name that is percent-encoded in the address")
        << QStringLiteral("startcounter.swf") << QStringLiteral("中文 游戏 (1).swf") << false;
    QTest::newRow("the shared local path /") << QStringLiteral("sharedcounter.swf") << QStringLiteral("a.swf") << false;
    QTest::newRow("the shared local path /, a Chinese name")
        << QStringLiteral("sharedcounter.swf") << QStringLiteral("存档.swf") << false;
    QTest::newRow("under its server address") << QStringLiteral("startcounter.swf") << QStringLiteral("c.swf") << true;
    QTest::newRow("under its server address, the shared local path /")
        << QStringLiteral("sharedcounter.swf") << QStringLiteral("c.swf") << true;
}

// Another movie neither sees nor clears a movie's saves, and deleting the movie's saves forgets them all.
void TestPlayerSaves::savesStayWithTheirMovie()
{
    QFETCH(QString, counter);
    QFETCH(QString, name);
    QFETCH(bool, fromServer);
    // What it saved before it ran under its server address is found there, and goes with its file.
    const MovieSite site =
        fromServer ? MovieSite{1, QString(), QUrl(QStringLiteral("http://127.0.0.1:9/games/") + name)} : MovieSite();
    QVERIFY(copyCounter(name, counter));
    QVERIFY(copyCounter(QStringLiteral("b.swf"), counter));
    PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(near(play(&profile, name), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("b.swf")), kFirst));
    QVERIFY(near(play(&profile, name, site), kSecond));

    QSignalSpy removed(&profile, &PlayerProfile::savesRemoved);
    profile.removeSaves(name);
    QVERIFY(removed.wait(kStartTimeout));
    QCOMPARE(removed.first().at(1).toInt(), 1);
    QVERIFY(near(play(&profile, name, site), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("b.swf")), kSecond));
}

void TestPlayerSaves::unusableSavesFolderStillPlays()
{
    QFile blocker(savesFolder()); // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The saves folder .* cannot be used")));
    PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(!profile.keepsSaves());
    QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kFirst));
}

// A game's saves exported from one library (alone, or with every game's as a backup) and imported into a fresh
// one are what the game finds there; a game that has saves already keeps them unless the user agrees to replace them.
void TestPlayerSaves::exportedSavesComeBackInAFreshLibrary()
{
    QTemporaryDir carried;
    const QString file = carried.filePath(QStringLiteral("counter saves.zip"));
    const QString backup = carried.filePath(QStringLiteral("all saves.zip"));
    const SaveKeeper::Game game{QStringLiteral("counter.swf"), QStringLiteral("12"), QStringLiteral("Counter")};
    SaveKeeper::Result result;
    bool done = false;
    const auto finished = [&](const SaveKeeper::Result &r) {
        result = r;
        done = true;
    };
    {
        PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
        QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kFirst));
        QVERIFY(near(play(&profile, QStringLiteral("counter.swf")), kSecond));
        profile.saves()->exportSaves({game}, false, file, this, finished);
        QVERIFY(QTest::qWaitFor([&] { return done; }, kStartTimeout));
        QCOMPARE(result.outcome, SaveKeeper::Outcome::Done);
        done = false; // and the whole library's, as a backup
        profile.saves()->exportSaves({game}, true, backup, this, finished);
        QVERIFY(QTest::qWaitFor([&] { return done; }, kStartTimeout));
        QCOMPARE(result.outcome, SaveKeeper::Outcome::Done);
    }
    // What Ruffle keeps is the .sol file itself, as Flash wrote it.
    QFile exported(file);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const savesarchive::ReadResult archive = savesarchive::read(exported.readAll());
    QCOMPARE(archive.problem, savesarchive::Problem::None);
    QCOMPARE(archive.games.size(), 1);
    QCOMPARE(archive.games.first().objects.size(), 1);
    const QByteArray sol = archive.games.first().objects.first().data;
    QVERIFY2(sol.startsWith(QByteArray("\x00\xbf", 2)) && sol.mid(6, 4) == "TCSO", sol.left(16).toHex().constData());

    m_app = std::make_unique<TestAppFolder>();
    QVERIFY(QDir(m_app->path()).mkpath(QStringLiteral("flash")));
    QVERIFY(copyCounter(QStringLiteral("counter.swf")));
    PlayerProfile fresh(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QList<int> asked;
    const auto answer = [&](bool replace) {
        return [&asked, replace](int existing) {
            asked.append(existing);
            return replace;
        };
    };
    done = false;
    fresh.saves()->importSaves(game, backup, this, answer(true), finished);
    QVERIFY(QTest::qWaitFor([&] { return done; }, kStartTimeout));
    QCOMPARE(result.outcome, SaveKeeper::Outcome::Done);
    QVERIFY(asked.isEmpty());
    QVERIFY(near(play(&fresh, QStringLiteral("counter.swf")), kThird));

    done = false;
    fresh.saves()->importSaves(game, file, this, answer(false), finished);
    QVERIFY(QTest::qWaitFor([&] { return done; }, kStartTimeout));
    QCOMPARE(result.outcome, SaveKeeper::Outcome::Declined);
    QCOMPARE(asked, QList<int>{1});
}

void TestPlayerSaves::deletingAGameAsksWhetherToKeepItsSaves_data()
{
    QTest::addColumn<bool>("forget");
    QTest::addColumn<QColor>("afterwards");
    QTest::newRow("kept: they come back with the game") << false << kThird;
    QTest::newRow("deleted with the game") << true << kFirst;
}

void TestPlayerSaves::deletingAGameAsksWhetherToKeepItsSaves()
{
    QFETCH(bool, forget);
    QFETCH(QColor, afterwards);
    m_app = std::make_unique<TestAppFolder>(TestAppFolder::WithLibrary);
    QVERIFY(QDir(m_app->path()).mkpath(QStringLiteral("flash")));
    Library library(m_app->path());
    PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    connect(&library, &Library::movieGone, &profile, &PlayerProfile::removeSaves); // as the window does
    RecordingMessageBox messages;
    LibraryPanel panel(&library, &messages, m_app->filePath(QStringLiteral("no.gif")));
    panel.setSaves(profile.saves());
    panel.show();
    const AcquiredGame counter{
        QStringLiteral("12"), QStringLiteral("Counter"), QStringLiteral("counter.swf"), {}, {}, {}};
    const auto acquire = [&] {
        return copyCounter(counter.movieFile) && library.recordAcquired(counter).status == Recording::Status::Recorded;
    };
    QVERIFY(acquire());
    QVERIFY(near(play(&profile, counter.movieFile), kFirst));
    QVERIFY(near(play(&profile, counter.movieFile), kSecond));

    panel.reload();
    panel.findChild<QTableView *>(QStringLiteral("game_list"))
        ->setCurrentIndex(panel.model()->index(GameListModel::TitleRow + 1, 0));
    panel.game_list_Click();
    messages.answer = forget;
    QSignalSpy removed(&library, &Library::gameRemoved);
    QSignalSpy forgotten(&profile, &PlayerProfile::savesRemoved);
    QTest::mouseClick(panel.findChild<QPushButton *>(QStringLiteral("Game_Delete")), Qt::LeftButton);
    QVERIFY(removed.wait(kStartTimeout) || !removed.isEmpty());
    QCOMPARE(messages.asked.size(), 1);
    if (forget)
        QVERIFY(forgotten.wait(kStartTimeout) || !forgotten.isEmpty());
    else
        QCOMPARE(forgotten.size(), 0); // the library keeps them: nothing is asked to forget them

    QVERIFY(acquire());
    QVERIFY(near(play(&profile, counter.movieFile), afterwards));
}

void TestPlayerSaves::flushedSaveSurvivesAKillTenSecondsLater()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLABRIX_SAVES_CHILD_FOLDER"), m_app->path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("playAndWaitToBeKilled")});
    QVERIFY(child.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [&] { return child.readAllStandardOutput().contains("counted") || child.state() == QProcess::NotRunning; },
        kStartTimeout * 2));
    QCOMPARE(child.state(), QProcess::Running);
    QTest::qWait(10000); // the promise: a flushed save is on disk within ten seconds
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());

    PlayerProfile again(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(near(play(&again, QStringLiteral("counter.swf")), kSecond));
}

void TestPlayerSaves::playAndWaitToBeKilled()
{
    const QString folder = qEnvironmentVariable("QUILLABRIX_SAVES_CHILD_FOLDER");
    if (folder.isEmpty())
        QSKIP("run by flushedSaveSurvivesAKillTenSecondsLater in a process of its own");
    PlayerProfile profile(folder, m_app->config().ruffleDir(), QDir(folder).filePath(QStringLiteral("saves")));
    FlashPlayer player(&profile);
    player.resize(220, 160);
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(QDir(folder).filePath(QStringLiteral("flash/counter.swf")));
    player.show();
    QVERIFY(started.wait(kStartTimeout) || !started.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(shownColour(&player), kFirst), kFrameTimeout);
    std::fputs("counted\n", stdout);
    std::fflush(stdout);
    QTest::qWait(600000); // until killed
}

QUILLABRIX_PLAYER_TEST_MAIN(TestPlayerSaves)
#include "tst_playersaves.moc"
