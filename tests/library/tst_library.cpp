// The library service over a real encrypted library and real folders: where its files live, what recording,
// playing and deleting a game do to the rows and the files, and what it tells those who follow it.
#include "base/library/incomingfile.h"
#include "base/library/library.h"
#include "base/library/movieimport.h"
#include "filledlibrary.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString dataFolder = QStringLiteral("/data");

// A library of the given games and the service over it.
struct Shelf : FilledLibrary
{
    std::unique_ptr<Library> library;

    explicit Shelf(const QVector<Game> &games = {}, int diskKiB = 0) : FilledLibrary(games, diskKiB)
    {
        if (diskKiB == 0 || mounted)
            library = std::make_unique<Library>(path());
    }
    std::optional<GameRecord> row(qint64 id) const { return library->store().gameById(id); }
    // Writes a movie and gives the digest an independent hash makes of it.
    MovieDigest writeMovie(const QString &name, const QByteArray &bytes) const
    {
        QFile file(app.filePath(QStringLiteral("flash/") + name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return {bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
    }
};

} // namespace

class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void storedNamesStayInsideTheirFolders_data();
    void storedNamesStayInsideTheirFolders();
    void missingFoldersAreMade();
    void recordingAnAcquiredGame_data();
    void recordingAnAcquiredGame();
    void recordedMoviesAreDigestedAgainWhenReplaced();
    void orphansAreRemovedOnlyWhileNoGameNamesOrHoldsThem();
    void playingAGameCountsItOnlyWhenItsMovieIsThere_data();
    void playingAGameCountsItOnlyWhenItsMovieIsThere();
    void deleteFreesTheFilesNoOtherGameNames_data();
    void deleteFreesTheFilesNoOtherGameNames();
    void theLastGameNamingAMovieTakesItAndItsSaves();
    void originIsTheLatestServerAddressOrTheImportFolder();
    void deleteTakesTheKeptFilesButNeverWhereALinkLeads();
    void fullDiskDeletionMakesRoomWithTheGamesOwnFiles_data();
    void fullDiskDeletionMakesRoomWithTheGamesOwnFiles();
};

void TestLibrary::storedNamesStayInsideTheirFolders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("movie");
    QTest::addColumn<QString>("picture");
    QTest::newRow("plain") << QStringLiteral("a b's.swf") << QStringLiteral("/data/flash/a b's.swf")
                           << QStringLiteral("/data/pic/a b's.swf");
    QTest::newRow("hidden") << QStringLiteral(".x") << QStringLiteral("/data/flash/.x")
                            << QStringLiteral("/data/pic/.x");
    for (const QString &name : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("../x.swf"),
                                QStringLiteral("/etc/passwd"), QStringLiteral("a/b"), QString::fromUtf8("a\0b", 3)})
        QTest::newRow(qPrintable(QStringLiteral("refused: ") + name)) << name << QString() << QString();
}

void TestLibrary::storedNamesStayInsideTheirFolders()
{
    QFETCH(QString, name);
    QFETCH(QString, movie);
    QFETCH(QString, picture);
    const LibraryFolders folders(dataFolder);
    QCOMPARE(folders.moviePath(name), movie);
    QCOMPARE(folders.picturePath(name), picture);
    QCOMPARE(folders.libraryFile(), QStringLiteral("/data/QuillabrixGame.dll"));
}

