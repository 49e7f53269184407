#include "base/library/gamestore.h"
#include "sqlciphercli.h"
#include "testappfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString key = QStringLiteral("73925016");

QString libraryIn(const TestAppFolder &app)
{
    return app.filePath(GameStore::fileName());
}

// A library made by the store itself, holding the given number of games with long descriptions, so that
// it spans many pages.
void fillLibrary(const QString &path, int games)
{
    const SqlCipherCli cli = SqlCipherCli::run(
        path, QStringLiteral("INSERT INTO data (gameid, gamename, game, gamepic, gamedesc)"
                             " WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1)"
                             " SELECT 100 + x, 'Game ' || x, 'g' || x || '.swf', 'g' || x || '.png',"
                             " hex(randomblob(300)) FROM c;\n")
                  .arg(games));
    QVERIFY2(cli.err.isEmpty(), qPrintable(cli.err));
}

} // namespace

// The encrypted library file: what it stores, how it is found, and which files it refuses to touch.
class TestGameStore : public QObject
{
    Q_OBJECT

private slots:
    void missingLibraryIsCreatedAndReadableOnlyWithTheKey();
    void deliveredLibraryIsEmpty();
    void textsAreStoredExactlyAsSent_data();
    void textsAreStoredExactlyAsSent();
    void gamesComeNewestFirstAndIdsAreNeverReused();
    void sameGameIdIsRecordedOnce();
    void movieDigestsLiveBesideTheRowsAndGoWithThem();
    void starsAndPlayTimeAreKeptRepairedAndGoWithTheGame();
    void originAndKeptFilesLiveBesideTheRowAndGoWithIt();
    void identifiersThatAreNoWholeNumbersFindNothing_data();
    void identifiersThatAreNoWholeNumbersFindNothing();
    void unusableFileIsLeftUntouched_data();
    void unusableFileIsLeftUntouched();
    void interruptedWriteLeavesTheLibraryWhole();
    void makeLibraryToolNeverTouchesAnExistingFile();
};

void TestGameStore::missingLibraryIsCreatedAndReadableOnlyWithTheKey()
{
    TestAppFolder app;
    GameStore store(app.path());
    QVERIFY(!QFileInfo::exists(libraryIn(app)));
    QVERIFY(store.open_db());
    QVERIFY(QFileInfo(libraryIn(app)).isFile());
    QCOMPARE(store.count(), std::optional<qint64>(0));
    QVERIFY(store.insert(QStringLiteral("12"), QStringLiteral("俄罗斯方块"), QStringLiteral("tetris.swf"),
                         QStringLiteral("tetris.jpg"), QStringLiteral("经典#39;游戏")));
    // Nothing is left beside the library: no staging file, no journal.
    QCOMPARE(QDir(app.path()).entryList({QStringLiteral("*QuillabrixGame*")}, QDir::Files | QDir::Hidden),
             QStringList{GameStore::fileName()});

    const SqlCipherCli withKey =
        SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT gameid, gamename, gamedesc FROM data;\n"));
    QCOMPARE(withKey.err, QString());
    QCOMPARE(withKey.out.trimmed(), QStringLiteral("12|俄罗斯方块|经典#39;游戏"));

    const SqlCipherCli withoutKey =
        SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT gamename FROM data;\n"), QString());
    QVERIFY(withoutKey.err.contains(QLatin1String("file is encrypted or is not a database")));
    QVERIFY(!withoutKey.out.contains(QStringLiteral("俄罗斯方块")));

    const SqlCipherCli wrongKey =
        SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT gamename FROM data;\n"), QStringLiteral("73925017"));
    QVERIFY(wrongKey.err.contains(QLatin1String("file is encrypted or is not a database")));
}

