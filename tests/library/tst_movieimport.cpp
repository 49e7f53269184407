// Adding the user's own movie files to the flash folder: what is accepted, how it is named, what is reused,
// and that nothing partial is ever left behind.
#include "base/library/movieimport.h"
#include "base/portal/moviedownload.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using Kind = RefusedMovie::Kind;

namespace {

// A movie as far as its header goes: signature, version 10, little-endian declared length, then the body.
QByteArray swf(char compression, quint32 declaredLength, const QByteArray &body)
{
    QByteArray bytes;
    bytes.append(compression).append("WS").append(char(10));
    for (int i = 0; i < 4; ++i)
        bytes.append(char((declaredLength >> (8 * i)) & 0xff));
    return bytes + body;
}

QByteArray fws(const QByteArray &body)
{
    return swf('F', quint32(8 + body.size()), body);
}

struct Outcome
{
    QVector<ImportedMovie> added;
    QVector<RefusedMovie> refused;
    QPair<int, int> lastProgress;
    bool inCallerThread = true;

    QStringList fileNames() const
    {
        QStringList names;
        for (const ImportedMovie &movie : added)
            names << movie.movieFile;
        return names;
    }
};

} // namespace

class TestMovieImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void eachFileIsJudged_data();
    void eachFileIsJudged();
    void whatIsNoRegularFileIsNeverOpened();
    void takenNamesGetTheNextNumber();
    void identicalContentIsReusedWhateverItsName();
    void foldersGiveTheirMoviesOnly();
    void oddNamesAreRefusedOrTitledPlainly_data();
    void oddNamesAreRefusedOrTitledPlainly();
    void cancelLeavesNoPartialFile();

private:
    QString src(const QString &name) const { return m_dir->filePath(QStringLiteral("src/") + name); }
    QString flash(const QString &name = QString()) const { return m_dir->filePath(QStringLiteral("flash/") + name); }
    QString writeSource(const QString &name, const QByteArray &bytes)
    {
        if (!testfiles::writeFile(src(name), bytes))
            qWarning("cannot write %s", qPrintable(name));
        return src(name);
    }
    Outcome run(const QStringList &paths, qint64 maxBytes = MovieDownload::defaultMaxBytes,
                const std::function<void(MovieImport &)> &whileRunning = {});

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMovieImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("src")));
}

Outcome TestMovieImport::run(const QStringList &paths, qint64 maxBytes,
                             const std::function<void(MovieImport &)> &whileRunning)
{
    Outcome outcome;
    bool done = false;
    MovieImport import(flash());
    import.setMaxMovieBytes(maxBytes);
    QThread *caller = QThread::currentThread();
    connect(&import, &MovieImport::progress, this, [&](int n, int total) {
        outcome.lastProgress = {n, total};
        outcome.inCallerThread &= QThread::currentThread() == caller;
    });
    connect(&import, &MovieImport::finished, this,
            [&](const QVector<ImportedMovie> &added, const QVector<RefusedMovie> &refused) {
                outcome = {added, refused, outcome.lastProgress,
                           outcome.inCallerThread && QThread::currentThread() == caller};
                done = !import.isRunning();
            });
    import.start(paths);
    if (whileRunning)
        whileRunning(import);
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        qWarning("the import did not finish");
    return outcome;
}

void TestMovieImport::eachFileIsJudged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("refusedAs"); // -1: accepted

    const QByteArray body(100, 'x');
    QTest::newRow("FWS") << fws(body) << -1;
    QTest::newRow("FWS with bytes after the movie") << swf('F', 50, body) << -1;
    QTest::newRow("CWS") << swf('C', 5000, body) << -1;
    QTest::newRow("ZWS") << swf('Z', 5000, body) << -1;
    QTest::newRow("text") << QByteArray("<html>not a movie</html>") << int(Kind::NotAMovie);
    QTest::newRow("empty") << QByteArray() << int(Kind::NotAMovie);
    QTest::newRow("signature only") << QByteArray("FWS") << int(Kind::Damaged);
    QTest::newRow("truncated FWS") << swf('F', 500, body) << int(Kind::Damaged);
    QTest::newRow("FWS header only") << swf('F', 8, QByteArray()) << int(Kind::Damaged);
    QTest::newRow("CWS header only") << swf('C', 5000, QByteArray()) << int(Kind::Damaged);
    QTest::newRow("CWS declaring more than the limit") << swf('C', 0xfffffff0u, body) << int(Kind::Damaged);
    QTest::newRow("larger than the limit") << fws(QByteArray(20000, 'x')) << int(Kind::TooLarge);
}