void TestLibrary::missingFoldersAreMade()
{
    TestAppFolder app;
    Library library(app.path());
    QVERIFY(library.makeFolders());
    for (const QString &folder : {QStringLiteral("flash"), QStringLiteral("pic"), QStringLiteral("saves")})
        QVERIFY2(QFileInfo(app.filePath(folder)).isDir(), qPrintable(folder));
    QVERIFY(library.makeFolders());

    // A file where a folder belongs is left alone, and said.
    QVERIFY(QDir(app.filePath(QStringLiteral("pic"))).removeRecursively());
    QFile blocker(app.filePath(QStringLiteral("pic")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot create the folder .*/pic")));
    QVERIFY(!library.makeFolders());
    QVERIFY(QFileInfo(app.filePath(QStringLiteral("pic"))).isFile());
}

void TestLibrary::recordingAnAcquiredGame_data()
{
    // The library may hold game 1 (game id 1001) under a title and movie; game 1001 or 12 arrives.
    QTest::addColumn<QString>("heldTitle"); // empty: no game 1
    QTest::addColumn<QString>("heldMovie");
    QTest::addColumn<QString>("gameId");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("movieThere");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("rowTitle"); // the title of the row given back; empty: none
    using S = Recording::Status;
    const QString snake = QStringLiteral("Snake");
    const QString pong = QStringLiteral("Pong");
    QTest::newRow("new") << QString() << QString() << QStringLiteral("12") << snake << true << int(S::Recorded)
                         << snake;
    QTest::newRow("beside another") << pong << QStringLiteral("pong.swf") << QStringLiteral("12") << snake << true
                                    << int(S::Recorded) << snake;
    QTest::newRow("again") << snake << QStringLiteral("snake.swf") << QStringLiteral("1001") << snake << true
                           << int(S::AlreadyRecorded) << snake;
    QTest::newRow("again, renamed") << snake << QStringLiteral("snake.swf") << QStringLiteral("1001")
                                    << QStringLiteral("Snake II") << true << int(S::AlreadyRecorded) << snake;
    QTest::newRow("again, its movie numbered")
        << snake << QStringLiteral("snake-2.swf") << QStringLiteral("1001") << QStringLiteral("Snake II") << true
        << int(S::AlreadyRecorded) << snake;
    QTest::newRow("id of another game") << pong << QStringLiteral("pong.swf") << QStringLiteral("1001") << snake << true
                                        << int(S::IdInUse) << pong;
    QTest::newRow("movie gone") << QString() << QString() << QStringLiteral("12") << snake << false
                                << int(S::MovieMissing) << QString();
    QTest::newRow("no server id") << QString() << QString() << QStringLiteral("-4") << snake << true << int(S::Failed)
                                  << QString();
}

void TestLibrary::recordingAnAcquiredGame()
{
    QFETCH(QString, heldTitle);
    QFETCH(QString, heldMovie);
    QFETCH(QString, gameId);
    QFETCH(QString, title);
    QFETCH(bool, movieThere);
    QFETCH(int, status);
    QFETCH(QString, rowTitle);
    Shelf lib(heldTitle.isEmpty() ? QVector<Game>{}
                                  : QVector<Game>{{1, heldTitle, heldMovie, QStringLiteral("held.png"), QString()}});
    if (movieThere)
        lib.writeFile(QStringLiteral("flash/snake.swf"));
    QSignalSpy recorded(lib.library.get(), &Library::gameRecorded);
    if (status == int(Recording::Status::Failed))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Game library:")));
    else if (status == int(Recording::Status::MovieMissing) || status == int(Recording::Status::IdInUse))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not recorded")));

    const Recording result = lib.library->recordAcquired(
        {gameId, title, QStringLiteral("snake.swf"), QStringLiteral("snake.png"), QStringLiteral("About it"), {}});
    QCOMPARE(int(result.status), status);
    QCOMPARE(result.row ? result.row->title : QString(), rowTitle);
    const bool isNew = status == int(Recording::Status::Recorded);
    QCOMPARE(recorded.size(), isNew ? 1 : 0);
    const qint64 rows = lib.library->gameCount().value_or(-1);
    QCOMPARE(rows, qint64(heldTitle.isEmpty() ? 0 : 1) + (isNew ? 1 : 0));
    if (isNew) {
        const qint64 id = recorded.first().first().toLongLong();
        QCOMPARE(result.row->id, id);
        const GameRecord row = *lib.row(id);
        QCOMPARE((QStringList{row.gameId, row.movieFile, row.pictureFile, row.description}),
                 (QStringList{gameId, QStringLiteral("snake.swf"), QStringLiteral("snake.png"),
                              QStringLiteral("About it")}));
    }
}

void TestLibrary::recordedMoviesAreDigestedAgainWhenReplaced()
{
    Shelf lib;
    QSignalSpy digested(lib.library.get(), &Library::movieDigested);
    const AcquiredGame snake{QStringLiteral("12"), QStringLiteral("Snake"), QStringLiteral("snake.swf"), {}, {}, {}};
    const auto digestAfter = [&](const std::function<qint64()> &record) {
        digested.clear();
        const qint64 id = record();
        return digested.wait() && digested.first().first().toLongLong() == id ? lib.library->store().movieDigest(id)
                                                                              : std::nullopt;
    };
    // Large enough to take more than one block.
    MovieDigest movie = lib.writeMovie(QStringLiteral("snake.swf"), QByteArray(3 * 1024 * 1024 + 5, 'a'));
    QCOMPARE(digestAfter([&] { return lib.library->recordAcquired(snake).row->id; }), movie);
    // Downloaded again: the row stays, the movie in its place is another.
    movie = lib.writeMovie(QStringLiteral("snake.swf"), QByteArray(10, 'b'));
    QCOMPARE(digestAfter([&] { return lib.library->recordAcquired(snake).row->id; }), movie);
    movie = lib.writeMovie(QStringLiteral("own.swf"), QByteArrayLiteral("FWS own"));
    ImportedMovie own;
    own.movieFile = QStringLiteral("own.swf");
    own.title = QStringLiteral("Own");
    QCOMPARE(digestAfter([&] { return lib.library->recordImported({own})->first().id; }), movie);
}

void TestLibrary::orphansAreRemovedOnlyWhileNoGameNamesOrHoldsThem()
{
    Shelf lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QStringLiteral("one.png"), QString()}});
    lib.writeFiles({QStringLiteral("flash/one.swf"), QStringLiteral("flash/stray.swf"), QStringLiteral("flash/.part"),
                    QStringLiteral("flash/coming.swf"), QStringLiteral("pic/one.png"), QStringLiteral("pic/x.png")});
    lib.library->setFilesInUse([](GameFile kind, const QString &name) {
        return kind == GameFile::Movie && name == QLatin1String("coming.swf");
    });
    for (const QString &name : {QStringLiteral("one.swf"), QStringLiteral(".part"), QStringLiteral("coming.swf"),
                                QStringLiteral("../pic/x.png"), QStringLiteral("gone.swf")})
        QVERIFY2(!lib.library->removeOrphan(GameFile::Movie, name), qPrintable(name));
    QVERIFY(!lib.library->removeOrphan(GameFile::Picture, QStringLiteral("one.png")));
    QVERIFY(lib.library->removeOrphan(GameFile::Movie, QStringLiteral("stray.swf")));
    QVERIFY(lib.library->removeOrphan(GameFile::Picture, QStringLiteral("x.png")));
    QCOMPARE(lib.gameFiles(), (QStringList{QStringLiteral("flash/coming.swf"), QStringLiteral("flash/one.swf"),
                                           QStringLiteral("pic/one.png")}));
    QVERIFY(lib.exists(QStringLiteral("flash/.part")));
}

