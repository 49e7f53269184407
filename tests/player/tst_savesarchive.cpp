#include "base/player/savesarchive.h"
#include "player/profilesaves.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QtEndian>

#include <zlib.h>

using namespace savesarchive;

Q_DECLARE_METATYPE(savesarchive::Problem)

namespace {

QByteArray manifest(const QJsonObject &game, int version = formatVersion, const char *format = formatName)
{
    const QJsonObject whole{{QStringLiteral("format"), QString::fromLatin1(format)},
                            {QStringLiteral("version"), version},
                            {QStringLiteral("games"), QJsonArray{game}}};
    return QJsonDocument(whole).toJson();
}

QJsonObject game(const QString &movie, const QString &file, const QString &key)
{
    return {{QStringLiteral("movie"), movie},
            {QStringLiteral("gameid"), QStringLiteral("7")},
            {QStringLiteral("objects"),
             QJsonArray{QJsonObject{{QStringLiteral("file"), file}, {QStringLiteral("key"), key}}}}};
}

// An export whose one object has this zip name and this key.
QByteArray exportNaming(const QString &file, const QString &key, const QString &movie = QStringLiteral("a.swf"))
{
    return zip({{QString::fromLatin1(manifestName), manifest(game(movie, file, key))}, {file, "TCSO sol data"}});
}

// A manifest whose one game has `count` objects, all of them the file `file`.
QByteArray naming(const QString &file, int count)
{
    QJsonArray objects;
    for (int i = 0; i < count; ++i)
        objects.append(QJsonObject{{QStringLiteral("file"), file}, {QStringLiteral("key"), QString::number(i)}});
    return manifest({{QStringLiteral("movie"), QStringLiteral("a.swf")}, {QStringLiteral("objects"), objects}});
}

// The zip of these entries with the last one's data deflated, as other zip tools write it: the deflated bytes
// stored, then that entry's headers (the last in the directory, and the one it points to) telling so.
QByteArray deflatingLast(QVector<ZipEntry> entries)
{
    const QByteArray data = entries.last().data;
    entries.last().data = qCompress(data, 9).mid(6).chopped(4); // the raw stream, without zlib's frame
    QByteArray file = zip(entries);
    const qsizetype central = file.lastIndexOf(entries.last().name.toUtf8()) - 46;
    const qsizetype local = qFromLittleEndian<quint32>(file.constData() + central + 42);
    const auto crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
    for (const qsizetype method : {local + 8, central + 10}) {
        qToLittleEndian<quint16>(8, file.data() + method);
        qToLittleEndian<quint32>(crc, file.data() + method + 6);
        qToLittleEndian<quint32>(quint32(data.size()), file.data() + method + 14);
    }
    return file;
}

} // namespace

// The saves file is read back as written, and anything else is refused whole, saying why.
class TestSavesArchive : public QObject
{
    Q_OBJECT

private slots:
    void readsBackWhatItWrote();
    void refusesWhatIsNoSafeExport_data();
    void refusesWhatIsNoSafeExport();
    void savesGoToTheSameGameOnly_data();
    void savesGoToTheSameGameOnly();
};

void TestSavesArchive::readsBackWhatItWrote()
{
    const QVector<GameSaves> games{
        {QStringLiteral("中文 游戏 (1).swf"),
         QStringLiteral("12"),
         QStringLiteral("游戏"),
         {{QStringLiteral("score"), QByteArray("\x00\xbf\x00\x00\x00\x10TCSO", 10)},
          {QStringLiteral("~app//score"), QByteArray(70000, 'x')}}},
        {QStringLiteral("b.swf"), QStringLiteral("-1"), QString(), {{QStringLiteral("../../up"), "y"}}},
    };
    const ReadResult back = read(write(games));
    QCOMPARE(back.problem, Problem::UnsafeName); // a key that climbs is never written, whoever wrote it

    QVector<GameSaves> safe = games;
    safe[1].objects[0].key = QStringLiteral("up");
    const ReadResult again = read(write(safe));
    QCOMPARE(again.problem, Problem::None);
    QCOMPARE(again.games.size(), 2);
    for (int g = 0; g < 2; ++g) {
        QCOMPARE(again.games[g].movieFile, safe[g].movieFile);
        QCOMPARE(again.games[g].gameId, safe[g].gameId);
        QCOMPARE(again.games[g].title, safe[g].title);
        QCOMPARE(again.games[g].objects.size(), safe[g].objects.size());
        for (int o = 0; o < safe[g].objects.size(); ++o) {
            QCOMPARE(again.games[g].objects[o].key, safe[g].objects[o].key);
            QCOMPARE(again.games[g].objects[o].data, safe[g].objects[o].data);
        }
    }
}

