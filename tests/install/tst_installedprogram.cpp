#include "base/library/gamestore.h"
#include "base/portal/answers.h"
#include "portalserver.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every file and folder under root with its size and time, to tell whether anything was written there.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.filePath())
                       .arg(info.isDir() ? -1 : info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

} // namespace

// The installed program started as a user starts it: its data, the advertisements and a game acquired from the
// portal, goes to the home folder, never under the prefix (the tests run as root, who could write there).
class TestInstalledProgram : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheUsersDataInTheHomeFolder();
};

void TestInstalledProgram::keepsTheUsersDataInTheHomeFolder()
{
    const QString root = qEnvironmentVariable("QUILLABRIX_INSTALL_ROOT");
    const QString program = QDir(root).filePath(QStringLiteral("usr/bin/quillabrix"));
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    PortalServer portal;
    QVERIFY(portal.start({QStringLiteral("--games"), PortalServer::gamesFolder()}));

    // The game the portal's first card offers, as the portal describes it. The test asks outside the mode, so
    // that the portal's counts under it are the program's own.
    QNetworkAccessManager network;
    const QString page = QString::fromLatin1(testfiles::httpGet(network, portal.url(QStringLiteral("main.htm"))));
    const QRegularExpressionMatch card =
        QRegularExpression(QStringLiteral("<a class=\"game\" href=\"(game\\.asp\\?id=\\d+)\"")).match(page);
    QVERIFY2(card.hasMatch(), qPrintable(page));
    const std::optional<GameDetails> game =
        parseGameDetails(testfiles::httpGet(network, portal.url(card.captured(1))), GameDetails());
    QVERIFY(game);
    const QString movieName = game->movieFile;
    const QString pictureName = game->pictureFile;
    const QByteArray movie = testfiles::httpGet(network, QUrl(game->movieUrl));
    const QByteArray picture = testfiles::httpGet(network, QUrl(game->pictureUrl));
    QVERIFY(!movieName.isEmpty() && !pictureName.isEmpty() && !movie.isEmpty() && !picture.isEmpty());

    QTemporaryDir home, runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList before = snapshot(root);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "QUILLABRIX_APP_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.setWorkingDirectory(home.path());
    // The portal's pages under this mode click their first game once they are shown.
    run.start(program, {QStringLiteral("--server"), portal.url(QStringLiteral("mode/autoclick/")).toString()});
    QVERIFY(run.waitForStarted());

    // Both advertisements from the portal named on the command line, in the user's data folder.
    const QDir data(home.filePath(QStringLiteral(".local/share/quillabrix")));
    QTRY_VERIFY_WITH_TIMEOUT(
        data.exists(QStringLiteral("pic/gg_banner.swf")) && data.exists(QStringLiteral("pic/gg_download.swf")), 60000);

    // The clicked game: its movie and picture, whole, in the data folder, and then its row in the library there.
    // The library is only read while the program runs, as the command-line tool would.
    const QString moviePath = data.filePath(QStringLiteral("flash/") + movieName);
    const QString picturePath = data.filePath(QStringLiteral("pic/") + pictureName);
    QTRY_VERIFY_WITH_TIMEOUT(testfiles::contentOf(moviePath) == movie && testfiles::contentOf(picturePath) == picture,
                             90000);
    {
        GameStore watcher(data.path());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(watcher.dbfile()) && watcher.hasGameId(game->gameId) == true, 30000);
    }
    QCOMPARE(run.state(), QProcess::Running);
    run.terminate();
    QVERIFY(run.waitForFinished(20000));

    GameStore store(data.path());
    QVERIFY(store.open_db());
    const std::optional<QVector<GameRecord>> rows = store.gamesNewestFirst();
    QVERIFY(rows);
    QCOMPARE(rows->size(), 1);
    const GameRecord &row = rows->first();
    QCOMPARE(row.gameId, game->gameId);
    QCOMPARE(row.title, game->title);
    QCOMPARE(row.movieFile, movieName);
    QCOMPARE(row.pictureFile, pictureName);
    QCOMPARE(store.moviePath(row.movieFile), moviePath);
    // One click, one details request: the page clicks once, not again as the panes change over it.
    const QUrl asked = portal.url(QStringLiteral("stats?path=/mode/autoclick/game.asp"));
    QCOMPARE(testfiles::httpGet(network, asked), QByteArray("1"));
    QCOMPARE(snapshot(root), before);
}

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "tst_installedprogram.moc"