void TestGameStore::deliveredLibraryIsEmpty()
{
    TestAppFolder app(TestAppFolder::WithLibrary);
    QVERIFY2(QFileInfo::exists(libraryIn(app)), "the build delivers an empty library");
    const QByteArray delivered = SqlCipherCli::bytesOf(libraryIn(app));
    GameStore store(app.path());
    QVERIFY(store.open_db());
    QCOMPARE(store.count(), std::optional<qint64>(0));
    QCOMPARE(SqlCipherCli::bytesOf(libraryIn(app)), delivered);
}

void TestGameStore::textsAreStoredExactlyAsSent_data()
{
    QTest::addColumn<QString>("gamename");
    QTest::addColumn<QString>("gamedesc");

    QTest::newRow("chinese") << QStringLiteral("连连看") << QStringLiteral("经典的连连看游戏，考验你的眼力。");
    QTest::newRow("server codes") << QStringLiteral("Bob#39;s #34;Run#34;")
                                  << QStringLiteral("It#39;s #34;fast#34; #39;#39;");
    QTest::newRow("raw apostrophe and quote") << QStringLiteral("Bob's") << QStringLiteral("say \"hi\"'); --");
    QTest::newRow("empty texts") << QString() << QString();
    QTest::newRow("long description") << QStringLiteral("Long") << QString(20000, QChar(0x6E38));
    QTest::newRow("markup and line breaks") << QStringLiteral("<b>bold</b>") << QStringLiteral("a\nb\r\nc\t%s");
}

void TestGameStore::textsAreStoredExactlyAsSent()
{
    QFETCH(QString, gamename);
    QFETCH(QString, gamedesc);
    TestAppFolder app;
    {
        GameStore store(app.path());
        QVERIFY(store.open_db());
        QVERIFY(store.insert(QStringLiteral("5"), gamename, QStringLiteral("a b's.swf"), QStringLiteral("图.png"),
                             gamedesc));
    }
    // A second store reads what the first wrote, through a fresh connection.
    GameStore store(app.path());
    QVERIFY(store.open_db());
    const std::optional<QVector<GameRecord>> games = store.gamesNewestFirst();
    QVERIFY(games);
    QCOMPARE(games->size(), 1);
    const std::optional<GameRecord> game = store.gameById(QString::number(games->at(0).id));
    QVERIFY(game);
    QCOMPARE(game->gameId, QStringLiteral("5"));
    QCOMPARE(game->title, gamename);
    QCOMPARE(game->movieFile, QStringLiteral("a b's.swf"));
    QCOMPARE(game->pictureFile, QStringLiteral("图.png"));
    QCOMPARE(game->description, gamedesc);
    QCOMPARE(games->at(0).description, gamedesc);
}

void TestGameStore::gamesComeNewestFirstAndIdsAreNeverReused()
{
    TestAppFolder app;
    GameStore store(app.path());
    QVERIFY(store.open_db());
    for (const char *gameId : {"30", "10", "20"})
        QVERIFY(store.insert(QLatin1String(gameId), QLatin1String(gameId), QString(), QString(), QString()));
    std::optional<QVector<GameRecord>> games = store.gamesNewestFirst();
    QVERIFY(games);
    QCOMPARE(games->size(), 3);
    QCOMPARE(games->at(0).gameId, QStringLiteral("20"));
    QCOMPARE(games->at(2).gameId, QStringLiteral("30"));
    const qint64 newest = games->at(0).id;
    QVERIFY(games->at(0).id > games->at(1).id && games->at(1).id > games->at(2).id);

    // The newest game deleted and another recorded: the new one still sorts first, with a new id.
    QVERIFY(store.removeById(QString::number(newest)));
    QVERIFY(store.open_db());
    QVERIFY(store.insert(QStringLiteral("40"), QStringLiteral("40"), QString(), QString(), QString()));
    games = store.gamesNewestFirst();
    QVERIFY(games);
    QCOMPARE(games->size(), 3);
    QCOMPARE(games->at(0).gameId, QStringLiteral("40"));
    QVERIFY(games->at(0).id > newest);
    QVERIFY(!store.gameById(QString::number(newest)));
}

