// Adding the user's own movies to a real encrypted library: what gets recorded and under which ids, what is
// refused and said, what a repeated movie does, the progress of a large batch and its cancelling, and that a
// library that cannot be written keeps nothing of the attempt.
#include "base/library/library.h"
#include "library/gameadder.h"
#include "recordingmessagebox.h"
#include "sqlciphercli.h"
#include "testappfolder.h"
#include "testfiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

#include <unistd.h>

namespace {

// How deeply event deliveries are nested right now: 1 inside an event the event loop delivers, more inside an
// event delivered from a nested processEvents().
thread_local int eventDepth = 0;

class DepthTrackingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        ++eventDepth;
        const bool result = QApplication::notify(receiver, event);
        --eventDepth;
        return result;
    }
};

// A movie header (version 10, little-endian length) and body. A compressed movie declares its inflated length
// and carries a zlib stream.
QByteArray header(char compression, quint32 declaredLength)
{
    QByteArray bytes;
    bytes.append(compression).append("WS").append(char(10));
    for (int i = 0; i < 4; ++i)
        bytes.append(char((declaredLength >> (8 * i)) & 0xff));
    return bytes;
}

QByteArray fws(const QByteArray &body)
{
    return header('F', quint32(8 + body.size())) + body;
}

QByteArray cws(const QByteArray &body)
{
    return header('C', quint32(8 + body.size())) + qCompress(body).mid(4);
}

// A movie of about size bytes whose content differs with seed.
QByteArray bigMovie(int size, int seed)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 31 + seed * 7) ^ (i >> 9));
    return fws(body);
}

bool isRoot()
{
    return ::geteuid() == 0;
}

// A data folder with an empty library, a main window, and an adder over them.
struct Setup
{
    TestAppFolder app{TestAppFolder::WithLibrary};
    QTemporaryDir sources;
    RecordingMessageBox messages;
    Library library{app.path()};
    GameStore *store = &library.store();
    QWidget window; // owns the adder
    GameAdder *adder = new GameAdder(&library, &messages, &window);
    QSignalSpy finished{adder, &GameAdder::finished};

    Setup()
    {
        // As in the program, the library is open before anything is added.
        if (!store->open_db())
            qWarning("cannot open the library");
        window.resize(400, 300);
        window.show();
    }

    QString libraryFile() const { return app.filePath(GameStore::fileName()); }
    QString flash(const QString &name = QString()) const { return app.filePath(QStringLiteral("flash/") + name); }
    QString source(const QString &relative) const { return sources.filePath(relative); }

    QString writeSource(const QString &relative, const QByteArray &bytes) const
    {
        const QString path = source(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!testfiles::writeFile(path, bytes))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    // Adds and waits for the end of the batch; the number recorded, or -1 when it did not end.
    int add(const QStringList &paths)
    {
        const qsizetype before = finished.size();
        adder->add(paths);
        if (!QTest::qWaitFor([&] { return finished.size() > before; }, 20000))
            return -1;
        return finished.last().at(0).toInt();
    }

    QProgressDialog *progress() const { return window.findChild<QProgressDialog *>(QStringLiteral("add_progress")); }

    // Every file in flash/, hidden ones too.
    QSet<QString> flashFiles() const
    {
        const QStringList names = testfiles::filesIn(flash());
        return QSet<QString>(names.begin(), names.end());
    }

    // What a fresh connection reads, so nothing cached in the adder's store counts.
    QVector<GameRecord> games() const
    {
        GameStore reader(app.path());
        return reader.gamesNewestFirst().value_or(QVector<GameRecord>());
    }

    QVector<GameRecord> ownGames() const
    {
        QVector<GameRecord> own;
        for (const GameRecord &game : games()) {
            if (game.gameId.toLongLong() < 0)
                own.append(game);
        }
        return own;
    }

    QSet<QString> recordedMovies() const
    {
        QSet<QString> names;
        for (const GameRecord &game : games())
            names.insert(game.movieFile);
        return names;
    }
};

} // namespace