void TestLibrary::playingAGameCountsItOnlyWhenItsMovieIsThere_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("moviePath"); // in the data folder
    QTest::newRow("movie there") << qint64(1) << int(GamePlay::Status::Ready) << QStringLiteral("flash/one.swf");
    QTest::newRow("movie gone") << qint64(2) << int(GamePlay::Status::MovieMissing) << QStringLiteral("flash/two.swf");
    QTest::newRow("movie outside its folder") << qint64(3) << int(GamePlay::Status::MovieMissing) << QString();
    QTest::newRow("no such game") << qint64(99) << int(GamePlay::Status::NoGame) << QString();
}

void TestLibrary::playingAGameCountsItOnlyWhenItsMovieIsThere()
{
    QFETCH(qint64, id);
    QFETCH(int, status);
    QFETCH(QString, moviePath);
    Shelf lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QString(), QString()},
               {2, QStringLiteral("Two"), QStringLiteral("two.swf"), QString(), QString()},
               {3, QStringLiteral("Three"), QStringLiteral("../QuillabrixGame.dll"), QString(), QString()}});
    lib.writeFile(QStringLiteral("flash/one.swf"));
    QSignalSpy played(lib.library.get(), &Library::gamePlayed);
    if (status == int(GamePlay::Status::MovieMissing))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The movie of game .* is missing")));

    const GamePlay play = lib.library->play(id);
    QCOMPARE(int(play.status), status);
    const bool ready = status == int(GamePlay::Status::Ready);
    QCOMPARE(play.moviePath, moviePath.isEmpty() ? QString() : lib.app.filePath(moviePath));
    QCOMPARE(play.game.playCount, ready ? 1 : 0);
    QCOMPARE(played.size(), ready ? 1 : 0);
    if (id != 99)
        QCOMPARE(lib.row(id)->playCount, ready ? 1 : 0);
}

