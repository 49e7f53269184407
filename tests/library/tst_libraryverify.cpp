// Verifying a real library against real files: what each kind of damage is found as, which files count as
// unused, the digests a first verification records, and stopping part way.
#include "base/library/library.h"
#include "base/library/libraryverify.h"
#include "filledlibrary.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Shelf : FilledLibrary
{
    Library library{path()};

    Shelf()
        : FilledLibrary({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QStringLiteral("one.png"), QString()},
                         {2, QStringLiteral("Two"), QStringLiteral("two.swf"), QStringLiteral("two.png"), QString()}})
    {
        write(QStringLiteral("flash/one.swf"), QByteArray(5000, 'o'));
        write(QStringLiteral("flash/two.swf"), QByteArray(7000, 't'));
        writeFiles({QStringLiteral("pic/one.png"), QStringLiteral("pic/two.png")});
    }
    void write(const QString &relative, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        QFile file(app.filePath(relative));
        file.open(mode);
        file.write(bytes);
    }
    VerifyReport verify(const std::function<void(LibraryVerify &)> &meanwhile = {})
    {
        LibraryVerify verify(&library);
        QSignalSpy finished(&verify, &LibraryVerify::finished);
        verify.start();
        if (meanwhile)
            meanwhile(verify);
        if (finished.isEmpty() && !finished.wait(60000))
            return {};
        return finished.first().first().value<VerifyReport>();
    }
};

} // namespace

Q_DECLARE_METATYPE(VerifyReport)

class TestLibraryVerify : public QObject
{
    Q_OBJECT

private slots:
    void damageIsFoundForWhatItIs_data();
    void damageIsFoundForWhatItIs();
    void cancelledVerificationStopsReadingAndOffersNoFiles();
    void keptFilesAreCheckedAndWhatNoRecordNamesIsListed_data();
    void keptFilesAreCheckedAndWhatNoRecordNamesIsListed();
};

void TestLibraryVerify::damageIsFoundForWhatItIs_data()
{
    QTest::addColumn<int>("movie"); // what game One's movie is found as
    QTest::addColumn<bool>("pictureMissing");
    QTest::addColumn<QStringList>("unusedMovies");
    QTest::addColumn<QStringList>("unusedPictures");
    using M = GameCheck::Movie;
    QTest::newRow("none") << int(M::Intact) << false << QStringList() << QStringList();
    QTest::newRow("movie missing") << int(M::Missing) << false << QStringList() << QStringList();
    QTest::newRow("movie grew") << int(M::SizeChanged) << false << QStringList() << QStringList();
    QTest::newRow("same size, other bytes") << int(M::ContentChanged) << false << QStringList() << QStringList();
    QTest::newRow("picture missing") << int(M::Intact) << true << QStringList() << QStringList();
    QTest::newRow("files no game names") << int(M::Intact) << false
                                         << QStringList{QStringLiteral("a.swf"), QStringLiteral("z.txt")}
                                         << QStringList{QStringLiteral("stray.png")};
    // What a file system that ignores case does to "ONE.swf" beside a game's "one.swf": both open one file.
    QTest::newRow("another spelling of a game's files") << int(M::Intact) << false << QStringList() << QStringList();
    // Files still coming in, and what a game on its way holds before its row names it.
    QTest::newRow("hidden, held and advertisement files") << int(M::Intact) << false << QStringList() << QStringList();
}