class TestGameAdder : public QObject
{
    Q_OBJECT

private slots:
    void moviesAreRecordedBelowEveryOtherGameId();
    void refusedFilesAreNamedInOneMessage();
    void aLongListOfRefusalsIsCut();
    void aMovieAlreadyThereIsRecordedOnce();
    void largeBatchShowsProgressWhileTheWindowKeepsWorking();
    void cancelKeepsRowsAndFilesInStep();
    void progressCaughtUpAllAtOnceIsSafe();
    void reportsCaughtUpAllAtOnce();
    void unwritableLibraryKeepsNothing_data();
    void unwritableLibraryKeepsNothing();
    void nothingToAddIsSaid_data();
    void nothingToAddIsSaid();
};

void TestGameAdder::moviesAreRecordedBelowEveryOtherGameId()
{
    Setup s;
    QVERIFY(s.store->insert(QStringLiteral("12"), QStringLiteral("Server game"), QStringLiteral("server.swf"),
                            QStringLiteral("server.png"), QStringLiteral("from the server")));
    // The server's ids and the user's can never meet: a server id is above zero.
    QVERIFY(
        !s.store->insert(QStringLiteral("0"), QStringLiteral("Zero"), QStringLiteral("z.swf"), QString(), QString()));
    QVERIFY(
        !s.store->insert(QStringLiteral("-3"), QStringLiteral("Neg"), QStringLiteral("n.swf"), QString(), QString()));
    // A game the user added long ago.
    const SqlCipherCli older =
        SqlCipherCli::run(s.libraryFile(), QStringLiteral("INSERT INTO data (gameid, gamename, game, gamepic, gamedesc)"
                                                          " VALUES (-7, 'Older', 'older.swf', '', '');\n"));
    QCOMPARE(older.err, QString());

    const QHash<QString, QByteArray> movies = {
        {QStringLiteral("Alpha.swf"), fws("alpha body")},
        {QStringLiteral("Beta Game.SWF"), cws(QByteArray(5000, 'b'))},
        {QStringLiteral("gamma.swf"), fws("gamma body")},
    };
    const QStringList names = {QStringLiteral("Alpha.swf"), QStringLiteral("Beta Game.SWF"),
                               QStringLiteral("gamma.swf")};
    QStringList paths;
    for (const QString &name : names)
        paths << s.writeSource(name, movies.value(name));

    QSignalSpy recorded(&s.library, &Library::gameRecorded);
    QCOMPARE(s.add(paths), 3);
    QCOMPARE(s.finished.size(), 1);
    QCOMPARE(s.messages.texts(), QStringList());

    const QVector<GameRecord> games = s.games();
    QCOMPARE(games.size(), 5);
    QCOMPARE(recorded.size(), 3); // the library tells of each
    QCOMPARE(recorded.first().first().toLongLong(), games.at(2).id);
    // Newest first: the added ones, in the order given, above the older rows.
    QCOMPARE(games.at(0).movieFile, QStringLiteral("gamma.swf"));
    QCOMPARE(games.at(1).movieFile, QStringLiteral("Beta Game.SWF"));
    QCOMPARE(games.at(2).movieFile, QStringLiteral("Alpha.swf"));
    const QStringList titles = {QStringLiteral("gamma"), QStringLiteral("Beta Game"), QStringLiteral("Alpha")};
    QSet<qint64> ids;
    for (int i = 0; i < 3; ++i) {
        const GameRecord &game = games.at(i);
        QCOMPARE(game.title, titles.at(i));
        QCOMPARE(game.pictureFile, QString());
        bool number = false;
        const qint64 gameId = game.gameId.toLongLong(&number);
        QVERIFY2(number && gameId < -7, qPrintable(game.gameId));
        ids.insert(gameId);
        QCOMPARE(testfiles::contentOf(s.flash(game.movieFile)), movies.value(game.movieFile));
    }
    QCOMPARE(ids.size(), 3);
    QCOMPARE(s.flashFiles(), QSet<QString>(names.begin(), names.end()));

    // What was there is as it was.
    QCOMPARE(games.at(3).gameId, QStringLiteral("-7"));
    QCOMPARE(games.at(3).title, QStringLiteral("Older"));
    const GameRecord &server = games.at(4);
    QCOMPARE((QStringList{server.gameId, server.title, server.movieFile, server.pictureFile, server.description}),
             (QStringList{QStringLiteral("12"), QStringLiteral("Server game"), QStringLiteral("server.swf"),
                          QStringLiteral("server.png"), QStringLiteral("from the server")}));
    QCOMPARE(s.store->hasGameId(QStringLiteral("12")), std::optional<bool>(true));
}