void TestLibrary::deleteFreesTheFilesNoOtherGameNames_data()
{
    // Games 9, 7 and 4 name these movies and pictures; game 9 is deleted.
    QTest::addColumn<QStringList>("movies");
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QStringList>("filesBefore");
    QTest::addColumn<QStringList>("freed");
    QTest::addColumn<bool>("savesGo");

    const QStringList others = {QStringLiteral("flash/b.swf"), QStringLiteral("flash/c.swf"),
                                QStringLiteral("pic/b.png"), QStringLiteral("pic/c.png")};
    const QStringList abc = {QStringLiteral("a.swf"), QStringLiteral("b.swf"), QStringLiteral("c.swf")};
    const QStringList abcPictures = {QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")};
    QTest::newRow("own files") << abc << abcPictures
                               << others + QStringList{QStringLiteral("flash/a.swf"), QStringLiteral("pic/a.png")}
                               << QStringList{QStringLiteral("flash/a.swf"), QStringLiteral("pic/a.png")} << true;
    QTest::newRow("files removed by hand") << abc << abcPictures << others << QStringList() << true;
    QTest::newRow("files other games name")
        << QStringList{QStringLiteral("s.swf"), QStringLiteral("s.swf"), QStringLiteral("c.swf")}
        << QStringList{QStringLiteral("s.png"), QStringLiteral("b.png"), QStringLiteral("s.png")}
        << QStringList{QStringLiteral("flash/s.swf"), QStringLiteral("flash/c.swf"), QStringLiteral("pic/s.png"),
                       QStringLiteral("pic/b.png")}
        << QStringList() << false;
    QTest::newRow("names reaching out of their folder")
        << QStringList{QStringLiteral("../QuillabrixGame.dll"), QStringLiteral("b.swf"), QStringLiteral("c.swf")}
        << QStringList{QStringLiteral(".."), QStringLiteral("b.png"), QStringLiteral("c.png")} << others
        << QStringList() << false;
}

void TestLibrary::deleteFreesTheFilesNoOtherGameNames()
{
    QFETCH(QStringList, movies);
    QFETCH(QStringList, pictures);
    QFETCH(QStringList, filesBefore);
    QFETCH(QStringList, freed);
    QFETCH(bool, savesGo);
    Shelf lib({{9, QStringLiteral("Nine"), movies.at(0), pictures.at(0), QStringLiteral("d9")},
               {7, QStringLiteral("Seven"), movies.at(1), pictures.at(1), QStringLiteral("d7")},
               {4, QStringLiteral("Four"), movies.at(2), pictures.at(2), QStringLiteral("d4")}});
    lib.writeFiles(filesBefore);
    QSignalSpy removed(lib.library.get(), &Library::gameRemoved);

    const Deletion deletion = lib.library->deleteGame(9);
    QCOMPARE(deletion.status, Deletion::Status::Deleted);
    QStringList freedPaths;
    for (const QString &file : freed)
        freedPaths << lib.app.filePath(file);
    QCOMPARE(deletion.freedFiles, freedPaths);
    QCOMPARE(deletion.savesGo, savesGo);
    QStringList left = filesBefore;
    for (const QString &file : freed)
        left.removeOne(file);
    left.sort();
    QCOMPARE(lib.gameFiles(), left);
    QVERIFY(lib.exists(GameStore::fileName()));
    QVERIFY(!lib.row(9));
    QCOMPARE(lib.library->gameCount(), std::optional<qint64>(2));
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.first(), (QVariantList{qint64(9), movies.at(0), savesGo}));
}