void TestGameStore::sameGameIdIsRecordedOnce()
{
    TestAppFolder app;
    GameStore store(app.path());
    // What a completed download does each time: record the game unless its identifier is known.
    auto recordDownload = [&store](const QString &gameId) {
        if (!store.open_db())
            return false;
        const std::optional<bool> known = store.hasGameId(gameId);
        return known && (*known || store.insert(gameId, QStringLiteral("Snake"), QStringLiteral("snake.swf"),
                                                QStringLiteral("snake.gif"), QString()));
    };
    QVERIFY(recordDownload(QStringLiteral("7")));
    QVERIFY(recordDownload(QStringLiteral("7")));
    // Identifiers are numbers: the same number written otherwise is the same game.
    QVERIFY(recordDownload(QStringLiteral("007")));
    QCOMPARE(store.count(), std::optional<qint64>(1));
    QCOMPARE(store.hasGameId(QStringLiteral("7")), std::optional<bool>(true));
    QCOMPARE(store.hasGameId(QStringLiteral("70")), std::optional<bool>(false));
    QVERIFY(recordDownload(QStringLiteral("70")));
    QCOMPARE(store.count(), std::optional<qint64>(2));
}

void TestGameStore::movieDigestsLiveBesideTheRowsAndGoWithThem()
{
    TestAppFolder app;
    {
        GameStore store(app.path());
        QVERIFY(store.insert(QStringLiteral("7"), QStringLiteral("Snake"), QStringLiteral("snake.swf"), QString(), {}));
    }
    // A library made before digests were kept: the table comes at the next opening, table data stays as it was.
    QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("DROP TABLE moviehash;\n")).err, QString());
    GameStore store(app.path());
    QVERIFY(store.open_db());
    QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT count(*) FROM moviehash;\n")).out.trimmed(),
             QStringLiteral("0"));
    const qint64 id = *store.idOfGameId(QStringLiteral("7"));
    const MovieDigest first{3, QByteArray(32, 'a')};
    const MovieDigest second{4, QByteArray(32, 'b')};
    // Only recorded games keep one; a first digest never replaces one kept meanwhile.
    QCOMPARE(store.setMovieDigests({{id, first}, {id + 1, first}}, GameStore::DigestWrite::IfMissing), 1);
    QCOMPARE(store.setMovieDigests({{id, second}}, GameStore::DigestWrite::IfMissing), 0);
    QCOMPARE(store.movieDigest(id), std::optional<MovieDigest>(first));
    QCOMPARE(store.setMovieDigests({{id, second}}, GameStore::DigestWrite::Replace), 1);
    QCOMPARE(store.movieDigests()->value(id), second);
    QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT size, sha256 FROM moviehash;\n")).out.trimmed(),
             QStringLiteral("4|") + QString::fromLatin1(second.sha256.toHex()));
    QVERIFY(store.removeById(id));
    QVERIFY(!store.movieDigest(id));
    QCOMPARE(store.movieDigests()->size(), 0);
}

