#include "player/flashplayer.h"
#include "player/playerprofile.h"
#include "playertestmain.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
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
    void flushedSaveSurvivesAKillTenSecondsLater();
    // Run by the test above in a child process: plays the counter in the folder it is given, then waits.
    void playAndWaitToBeKilled();

private:
    QString savesFolder() const { return m_app->filePath(QStringLiteral("saves")); }
    // counter: startcounter.swf, or sharedcounter.swf that keeps its count under the local path "/".
    bool copyCounter(const QString &name, const QString &counter = QStringLiteral("startcounter.swf"));
    // Plays name in a fresh player of profile until its colour shows; the colour it shows.
    QColor play(PlayerProfile *profile, const QString &name);

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

QColor TestPlayerSaves::play(PlayerProfile *profile, const QString &name)
{
    FlashPlayer player(profile);
    player.resize(220, 160);
    QSignalSpy started(&player, &FlashPlayer::movieStarted);
    player.setMovie(m_app->filePath(QStringLiteral("flash/") + name));
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
    QTest::newRow("a name that is percent-encoded in the address")
        << QStringLiteral("startcounter.swf") << QStringLiteral("中文 游戏 (1).swf");
    QTest::newRow("the shared local path /") << QStringLiteral("sharedcounter.swf") << QStringLiteral("a.swf");
    QTest::newRow("the shared local path /, a Chinese name")
        << QStringLiteral("sharedcounter.swf") << QStringLiteral("存档.swf");
}

// Another movie neither sees nor clears a movie's saves, and deleting the movie's saves forgets them all.
void TestPlayerSaves::savesStayWithTheirMovie()
{
    QFETCH(QString, counter);
    QFETCH(QString, name);
    QVERIFY(copyCounter(name, counter));
    QVERIFY(copyCounter(QStringLiteral("b.swf"), counter));
    PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), savesFolder());
    QVERIFY(near(play(&profile, name), kFirst));
    QVERIFY(near(play(&profile, QStringLiteral("b.swf")), kFirst));
    QVERIFY(near(play(&profile, name), kSecond));

    QSignalSpy removed(&profile, &PlayerProfile::savesRemoved);
    profile.removeSaves(name);
    QVERIFY(removed.wait(kStartTimeout));
    QCOMPARE(removed.first().at(1).toInt(), 1);
    QVERIFY(near(play(&profile, name), kFirst));
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