void TestLibrary::theLastGameNamingAMovieTakesItAndItsSaves()
{
    Shelf lib({{1, QStringLiteral("One"), QStringLiteral("s.swf"), QStringLiteral("s.png"), QString()},
               {2, QStringLiteral("Two"), QStringLiteral("s.swf"), QStringLiteral("s.png"), QString()}});
    lib.writeFiles({QStringLiteral("flash/s.swf"), QStringLiteral("pic/s.png")});
    QSignalSpy removed(lib.library.get(), &Library::gameRemoved);
    QCOMPARE(lib.library->deleteGame(2).savesGo, false);
    QCOMPARE(lib.gameFiles(), (QStringList{QStringLiteral("flash/s.swf"), QStringLiteral("pic/s.png")}));
    QCOMPARE(lib.library->deleteGame(1).savesGo, true);
    QCOMPARE(lib.gameFiles(), QStringList());
    QCOMPARE(removed.size(), 2);
    QCOMPARE(removed.last(), (QVariantList{qint64(1), QStringLiteral("s.swf"), true}));
    // A game already gone (another program deleted it) still leaves whoever lists it.
    QCOMPARE(lib.library->deleteGame(1).status, Deletion::Status::Deleted);
    QCOMPARE(removed.last(), (QVariantList{qint64(1), QString(), false}));

    // Saves the user keeps stay behind the movie, for its return.
    QVERIFY(lib.library->store().insert(QStringLiteral("3"), QStringLiteral("Three"), QStringLiteral("k.swf"),
                                        QString(), QString()));
    lib.writeFiles({QStringLiteral("flash/k.swf")});
    QSignalSpy gone(lib.library.get(), &Library::movieGone);
    const qint64 three = lib.library->gameWithServerId(QStringLiteral("3"))->id;
    QCOMPARE(lib.library->deleteGame(three, Deletion::Saves::Keep).savesGo, false);
    QCOMPARE(lib.gameFiles(), QStringList());
    QCOMPARE(removed.last(), (QVariantList{three, QStringLiteral("k.swf"), false}));
    QCOMPARE(gone.size(), 0);
}

void TestLibrary::originIsTheLatestServerAddressOrTheImportFolder()
{
    Shelf lib;
    lib.writeFile(QStringLiteral("flash/maze.swf"));
    AcquiredGame maze{QStringLiteral("12"), QStringLiteral("Maze"), QStringLiteral("maze.swf"), {}, {}, {}};
    maze.movieUrl = QStringLiteral("http://127.0.0.1:1/files/maze.swf");
    const qint64 id = lib.library->recordAcquired(maze).row->id;
    QCOMPARE(lib.library->store().gameOrigin(id), std::optional<QString>(maze.movieUrl));
    maze.movieUrl = QStringLiteral("https://127.0.0.1:2/new/maze.swf");
    QCOMPARE(lib.library->recordAcquired(maze).status, Recording::Status::AlreadyRecorded);
    QCOMPARE(lib.library->store().gameOrigin(id), std::optional<QString>(maze.movieUrl));

    lib.writeFile(QStringLiteral("flash/own.swf"));
    ImportedMovie own;
    own.sourcePath = QStringLiteral("/home/u/my games/own.swf");
    own.movieFile = QStringLiteral("own.swf");
    own.title = QStringLiteral("Own");
    const qint64 ownId = lib.library->recordImported({own})->first().id;
    QCOMPARE(lib.library->store().gameOrigin(ownId), std::optional<QString>(QStringLiteral("file:///home/u/my games")));
}