void TestSavesArchive::refusesWhatIsNoSafeExport_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Problem>("problem");
    const QString m = QString::fromLatin1(manifestName);
    const QByteArray good = exportNaming(QStringLiteral("a.swf/score.sol"), QStringLiteral("score"));
    QByteArray altered = good;
    altered[altered.indexOf("TCSO sol data")] = 'X';

    QTest::newRow("an empty file") << QByteArray() << Problem::NotAnExport;
    QTest::newRow("a text file") << QByteArray("high score: 100\n") << Problem::NotAnExport;
    QTest::newRow("a zip without the manifest") << zip({{QStringLiteral("a.sol"), "x"}}) << Problem::NotAnExport;
    QTest::newRow("another program's manifest")
        << zip({{m, manifest(game(QStringLiteral("a.swf"), QStringLiteral("a.sol"), QStringLiteral("a")), formatVersion,
                             "other")},
                {QStringLiteral("a.sol"), "x"}})
        << Problem::NotAnExport;
    QTest::newRow("a later version") << zip({{m, manifest(game(QStringLiteral("a.swf"), QStringLiteral("a.sol"),
                                                               QStringLiteral("a")),
                                                          formatVersion + 1)},
                                             {QStringLiteral("a.sol"), "x"}})
                                     << Problem::NewerFormat;
    QTest::newRow("cut short") << good.left(good.size() / 2) << Problem::NotAnExport;
    QTest::newRow("altered") << altered << Problem::Damaged;
    QTest::newRow("an object the zip lacks")
        << zip({{m, manifest(game(QStringLiteral("a.swf"), QStringLiteral("gone.sol"), QStringLiteral("a")))}})
        << Problem::Damaged;
    QTest::newRow("a name climbing out") << exportNaming(QStringLiteral("../x.sol"), QStringLiteral("x"))
                                         << Problem::UnsafeName;
    QTest::newRow("an absolute name") << exportNaming(QStringLiteral("/tmp/x.sol"), QStringLiteral("x"))
                                      << Problem::UnsafeName;
    QTest::newRow("backslashes") << exportNaming(QStringLiteral("a.swf\\..\\..\\x.sol"), QStringLiteral("x"))
                                 << Problem::UnsafeName;
    QTest::newRow("a drive") << exportNaming(QStringLiteral("C:/x.sol"), QStringLiteral("x")) << Problem::UnsafeName;
    QTest::newRow("a key climbing to another movie")
        << exportNaming(QStringLiteral("a.swf/x.sol"), QStringLiteral("../b.swf/x")) << Problem::UnsafeName;
    QTest::newRow("an absolute key") << exportNaming(QStringLiteral("a.swf/x.sol"), QStringLiteral("/x"))
                                     << Problem::UnsafeName;
    const QString big = QStringLiteral("big.sol");
    const QByteArray mib(1024 * 1024, 'b');
    QTest::newRow("one entry named by more objects than an export holds")
        << zip({{m, naming(QStringLiteral("a.sol"), maxObjects + 1)}, {QStringLiteral("a.sol"), "x"}})
        << Problem::TooLarge;
    QTest::newRow("one stored MiB named by 65 objects") << zip({{m, naming(big, 65)}, {big, mib}}) << Problem::TooLarge;
    QTest::newRow("one deflated MiB named by 400 objects")
        << deflatingLast({{m, naming(big, 400)}, {big, mib}}) << Problem::TooLarge;
    QTest::newRow("a deflated entry larger than an export")
        << deflatingLast({{m, naming(big, 1)}, {big, QByteArray(maxFileSize + 1, 'b')}}) << Problem::TooLarge;
    QTest::newRow("a movie with a path") << exportNaming(QStringLiteral("a.swf/x.sol"), QStringLiteral("x"),
                                                         QStringLiteral("../a.swf"))
                                         << Problem::UnsafeName;
}

void TestSavesArchive::refusesWhatIsNoSafeExport()
{
    QFETCH(QByteArray, file);
    QFETCH(Problem, problem);
    const ReadResult result = read(file);
    QCOMPARE(result.problem, problem);
    QVERIFY(result.games.isEmpty());
}

void TestSavesArchive::savesGoToTheSameGameOnly_data()
{
    QTest::addColumn<QString>("savedId");
    QTest::addColumn<QString>("savedMovie");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("movie");
    QTest::addColumn<bool>("same");
    QTest::newRow("the server's game under another file name") << "12"
                                                               << "a.swf"
                                                               << "12"
                                                               << "a (2).swf" << true;
    QTest::newRow("another server game of the same file name") << "12"
                                                               << "a.swf"
                                                               << "13"
                                                               << "a.swf" << false;
    QTest::newRow("an own game: by its movie") << "-1"
                                               << "a.swf"
                                               << "-4"
                                               << "a.swf" << true;
    QTest::newRow("an own game's saves for a server game of the same file name") << "-1"
                                                                                 << "a.swf"
                                                                                 << "12"
                                                                                 << "a.swf" << false;
    QTest::newRow("saves without an id for a server game of the same file name") << ""
                                                                                 << "a.swf"
                                                                                 << "12"
                                                                                 << "a.swf" << false;
    QTest::newRow("an own game's id in another library") << "-1"
                                                         << "a.swf"
                                                         << "-1"
                                                         << "b.swf" << false;
}

void TestSavesArchive::savesGoToTheSameGameOnly()
{
    QFETCH(QString, savedId);
    QFETCH(QString, savedMovie);
    QFETCH(QString, id);
    QFETCH(QString, movie);
    QFETCH(bool, same);
    QCOMPARE(ProfileSaves::sameGame(GameSaves{savedMovie, savedId, QString(), {}}, SaveKeeper::Game{movie, id, {}}),
             same);
}

QTEST_GUILESS_MAIN(TestSavesArchive)
#include "tst_savesarchive.moc"