void TestGameStore::originAndKeptFilesLiveBesideTheRowAndGoWithIt()
{
    TestAppFolder app;
    GameStore store(app.path());
    const qint64 id = *store.insertGame(QStringLiteral("7"), QStringLiteral("Maze"), QStringLiteral("m.swf"), {}, {});
    const QString origin = QStringLiteral("http://127.0.0.1:8080/files/m.swf");
    const KeptFile level{QStringLiteral("files/levels/1.txt"), 3, QByteArray(32, '\0')};
    const KeptFile picture{QStringLiteral("files/a.png"), 5, QByteArray(32, '\xff')};
    QVERIFY(store.setGameOrigin(id, origin));
    for (const KeptFile &file : {level, picture, KeptFile{level.path, 4, QByteArray(32, 'x')}})
        QVERIFY(store.recordKeptFile(id, file));
    // Only a recorded game keeps them, and only under a path that stays inside its folder.
    QVERIFY(!store.setGameOrigin(id + 1, origin));
    QVERIFY(!store.recordKeptFile(id + 1, level));
    for (const char *path : {"", "../x", "a/../../x", "/etc/passwd", "a//b", "a/"})
        QVERIFY2(!store.recordKeptFile(id, KeptFile{QString::fromLatin1(path), 1, QByteArray(32, 'a')}), path);

    GameStore reopened(app.path());
    QCOMPARE(reopened.gameOrigin(id), std::optional<QString>(origin));
    const QVector<KeptFile> kept = reopened.allKeptFiles()->value(id);
    QCOMPARE(kept.size(), 2);
    QCOMPARE((QStringList{kept.at(0).path, kept.at(1).path}), (QStringList{picture.path, level.path}));
    QCOMPARE(kept.at(0).sha256, picture.sha256);
    QCOMPARE(kept.at(1).size, 4);
    QVERIFY(reopened.forgetKeptFiles(id, picture.path));
    QCOMPARE(reopened.keptFiles(id)->size(), 1);
    QVERIFY(reopened.removeById(id));
    QCOMPARE(reopened.gameOrigin(id), std::optional<QString>(QString()));
    QCOMPARE(reopened.allKeptFiles()->size(), 0);
}

void TestGameStore::starsAndPlayTimeAreKeptRepairedAndGoWithTheGame()
{
    TestAppFolder app;
    {
        GameStore store(app.path());
        QVERIFY(store.insert(QStringLiteral("7"), QStringLiteral("Snake"), QStringLiteral("snake.swf"), QString(), {}));
    }
    // A library made before stars and play time were kept gets their tables at its next opening.
    QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("DROP TABLE favourite; DROP TABLE playtime;\n")).err,
             QString());
    GameStore store(app.path());
    QVERIFY(store.open_db());
    const qint64 id = *store.idOfGameId(QStringLiteral("7"));
    QVERIFY(store.setFavourite(id, true));
    QVERIFY(!store.setFavourite(id + 1, true));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(store.addPlayTime(id, 50, 50, now));
    QVERIFY(store.addPlayTime(id, 10, 60, now));
    QVERIFY(store.addPlayTime(id, 5, 5, now)); // a new session
    GameRecord game = *store.gameById(id);
    QCOMPARE(game.favourite, true);
    QCOMPARE(game.playSeconds, 65);
    QCOMPARE(game.lastSessionSeconds, 5);

    // Stored values nobody could have played are repaired when read, and what is added goes onto the repaired time.
    const auto stored = [&](const QString &seconds, const QString &session, const QString &since) {
        QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("UPDATE playtime SET seconds = %1, last_session = %2,"
                                                                  " since = %3;\n")
                                                       .arg(seconds, session, since))
                     .err,
                 QString());
        QVERIFY(store.open_db());
        game = *store.gameById(id);
    };
    stored(QStringLiteral("-40"), QStringLiteral("-1"), QString::number(now - 100));
    QCOMPARE(game.playSeconds, 0);
    QCOMPARE(game.lastSessionSeconds, 0);
    stored(QStringLiteral("9000000000000"), QStringLiteral("9000000000000"), QString::number(now - 100));
    QVERIFY2(game.playSeconds >= 160 && game.playSeconds <= 170, qPrintable(QString::number(game.playSeconds)));
    QCOMPARE(game.lastSessionSeconds, game.playSeconds);
    stored(QStringLiteral("9000000000000"), QStringLiteral("7"), QStringLiteral("0"));
    QCOMPARE(game.playSeconds, GameStore::maxPlaySeconds);
    stored(QStringLiteral("-5"), QStringLiteral("0"), QString::number(now - 100));
    QVERIFY(store.addPlayTime(id, 3, 3, now));
    QCOMPARE(store.gameById(id)->playSeconds, 3);

    QVERIFY(store.setFavourite(id, false));
    QCOMPARE(store.gameById(id)->favourite, false);
    QVERIFY(store.setFavourite(id, true));
    QVERIFY(store.removeById(id));
    QCOMPARE(SqlCipherCli::run(libraryIn(app), QStringLiteral("SELECT (SELECT count(*) FROM favourite) || ','"
                                                              " || (SELECT count(*) FROM playtime);\n"))
                 .out.trimmed(),
             QStringLiteral("0,0"));
}