void TestGameAdder::refusedFilesAreNamedInOneMessage()
{
    Setup s;
    const QStringList paths = {
        s.writeSource(QStringLiteral("good1.swf"), fws("one")),
        s.writeSource(QStringLiteral("notes.swf"), "just some text, no movie"),
        s.writeSource(QStringLiteral("cut.swf"), header('F', 5000) + "short"),
        s.writeSource(QStringLiteral("empty.swf"), QByteArray()),
        s.source(QStringLiteral("gone.swf")),
        s.writeSource(QStringLiteral("good2.swf"), cws("two")),
    };
    QCOMPARE(s.add(paths), 2);

    QCOMPARE(s.messages.shown.size(), 1);
    QCOMPARE(s.messages.shown.at(0).first, MessageBox::Icon::Warning);
    const QStringList lines = s.messages.shown.at(0).second.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.contains(QStringLiteral("notes.swf: not a Flash movie")));
    QVERIFY(lines.contains(QStringLiteral("cut.swf: damaged: its length does not fit")));
    QVERIFY(lines.contains(QStringLiteral("empty.swf: not a Flash movie")));
    QVERIFY(lines.contains(QStringLiteral("gone.swf: cannot be read")));
    QVERIFY(!s.messages.shown.at(0).second.contains(QLatin1String("good")));

    QCOMPARE(s.recordedMovies(), (QSet<QString>{QStringLiteral("good1.swf"), QStringLiteral("good2.swf")}));
    // Nothing half-copied or refused is left beside them.
    QCOMPARE(s.flashFiles(), (QSet<QString>{QStringLiteral("good1.swf"), QStringLiteral("good2.swf")}));
}

void TestGameAdder::aLongListOfRefusalsIsCut()
{
    Setup s;
    for (int i = 1; i <= 17; ++i)
        s.writeSource(QStringLiteral("pile/bad%1.swf").arg(i, 2, 10, QLatin1Char('0')), "no movie");
    s.writeSource(QStringLiteral("pile/fine.swf"), fws("fine"));
    QCOMPARE(s.add({s.source(QStringLiteral("pile"))}), 1);

    QCOMPARE(s.messages.shown.size(), 1);
    const QStringList lines = s.messages.shown.at(0).second.split(QLatin1Char('\n'));
    // The heading, fifteen files, and how many more.
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines.filter(QStringLiteral(": not a Flash movie")).size(), 15);
    QCOMPARE(lines.last(), QStringLiteral("...and 2 more."));
    QCOMPARE(s.recordedMovies(), QSet<QString>{QStringLiteral("fine.swf")});
}