void TestMovieImport::eachFileIsJudged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, refusedAs);
    const QString path = writeSource(QStringLiteral("Some Game.Swf"), bytes);

    const Outcome outcome = run({path}, 10000);
    QVERIFY(outcome.inCallerThread);
    QCOMPARE(outcome.lastProgress, qMakePair(1, 1));
    if (refusedAs < 0) {
        QVERIFY(outcome.refused.isEmpty());
        QCOMPARE(outcome.added.size(), 1);
        const ImportedMovie &movie = outcome.added.first();
        QCOMPARE(movie.sourcePath, path);
        QCOMPARE(movie.movieFile, QStringLiteral("Some Game.Swf"));
        QCOMPARE(movie.title, QStringLiteral("Some Game"));
        QVERIFY(movie.copied);
        QCOMPARE(testfiles::contentOf(flash(movie.movieFile)), bytes);
        QCOMPARE(testfiles::filesIn(flash()), QStringList{movie.movieFile});
    } else {
        QVERIFY(outcome.added.isEmpty());
        QCOMPARE(outcome.refused.size(), 1);
        QCOMPARE(outcome.refused.first().sourcePath, path);
        QCOMPARE(int(outcome.refused.first().kind), refusedAs);
        QVERIFY(!outcome.refused.first().reason.isEmpty());
        QVERIFY(testfiles::filesIn(flash()).isEmpty());
    }
}