void TestGameStore::identifiersThatAreNoWholeNumbersFindNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("title row") << QStringLiteral("ID");
    QTest::newRow("empty") << QString();
    QTest::newRow("injection") << QStringLiteral("1 or 1=1");
    QTest::newRow("fraction") << QStringLiteral("1.5");
    QTest::newRow("too large") << QStringLiteral("99999999999999999999");
}

void TestGameStore::identifiersThatAreNoWholeNumbersFindNothing()
{
    QFETCH(QString, text);
    TestAppFolder app;
    GameStore store(app.path());
    QVERIFY(store.open_db());
    QVERIFY(store.insert(QStringLiteral("1"), QStringLiteral("One"), QString(), QString(), QString()));
    QVERIFY(!store.gameById(text));
    QVERIFY(!store.removeById(text));
    QVERIFY(!store.hasGameId(text));
    QVERIFY(!store.insert(text, QStringLiteral("Other"), QString(), QString(), QString()));
    QCOMPARE(store.count(), std::optional<qint64>(1));
}

void TestGameStore::unusableFileIsLeftUntouched_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("another key") << QStringLiteral("another key");
    QTest::newRow("not encrypted") << QStringLiteral("not encrypted");
    QTest::newRow("random bytes") << QStringLiteral("random bytes");
    QTest::newRow("empty file") << QStringLiteral("empty file");
    QTest::newRow("no table data") << QStringLiteral("no table data");
    QTest::newRow("truncated") << QStringLiteral("truncated");
    QTest::newRow("damaged page") << QStringLiteral("damaged page");
}

void TestGameStore::unusableFileIsLeftUntouched()
{
    QFETCH(QString, kind);
    TestAppFolder app;
    const QString path = libraryIn(app);
    const QString table = QStringLiteral("CREATE TABLE data (id INTEGER PRIMARY KEY AUTOINCREMENT, gameid INTEGER,"
                                         " gamename TEXT, game TEXT, gamepic TEXT, gamedesc TEXT);\n"
                                         "INSERT INTO data (gameid, gamename) VALUES (1, 'One');\n");
    if (kind == QLatin1String("another key")) {
        QCOMPARE(SqlCipherCli::run(path, table, QStringLiteral("12345678")).err, QString());
    } else if (kind == QLatin1String("not encrypted")) {
        QCOMPARE(SqlCipherCli::run(path, table, QString()).err, QString());
    } else if (kind == QLatin1String("no table data")) {
        QCOMPARE(SqlCipherCli::run(path, QStringLiteral("CREATE TABLE other (x);\n")).err, QString());
    } else if (kind == QLatin1String("truncated") || kind == QLatin1String("damaged page")) {
        QVERIFY(GameStore::createLibrary(path));
        fillLibrary(path, 200);
        QByteArray bytes = SqlCipherCli::bytesOf(path);
        QVERIFY(bytes.size() > 40 * 1024);
        if (kind == QLatin1String("truncated"))
            bytes.truncate(bytes.size() / 2);
        else
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x5A);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("random bytes")) {
            QByteArray noise(8192, '\0');
            for (int i = 0; i < noise.size(); ++i)
                noise[i] = char((i * 7919 + 13) % 251);
            file.write(noise);
        }
    }
    const QByteArray before = SqlCipherCli::bytesOf(path);

    GameStore store(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Game library:")));
    // A file damaged past its first page may still open for reading; it is never written all the same.
    if (!store.open_db()) {
        QVERIFY(!store.count());
        QVERIFY(!store.gamesNewestFirst());
        QVERIFY(!store.hasGameId(QStringLiteral("1")));
    }
    QVERIFY(!store.insert(QStringLiteral("2"), QStringLiteral("Two"), QString(), QString(), QString()));
    QVERIFY(!store.removeById(QStringLiteral("1")));

    QCOMPARE(SqlCipherCli::bytesOf(path), before);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
    QCOMPARE(QDir(app.path()).entryList({QStringLiteral("*QuillabrixGame*")}, QDir::Files | QDir::Hidden),
             QStringList{GameStore::fileName()});
}