void TestGameAdder::aMovieAlreadyThereIsRecordedOnce()
{
    Setup s;
    const QByteArray a = fws("the movie a");
    const QByteArray serverMovie = fws("a game from the server");
    const QByteArray leftOver = fws("copied once, never recorded");
    QVERIFY(QDir().mkpath(s.flash()));
    QVERIFY(testfiles::writeFile(s.flash(QStringLiteral("server.swf")), serverMovie));
    QVERIFY(testfiles::writeFile(s.flash(QStringLiteral("left.swf")), leftOver));
    QVERIFY(s.store->insert(QStringLiteral("12"), QStringLiteral("Server game"), QStringLiteral("server.swf"),
                            QString(), QString()));

    // In one batch: a movie and its copy under another name; the server's movie under another name; and a movie
    // that lies in flash/ without a row, which gets its row now.
    QCOMPARE(s.add({s.writeSource(QStringLiteral("a.swf"), a), s.writeSource(QStringLiteral("copy of a.swf"), a),
                    s.writeSource(QStringLiteral("mine.swf"), serverMovie),
                    s.writeSource(QStringLiteral("left.swf"), leftOver)}),
             2);
    QCOMPARE(s.games().size(), 3);
    QCOMPARE(s.recordedMovies(),
             (QSet<QString>{QStringLiteral("server.swf"), QStringLiteral("a.swf"), QStringLiteral("left.swf")}));
    const QSet<QString> files = {QStringLiteral("server.swf"), QStringLiteral("a.swf"), QStringLiteral("left.swf")};
    QCOMPARE(s.flashFiles(), files);

    // The same file again, and its copy again: nothing new.
    QCOMPARE(s.add({s.source(QStringLiteral("a.swf"))}), 0);
    QCOMPARE(s.add({s.source(QStringLiteral("copy of a.swf"))}), 0);
    QCOMPARE(s.games().size(), 3);
    QCOMPARE(s.flashFiles(), files);
    QCOMPARE(s.messages.texts(), QStringList());

    // Another movie of the same name is a game of its own under a free name.
    const QByteArray otherA = fws("another movie called a");
    QCOMPARE(s.add({s.writeSource(QStringLiteral("elsewhere/a.swf"), otherA)}), 1);
    const QVector<GameRecord> own = s.ownGames();
    QCOMPARE(own.size(), 3);
    QCOMPARE(own.at(0).movieFile, QStringLiteral("a-2.swf"));
    QCOMPARE(own.at(0).title, QStringLiteral("a"));
    QCOMPARE(testfiles::contentOf(s.flash(QStringLiteral("a-2.swf"))), otherA);
    QVERIFY(own.at(0).gameId.toLongLong() < own.at(1).gameId.toLongLong());
    QCOMPARE(testfiles::contentOf(s.flash(QStringLiteral("a.swf"))), a);
}

void TestGameAdder::largeBatchShowsProgressWhileTheWindowKeepsWorking()
{
    Setup s;
    // Up to quietBatch files are added without a dialog.
    for (int i = 0; i < GameAdder::quietBatch; ++i)
        s.writeSource(QStringLiteral("few/m%1.swf").arg(i), fws(QByteArray::number(i)));
    s.adder->add({s.source(QStringLiteral("few"))});
    bool dialogSeen = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            dialogSeen |= s.progress() != nullptr;
            return !s.finished.isEmpty();
        },
        20000));
    QVERIFY(!dialogSeen);
    QCOMPARE(s.finished.last().at(0).toInt(), GameAdder::quietBatch);

    // More show one, while the window's own timers go on.
    constexpr int count = 12;
    for (int i = 0; i < count; ++i)
        s.writeSource(QStringLiteral("many/m%1.swf").arg(i, 2, 10, QLatin1Char('0')), bigMovie(1 << 20, i));
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(1);
    connect(&ticker, &QTimer::timeout, this, [&] { ticks += s.adder->isRunning() ? 1 : 0; });
    ticker.start();

    s.adder->add({s.source(QStringLiteral("many"))});
    QVERIFY(s.adder->isRunning());
    QCOMPARE(s.finished.size(), 1);
    QPointer<QProgressDialog> dialog = s.progress();
    QVERIFY(dialog);
    // A second batch while one runs is ignored.
    s.adder->add({s.writeSource(QStringLiteral("late.swf"), fws("late"))});

    bool dialogShown = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            dialogShown |= dialog && dialog->isVisible();
            return s.finished.size() > 1;
        },
        20000));
    QCOMPARE(s.finished.size(), 2);
    QCOMPARE(s.finished.last().at(0).toInt(), count);
    QVERIFY(dialogShown);
    QVERIFY(ticks > 0);
    QVERIFY(!s.adder->isRunning());
    QVERIFY(!dialog);
    QCOMPARE(s.games().size(), GameAdder::quietBatch + count);
    QVERIFY(!s.flashFiles().contains(QStringLiteral("late.swf")));
    QVERIFY(!s.recordedMovies().contains(QStringLiteral("late.swf")));
}