void TestLibrary::deleteTakesTheKeptFilesButNeverWhereALinkLeads()
{
    Shelf lib({{9, QStringLiteral("Nine"), QStringLiteral("a.swf"), QString(), QString()}});
    for (const QString &folder :
         {QStringLiteral("companion/9/files/levels"), QStringLiteral("companion/7"), QStringLiteral("outside")})
        QVERIFY(QDir(lib.path()).mkpath(folder));
    lib.writeFiles({QStringLiteral("flash/a.swf"), QStringLiteral("companion/9/files/levels/1.txt"),
                    QStringLiteral("companion/7/1.txt"), QStringLiteral("outside/keep.txt")});
    QVERIFY(
        QFile::link(lib.app.filePath(QStringLiteral("outside")), lib.app.filePath(QStringLiteral("companion/9/ln"))));

    const Deletion deletion = lib.library->deleteGame(9);
    QCOMPARE(deletion.status, Deletion::Status::Deleted);
    QStringList freed = deletion.freedFiles;
    freed.sort();
    QCOMPARE(freed, (QStringList{lib.app.filePath(QStringLiteral("companion/9/files/levels/1.txt")),
                                 lib.app.filePath(QStringLiteral("companion/9/ln")),
                                 lib.app.filePath(QStringLiteral("flash/a.swf"))}));
    QVERIFY(!QFileInfo(lib.app.filePath(QStringLiteral("companion/9"))).exists());
    QVERIFY(lib.exists(QStringLiteral("outside/keep.txt")));
    QVERIFY(lib.exists(QStringLiteral("companion/7/1.txt")));
}

void TestLibrary::fullDiskDeletionMakesRoomWithTheGamesOwnFiles_data()
{
    QTest::addColumn<bool>("shared"); // the other game names the same movie and picture
    QTest::newRow("its own files make room") << false;
    QTest::newRow("no file of its own") << true;
}

void TestLibrary::fullDiskDeletionMakesRoomWithTheGamesOwnFiles()
{
    QFETCH(bool, shared);
    if (!ownMounts())
        QSKIP("A full disk is a small file system this test mounts, which takes root (CAP_SYS_ADMIN).");
    Shelf lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QStringLiteral("one.png"), QString()},
               {2, QStringLiteral("Two"), shared ? QStringLiteral("one.swf") : QStringLiteral("two.swf"),
                shared ? QStringLiteral("one.png") : QStringLiteral("two.png"), QString()}},
              1024);
    QVERIFY(lib.mounted);
    QFile movie(lib.app.filePath(QStringLiteral("flash/one.swf")));
    QVERIFY(movie.open(QIODevice::WriteOnly));
    QCOMPARE(movie.write(QByteArray(200 * 1024, 'm')), 200 * 1024);
    movie.close();
    lib.writeFile(QStringLiteral("pic/one.png"));
    lib.fillDisk();
    // Not a single change fits now: not even the journal of one.
    QVERIFY(!lib.library->countPlay(1));
    QVERIFY(lib.library->store().lastChangeFoundDiskFull());

    const Deletion deletion = lib.library->deleteGame(1);
    QCOMPARE(deletion.status, shared ? Deletion::Status::DiskFull : Deletion::Status::Deleted);
    QCOMPARE(deletion.freedFiles.size(), shared ? 0 : 2);
    QCOMPARE(lib.row(1).has_value(), shared);
    QCOMPARE(lib.exists(QStringLiteral("flash/one.swf")), shared);
    QCOMPARE(lib.exists(QStringLiteral("pic/one.png")), shared);
}

int main(int argc, char *argv[])
{
    enterOwnMounts();
    QCoreApplication app(argc, argv);
    TestLibrary tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_library.moc"