void TestLibraryVerify::damageIsFoundForWhatItIs()
{
    const QString damage = QString::fromLatin1(QTest::currentDataTag());
    QFETCH(int, movie);
    QFETCH(bool, pictureMissing);
    QFETCH(QStringList, unusedMovies);
    QFETCH(QStringList, unusedPictures);
    Shelf lib;
    // The games were recorded before digests were kept: the first verification records them.
    const VerifyReport first = lib.verify();
    QCOMPARE(first.digestsRecorded, 2);
    QVERIFY(first.damaged.isEmpty());
    QCOMPARE(lib.library.store().movieDigests()->size(), 2);

    if (damage == QLatin1String("movie missing"))
        QVERIFY(QFile::remove(lib.app.filePath(QStringLiteral("flash/one.swf"))));
    else if (damage == QLatin1String("movie grew"))
        lib.write(QStringLiteral("flash/one.swf"), "x", QIODevice::Append);
    else if (damage == QLatin1String("same size, other bytes"))
        lib.write(QStringLiteral("flash/one.swf"), QByteArray(5000, 'O'));
    else if (damage == QLatin1String("picture missing"))
        QVERIFY(QFile::remove(lib.app.filePath(QStringLiteral("pic/one.png"))));
    else if (damage == QLatin1String("files no game names"))
        lib.writeFiles({QStringLiteral("flash/z.txt"), QStringLiteral("flash/a.swf"), QStringLiteral("pic/stray.png")});
    else if (damage == QLatin1String("another spelling of a game's files")) {
        for (const QString &file : {QStringLiteral("flash/one.swf"), QStringLiteral("pic/one.png")}) {
            const QByteArray from = QFile::encodeName(lib.app.filePath(file));
            QVERIFY(::link(from.constData(), QByteArray(from).replace("/one.", "/ONE.").constData()) == 0);
        }
    } else if (damage == QLatin1String("hidden, held and advertisement files")) {
        lib.writeFiles({QStringLiteral("flash/.partial-101"), QStringLiteral("pic/.incoming"),
                        QStringLiteral("pic/gg_ad.swf"), QStringLiteral("flash/coming.swf"),
                        QStringLiteral("pic/coming.png")});
        lib.library.setFilesInUse(
            [](GameFile, const QString &name) { return name.startsWith(QLatin1String("coming")); });
    }

    const VerifyReport report = lib.verify();
    QVERIFY(!report.cancelled);
    QCOMPARE(report.gamesChecked, 2);
    QCOMPARE(report.digestsRecorded, 0);
    const bool found = movie != int(GameCheck::Movie::Intact) || pictureMissing;
    QCOMPARE(report.damaged.size(), found ? 1 : 0);
    if (found) {
        QCOMPARE(report.damaged.first().game.title, QStringLiteral("One"));
        QCOMPARE(int(report.damaged.first().movie), movie);
        QCOMPARE(report.damaged.first().pictureMissing, pictureMissing);
    }
    QCOMPARE(report.orphanMovies, unusedMovies);
    QCOMPARE(report.orphanPictures, unusedPictures);
    // Finding is all it does.
    QCOMPARE(lib.library.gameCount(), std::optional<qint64>(2));
}

void TestLibraryVerify::cancelledVerificationStopsReadingAndOffersNoFiles()
{
    Shelf lib;
    lib.writeFile(QStringLiteral("flash/stray.swf"));
    // A movie far too large to be read before the first progress is heard of (sparse: it takes no disk).
    constexpr qint64 huge = 8LL * 1024 * 1024 * 1024;
    QVERIFY(QFile::resize(lib.app.filePath(QStringLiteral("flash/one.swf")), huge));
    const VerifyReport report = lib.verify([](LibraryVerify &verify) {
        QObject::connect(&verify, &LibraryVerify::progress, &verify, &LibraryVerify::cancel);
    });
    QVERIFY(report.cancelled);
    QVERIFY(report.bytesRead < huge);
    QVERIFY(report.orphanMovies.isEmpty());
    QVERIFY(!lib.library.store().movieDigest(1));
}