void TestGameStore::interruptedWriteLeavesTheLibraryWhole()
{
    TestAppFolder app;
    const QString path = libraryIn(app);
    {
        GameStore store(app.path());
        QVERIFY(store.open_db());
        QVERIFY(store.insert(QStringLiteral("1"), QStringLiteral("One"), QString(), QString(), QString()));
        QVERIFY(store.insert(QStringLiteral("2"), QStringLiteral("Two"), QString(), QString(), QString()));
    }
    const QByteArray before = SqlCipherCli::bytesOf(path);

    // A writer killed in the middle of a large transaction, after part of it reached the file.
    QProcess writer;
    writer.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), path});
    QVERIFY(writer.waitForStarted(10000));
    writer.write(QStringLiteral("PRAGMA key='%1';\nPRAGMA cache_size=10;\nBEGIN;\n"
                                "INSERT INTO data (gameid, gamename, gamedesc)"
                                " WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 400)"
                                " SELECT 100 + x, 'Half', hex(randomblob(400)) FROM c;\n"
                                "DELETE FROM data WHERE gameid = 1;\n"
                                "SELECT 'ready';\n")
                     .arg(key)
                     .toUtf8());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += writer.readAllStandardOutput()).contains("ready"), 30000);
    writer.kill();
    QVERIFY(writer.waitForFinished(10000));
    QVERIFY2(QFileInfo::exists(path + QStringLiteral("-journal")), "the writer left its journal behind");
    QVERIFY2(SqlCipherCli::bytesOf(path) != before, "part of the transaction reached the file");

    GameStore store(app.path());
    QVERIFY(store.open_db());
    const std::optional<QVector<GameRecord>> games = store.gamesNewestFirst();
    QVERIFY(games);
    QCOMPARE(games->size(), 2);
    QCOMPARE(games->at(0).title, QStringLiteral("Two"));
    QCOMPARE(games->at(1).title, QStringLiteral("One"));
    QVERIFY(store.insert(QStringLiteral("3"), QStringLiteral("Three"), QString(), QString(), QString()));
    QCOMPARE(SqlCipherCli::run(path, QStringLiteral("PRAGMA integrity_check;\n")).out.trimmed(), QStringLiteral("ok"));
}

void TestGameStore::makeLibraryToolNeverTouchesAnExistingFile()
{
    TestAppFolder app;
    const QString path = libraryIn(app);
    auto makeLibrary = [&path] { return QProcess::execute(QStringLiteral(QUILLABRIX_MAKELIBRARY), {path}); };
    QCOMPARE(makeLibrary(), 0);
    QVERIFY(QFileInfo(path).isFile());
    {
        GameStore store(app.path());
        QVERIFY(store.open_db());
        QCOMPARE(store.count(), std::optional<qint64>(0));
        QVERIFY(store.insert(QStringLiteral("1"), QStringLiteral("Kept"), QString(), QString(), QString()));
    }
    const QByteArray recorded = SqlCipherCli::bytesOf(path);
    QCOMPARE(makeLibrary(), 0);
    QCOMPARE(SqlCipherCli::bytesOf(path), recorded);

    QFile garbage(path);
    QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write("not a library");
    garbage.close();
    QCOMPARE(makeLibrary(), 0);
    QCOMPARE(SqlCipherCli::bytesOf(path), QByteArray("not a library"));
}

QTEST_GUILESS_MAIN(TestGameStore)
#include "tst_gamestore.moc"