void TestGameAdder::cancelKeepsRowsAndFilesInStep()
{
    Setup s;
    constexpr int count = 24;
    for (int i = 0; i < count; ++i)
        s.writeSource(QStringLiteral("many/m%1.swf").arg(i, 2, 10, QLatin1Char('0')), bigMovie(2 << 20, i));

    s.adder->add({s.source(QStringLiteral("many"))});
    QPointer<QProgressDialog> dialog = s.progress();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitFor([&] { return !dialog || dialog->isVisible(); }, 20000));
    QVERIFY2(dialog && s.adder->isRunning(), "the batch ended before it could be cancelled");
    auto *cancel = dialog->findChild<QPushButton *>();
    QVERIFY(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !s.finished.isEmpty(); }, 20000));

    const int recorded = s.finished.last().at(0).toInt();
    QVERIFY2(recorded < count, "cancelling stopped nothing");
    QCOMPARE(s.messages.texts(), QStringList());
    // Every file copied has its row and every row its file; nothing partial remains.
    QCOMPARE(s.games().size(), recorded);
    QCOMPARE(s.flashFiles(), s.recordedMovies());
    for (const QString &name : s.flashFiles())
        QCOMPARE(testfiles::contentOf(s.flash(name)), testfiles::contentOf(s.source(QStringLiteral("many/") + name)));

    // Starting again adds the rest, without a second row for what was already there.
    QCOMPARE(s.add({s.source(QStringLiteral("many"))}), count - recorded);
    QCOMPARE(s.games().size(), count);
    QCOMPARE(s.flashFiles().size(), count);
}

void TestGameAdder::progressCaughtUpAllAtOnceIsSafe()
{
    // A busy window may get to the batch's reports only when they are all there: every step and the end at
    // once. Run in a process of its own, as getting this wrong may well crash it.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLABRIX_ADDER_CHILD"), QStringLiteral("1"));
    // Its folders live in one of ours, so that they go even when it does not end well.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    environment.insert(QStringLiteral("TMPDIR"), scratch.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("reportsCaughtUpAllAtOnce")});
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    QVERIFY2(output.contains(QLatin1String("reportsCaughtUpAllAtOnce")), qPrintable(output));
    const QString outcome = output.split(QLatin1Char('\n'))
                                .filter(QRegularExpression(QStringLiteral("^(FAIL|Totals|Received signal)")))
                                .join(QLatin1Char('\n'));
    // Modal progress dialogs take events inside setValue(); the end of the batch arrives there, and the dialog
    // must not be deleted under its own feet (that read and wrote freed memory, and at times crashed).
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(outcome));
}

void TestGameAdder::reportsCaughtUpAllAtOnce()
{
    if (qEnvironmentVariableIsEmpty("QUILLABRIX_ADDER_CHILD"))
        QSKIP("run by progressCaughtUpAllAtOnceIsSafe in a process of its own");
    Setup s;
    constexpr int count = 8;
    for (int i = 0; i < count; ++i)
        s.writeSource(QStringLiteral("many/m%1.swf").arg(i), fws(QByteArray::number(i)));

    const int outerDepth = eventDepth;
    int depthAtDestruction = -1;
    s.adder->add({s.source(QStringLiteral("many"))});
    QPointer<QProgressDialog> dialog = s.progress();
    QVERIFY(dialog);
    connect(dialog, &QObject::destroyed, this, [&] { depthAtDestruction = eventDepth - outerDepth; });

    // Without taking any event: the files are all in place, then the end is reported.
    for (int waited = 0; QDir(s.flash()).entryList(QDir::Files).size() < count && waited < 10000; waited += 10)
        QThread::msleep(10);
    QThread::msleep(300);
    QVERIFY(QTest::qWaitFor([&] { return !s.finished.isEmpty(); }, 20000));
    QCOMPARE(s.finished.size(), 1);
    QCOMPARE(s.finished.last().at(0).toInt(), count);
    QVERIFY(!dialog);
    // Deleted by an event the event loop itself delivered, not from inside one of the dialog's own calls.
    QCOMPARE(depthAtDestruction, 1);
    QCOMPARE(s.games().size(), count);
}