void TestMovieImport::whatIsNoRegularFileIsNeverOpened()
{
    const QString fifo = src(QStringLiteral("pipe.swf"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString locked = writeSource(QStringLiteral("locked.swf"), fws("body"));
    QVERIFY(QFile::setPermissions(locked, {}));
    const bool root = ::geteuid() == 0;

    // Opening the FIFO would block the worker for ever: finishing at all is the first check.
    const Outcome outcome = run({fifo, QStringLiteral("/dev/zero"), src(QStringLiteral("gone.swf")), locked});
    QCOMPARE(outcome.lastProgress, qMakePair(4, 4));
    QCOMPARE(outcome.refused.size(), root ? 3 : 4);
    QCOMPARE(outcome.refused.at(0).kind, Kind::NotAMovie);
    QCOMPARE(outcome.refused.at(1).kind, Kind::NotAMovie);
    QCOMPARE(outcome.refused.at(2).kind, Kind::Unreadable);
    if (!root)
        QCOMPARE(outcome.refused.at(3).kind, Kind::Unreadable);
}

void TestMovieImport::takenNamesGetTheNextNumber()
{
    QVERIFY(QDir().mkpath(flash()) && QDir().mkpath(src(QStringLiteral("a"))));
    for (const char *name : {"game.swf", "game-2.swf", "Old.SWF"})
        QVERIFY(testfiles::writeFile(flash(QLatin1String(name)), fws(name)));
    const QStringList sources = {writeSource(QStringLiteral("game.swf"), fws("new game")),
                                 writeSource(QStringLiteral("Old.SWF"), fws("new old")),
                                 writeSource(QStringLiteral("tab\there\x01.swf"), fws("control")),
                                 writeSource(QStringLiteral("a/game.swf"), fws("another new game"))};

    const Outcome outcome = run(sources);
    QVERIFY(outcome.refused.isEmpty());
    QCOMPARE(outcome.fileNames(), QStringList({QStringLiteral("game-3.swf"), QStringLiteral("Old-2.SWF"),
                                               QStringLiteral("tab_here_.swf"), QStringLiteral("game-4.swf")}));
    QCOMPARE(outcome.added.at(0).title, QStringLiteral("game"));
    QCOMPARE(outcome.added.at(1).title, QStringLiteral("Old"));
    QCOMPARE(outcome.added.at(2).title, QStringLiteral("tab_here_"));
    QCOMPARE(testfiles::contentOf(flash(QStringLiteral("game.swf"))), fws("game.swf"));
    QCOMPARE(testfiles::contentOf(flash(QStringLiteral("game-4.swf"))), fws("another new game"));
    QCOMPARE(testfiles::filesIn(flash()).size(), 7);
}

void TestMovieImport::identicalContentIsReusedWhateverItsName()
{
    QVERIFY(QDir().mkpath(flash()) && QDir().mkpath(src(QStringLiteral("b"))));
    QVERIFY(testfiles::writeFile(flash(QStringLiteral("stored.swf")), fws("shared")));
    QVERIFY(testfiles::writeFile(flash(QStringLiteral("same size.swf")), fws("SHARED")));
    const QString mine = writeSource(QStringLiteral("mine.swf"), fws("shared"));
    const QString fresh = writeSource(QStringLiteral("fresh.swf"), fws("fresh"));
    const QString freshCopy = writeSource(QStringLiteral("b/fresh copy.swf"), fws("fresh"));

    // The same path twice, and the same content under two names, give one movie each.
    const Outcome outcome = run({mine, fresh, mine, freshCopy, src(QStringLiteral("b/../mine.swf"))});
    QVERIFY(outcome.refused.isEmpty());
    QCOMPARE(outcome.lastProgress, qMakePair(3, 3));
    QCOMPARE(outcome.fileNames(), QStringList({QStringLiteral("stored.swf"), QStringLiteral("fresh.swf")}));
    QCOMPARE(outcome.added.at(0).sourcePath, mine);
    QCOMPARE(outcome.added.at(0).title, QStringLiteral("mine"));
    QVERIFY(!outcome.added.at(0).copied);
    QVERIFY(outcome.added.at(1).copied);
    QCOMPARE(testfiles::filesIn(flash()).size(), 3);
}

void TestMovieImport::foldersGiveTheirMoviesOnly()
{
    const QDir source(src(QString()));
    QVERIFY(source.mkpath(QStringLiteral("sub")) && source.mkdir(QStringLiteral("folder.swf")));
    for (const char *name : {"b.swf", "A.SWF", "c.Swf", "notes.txt", "swf", "sub/d.swf"})
        QVERIFY(testfiles::writeFile(source.filePath(QLatin1String(name)), fws("x")));
    QCOMPARE(::mkfifo(QFile::encodeName(source.filePath(QStringLiteral("pipe.swf"))).constData(), 0600), 0);

    // A file named explicitly is taken whatever its name.
    const QStringList expected = {src(QStringLiteral("A.SWF")), src(QStringLiteral("b.swf")),
                                  src(QStringLiteral("c.Swf")), src(QStringLiteral("notes.txt"))};
    QCOMPARE(MovieImport::expand({source.path(), src(QStringLiteral("b.swf")), src(QStringLiteral("./notes.txt")),
                                  source.path() + QStringLiteral("/"), QString()}),
             expected);
}

void TestMovieImport::oddNamesAreRefusedOrTitledPlainly_data()
{
    QTest::addColumn<QByteArray>("name"); // the file's name as bytes on disk
    QTest::addColumn<bool>("viaFolder");  // the folder is chosen rather than the file
    QTest::addColumn<int>("refusedAs");   // -1: added
    QTest::addColumn<QString>("title");

    QTest::newRow("dot dot") << QByteArray("..swf") << true << int(Kind::HiddenName) << QString();
    QTest::newRow("hidden, in a folder") << QByteArray(".hidden.swf") << true << int(Kind::HiddenName) << QString();
    QTest::newRow("hidden, chosen") << QByteArray(".hidden.swf") << false << int(Kind::HiddenName) << QString();
    QTest::newRow("not UTF-8, in a folder") << QByteArray("bad\xff.swf") << true << int(Kind::BadName) << QString();
    QTest::newRow("not UTF-8, chosen") << QByteArray("bad\xff.swf") << false << int(Kind::BadName) << QString();
    QTest::newRow("right-to-left override")
        << QByteArray("abc\u202Edef.swf") << false << -1 << QStringLiteral("abcdef");
    QTest::newRow("isolates, marks, zero width")
        << QByteArray("\u2067a\u2069\u200Fb\u200Bc\uFEFF.swf") << true << -1 << QStringLiteral("abc");
    QTest::newRow("joiners kept") << QByteArray("a\u200Cb\u200Dc.swf") << false << -1
                                  << QString::fromUtf8("a\u200Cb\u200Dc");
}

void TestMovieImport::oddNamesAreRefusedOrTitledPlainly()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, viaFolder);
    QFETCH(int, refusedAs);
    QFETCH(QString, title);
    // Written by its bytes: an invalid UTF-8 name has no QString that reaches it.
    const QByteArray movie = fws("odd");
    FILE *file = std::fopen((QFile::encodeName(src(QString())) + name).constData(), "wb");
    QVERIFY(file && std::fwrite(movie.constData(), 1, size_t(movie.size()), file) == size_t(movie.size()));
    std::fclose(file);

    const Outcome outcome = run({viaFolder ? src(QString()) : src(QFile::decodeName(name))});
    QCOMPARE(outcome.added.size() + outcome.refused.size(), 1);
    if (refusedAs < 0) {
        QCOMPARE(outcome.added.value(0).title, title);
    } else {
        QCOMPARE(int(outcome.refused.value(0).kind), refusedAs);
        QCOMPARE(QFileInfo(outcome.refused.value(0).sourcePath).fileName(), QFile::decodeName(name));
        QVERIFY(!outcome.refused.value(0).reason.isEmpty());
    }
}