void TestLibraryVerify::keptFilesAreCheckedAndWhatNoRecordNamesIsListed_data()
{
    QTest::addColumn<QStringList>("missing"); // game One's kept files found missing
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QStringList>("unnamed"); // under companion/
    const QString a = QStringLiteral("files/a.txt");
    QTest::newRow("intact, a file coming in") << QStringList() << QStringList() << QStringList();
    QTest::newRow("missing") << QStringList{a} << QStringList() << QStringList();
    QTest::newRow("grew") << QStringList() << QStringList{a} << QStringList();
    QTest::newRow("other bytes") << QStringList() << QStringList{a} << QStringList();
    QTest::newRow("unnamed files and folders of no game")
        << QStringList() << QStringList()
        << QStringList{QStringLiteral("1/files/extra.txt"), QStringLiteral("99"), QStringLiteral("x")};
    // What a link or FIFO leads to is never read: a link to the very bytes recorded still leaves the file missing.
    QTest::newRow("link to the same bytes") << QStringList{a} << QStringList() << QStringList{QStringLiteral("1/") + a};
    QTest::newRow("link in place of a folder")
        << QStringList{a} << QStringList() << QStringList{QStringLiteral("1/files")};
    QTest::newRow("FIFO") << QStringList{a} << QStringList() << QStringList{QStringLiteral("1/") + a};
}

void TestLibraryVerify::keptFilesAreCheckedAndWhatNoRecordNamesIsListed()
{
    const QString damage = QString::fromLatin1(QTest::currentDataTag());
    QFETCH(QStringList, missing);
    QFETCH(QStringList, changed);
    QFETCH(QStringList, unnamed);
    Shelf lib;
    const QByteArray bytes(3000, 'k');
    for (const QString &folder : {QStringLiteral("companion/1/files"), QStringLiteral("outside")}) {
        QVERIFY(QDir(lib.app.path()).mkpath(folder));
        lib.write(folder + QStringLiteral("/a.txt"), bytes);
    }
    QVERIFY(lib.library.store().recordKeptFile(
        1, {QStringLiteral("files/a.txt"), bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)}));
    const QString a = lib.app.filePath(QStringLiteral("companion/1/files/a.txt"));
    if (damage.startsWith(QLatin1String("intact")))
        lib.write(QStringLiteral("companion/1/files/.incoming"), "x");
    else if (damage == QLatin1String("missing"))
        QVERIFY(QFile::remove(a));
    else if (damage == QLatin1String("grew"))
        lib.write(QStringLiteral("companion/1/files/a.txt"), "x", QIODevice::Append);
    else if (damage == QLatin1String("other bytes"))
        lib.write(QStringLiteral("companion/1/files/a.txt"), QByteArray(3000, 'K'));
    else if (damage.startsWith(QLatin1String("unnamed"))) {
        QVERIFY(QDir(lib.app.path()).mkpath(QStringLiteral("companion/99/deep")));
        lib.writeFiles({QStringLiteral("companion/1/files/extra.txt"), QStringLiteral("companion/99/deep/y"),
                        QStringLiteral("companion/x")});
    } else if (damage == QLatin1String("link to the same bytes"))
        QVERIFY(QFile::remove(a) && QFile::link(lib.app.filePath(QStringLiteral("outside/a.txt")), a));
    else if (damage == QLatin1String("link in place of a folder"))
        QVERIFY(QDir(lib.app.filePath(QStringLiteral("companion/1/files"))).removeRecursively() &&
                QFile::link(lib.app.filePath(QStringLiteral("outside")),
                            lib.app.filePath(QStringLiteral("companion/1/files"))));
    else if (damage == QLatin1String("FIFO"))
        QVERIFY(QFile::remove(a) && ::mkfifo(QFile::encodeName(a).constData(), 0600) == 0);

    const VerifyReport report = lib.verify();
    QCOMPARE(report.damaged.size(), missing.size() + changed.size());
    if (!report.damaged.isEmpty()) {
        QCOMPARE(report.damaged.first().keptMissing, missing);
        QCOMPARE(report.damaged.first().keptChanged, changed);
    }
    QCOMPARE(report.orphanCompanions, unnamed);
    if (damage.startsWith(QLatin1String("intact")))
        QCOMPARE(report.bytesRead, 5000 + 7000 + bytes.size());
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestLibraryVerify tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_libraryverify.moc"