void TestGameAdder::unwritableLibraryKeepsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a library") << QStringLiteral("garbage");
    QTest::newRow("read-only library") << QStringLiteral("read-only file");
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder");
}

void TestGameAdder::unwritableLibraryKeepsNothing()
{
    QFETCH(QString, kind);
    if (kind != QLatin1String("garbage") && isRoot())
        QSKIP("file permissions do not hold for root");
    Setup s;
    const QByteArray leftOver = fws("in flash/ before, without a row");
    QVERIFY(QDir().mkpath(s.flash()));
    QVERIFY(testfiles::writeFile(s.flash(QStringLiteral("left.swf")), leftOver));
    if (kind == QLatin1String("garbage")) {
        QVERIFY(QFile::remove(s.libraryFile()));
        QVERIFY(testfiles::writeFile(s.libraryFile(), QByteArray(4096, 'x')));
    } else {
        QVERIFY(s.store->insert(QStringLiteral("12"), QStringLiteral("Server game"), QStringLiteral("server.swf"),
                                QString(), QString()));
    }
    const QByteArray libraryBefore = testfiles::contentOf(s.libraryFile());

    const QString guarded = kind == QLatin1String("read-only folder") ? s.app.path() : s.libraryFile();
    const QFileDevice::Permissions permissions = QFile::permissions(guarded);
    struct Restore
    {
        QString path;
        QFileDevice::Permissions permissions;
        ~Restore() { QFile::setPermissions(path, permissions); }
    } restore{guarded, permissions};
    if (kind != QLatin1String("garbage"))
        QVERIFY(QFile::setPermissions(guarded, permissions & ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                                               QFileDevice::WriteGroup | QFileDevice::WriteOther)));

    // The store looks at the library afresh, as at the program's next start.
    QVERIFY(!s.store->open_db() || kind != QLatin1String("garbage"));
    QCOMPARE(s.add({s.writeSource(QStringLiteral("new.swf"), fws("new")),
                    s.writeSource(QStringLiteral("also left.swf"), leftOver)}),
             0);
    QCOMPARE(s.messages.shown.size(), 1);
    QCOMPARE(s.messages.shown.at(0).first, MessageBox::Icon::Warning);
    QVERIFY(s.messages.shown.at(0).second.contains(QLatin1String("could not be recorded")));
    // The copy made for it is gone; what was there before stays.
    QCOMPARE(s.flashFiles(), QSet<QString>{QStringLiteral("left.swf")});
    QCOMPARE(testfiles::contentOf(s.libraryFile()), libraryBefore);
    if (kind != QLatin1String("garbage"))
        QCOMPARE(s.games().size(), 1);
}

void TestGameAdder::nothingToAddIsSaid_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("chooseFolder");
    QTest::newRow("empty folder") << QStringList() << true;
    QTest::newRow("no movies in the folder")
        << QStringList{QStringLiteral("readme.txt"), QStringLiteral("game.swf.bak"), QStringLiteral("sub/inner.swf")}
        << true;
    QTest::newRow("nothing chosen") << QStringList() << false;
}

void TestGameAdder::nothingToAddIsSaid()
{
    QFETCH(QStringList, files);
    QFETCH(bool, chooseFolder);
    Setup s;
    QVERIFY(QDir().mkpath(s.source(QStringLiteral("folder"))));
    for (const QString &name : files)
        s.writeSource(QStringLiteral("folder/") + name, fws("a movie by its content"));

    QCOMPARE(s.add(chooseFolder ? QStringList{s.source(QStringLiteral("folder"))} : QStringList()), 0);
    QCOMPARE(s.finished.size(), 1);
    QCOMPARE(s.messages.shown.size(), 1);
    QVERIFY(s.messages.shown.at(0).second.contains(QLatin1String("no Flash movies")));
    QVERIFY(!QFileInfo::exists(s.flash()));
    QCOMPARE(s.games().size(), 0);
}

int main(int argc, char *argv[])
{
    DepthTrackingApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestGameAdder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gameadder.moc"