void TestMovieImport::cancelLeavesNoPartialFile()
{
    // Sparse, so it costs no disk unless copied; big enough to be caught in the middle of its copy.
    const QString big = src(QStringLiteral("big.swf"));
    const qint64 bigSize = MovieDownload::defaultMaxBytes / 2;
    QVERIFY(testfiles::writeFile(big, swf('F', quint32(bigSize), QByteArray())));
    QVERIFY(QFile::resize(big, bigSize));
    const QStringList sources = {writeSource(QStringLiteral("small.swf"), fws("small")), big,
                                 writeSource(QStringLiteral("after.swf"), fws("after"))};
    // The big copy may have no name yet (O_TMPFILE): it shows as an open descriptor on the folder.
    const auto waitForCopy = [this] {
        for (int i = 0; i < 10000; QThread::msleep(1), ++i) {
            if (!QFile::exists(flash(QStringLiteral("small.swf"))))
                continue; // the small one comes first and is never cancelled
            const QFileInfoList fds =
                QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System);
            if (std::any_of(fds.cbegin(), fds.cend(),
                            [this](auto &fd) { return fd.symLinkTarget().startsWith(flash()); }))
                return true;
        }
        return false;
    };

    const Outcome outcome = run(sources, MovieDownload::defaultMaxBytes, [&](MovieImport &import) {
        QVERIFY(waitForCopy());
        import.cancel();
    });
    QCOMPARE(outcome.fileNames(), QStringList{QStringLiteral("small.swf")});
    QVERIFY(outcome.refused.isEmpty());
    QCOMPARE(testfiles::filesIn(flash()), QStringList{QStringLiteral("small.swf")});

    // Destroyed in the middle of a copy: it waits for the worker, which leaves nothing behind.
    auto doomed = std::make_unique<MovieImport>(flash());
    doomed->start({big});
    QVERIFY(waitForCopy());
    doomed.reset();
    QCOMPARE(testfiles::filesIn(flash()), QStringList{QStringLiteral("small.swf")});
}

QTEST_GUILESS_MAIN(TestMovieImport)
#include "tst_movieimport.moc"
