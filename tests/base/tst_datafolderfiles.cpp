#include "base/datafile.h"
#include "base/library/gamestore.h"
#include "base/library/incomingfile.h"
#include "base/library/libraryfolders.h"
#include "base/portal/downloadqueue.h"
#include "base/portal/moviedownload.h"
#include "portalserver.h"
#include "testfiles.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

static constexpr int waitMs = 20000;

// Whatever lies in the data folder under the name of a file the program writes or reads (a link out of it, a FIFO,
// a device, a folder) is never followed, waited on or read without end: nothing outside changes, and the program
// goes on sensibly (the download starts over, the file is replaced or passed over).
class TestDataFolderFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void plantedFilesAreNeverFollowed_data();
    void plantedFilesAreNeverFollowed();

private:
    DownloadResult download(const QString &movie, const QString &key);

    PortalServer m_server;
    QNetworkAccessManager m_network;
    QTemporaryDir m_data, m_outside;
};

DownloadResult TestDataFolderFiles::download(const QString &movie, const QString &key)
{
    MovieDownload job(&m_network, m_server.url(movie), m_data.filePath(QStringLiteral("flash/game.swf")));
    job.setResumeKey(key);
    QSignalSpy finished(&job, &MovieDownload::finished);
    job.start();
    return QTest::qWaitFor([&] { return !finished.isEmpty(); }, waitMs)
               ? finished.first().first().value<DownloadResult>()
               : DownloadResult{};
}

void TestDataFolderFiles::plantedFilesAreNeverFollowed_data()
{
    QTest::addColumn<QString>("file"); // where it lies in the data folder
    QTest::addColumn<QString>("kind");
    const QStringList files{QStringLiteral("flash/.partial-7"), QStringLiteral("flash/.partial-7.json"),
                            QStringLiteral("downloads.json"),   QStringLiteral("flash/game.swf"),
                            QStringLiteral("pic/game.png"),     QStringLiteral("saves.zip"),
                            QStringLiteral("settings.ini"),     LibraryFolders::libraryFileName()};
    for (const QString &file : files) {
        for (const char *kind : {"link", "fifo", "device", "folder"})
            QTest::addRow("%s %s", qPrintable(file), kind) << file << QString::fromLatin1(kind);
    }
}

void TestDataFolderFiles::plantedFilesAreNeverFollowed()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    ::alarm(2 * waitMs / 1000); // a row that hangs ends the program: it fails, never waits for good
    QVERIFY(QDir(m_data.path()).removeRecursively() && QDir().mkpath(m_data.filePath(QStringLiteral("flash"))) &&
            QDir().mkpath(m_data.filePath(QStringLiteral("pic"))));
    const QString outside = m_outside.filePath(QStringLiteral("outside.txt"));
    QVERIFY(testfiles::writeFile(outside, "outside"));
    const QString path = m_data.filePath(file);
    const QByteArray name = QFile::encodeName(path);
    QVERIFY(kind == QLatin1String("link")     ? QFile::link(outside, path)
            : kind == QLatin1String("device") ? QFile::link(QStringLiteral("/dev/zero"), path)
            : kind == QLatin1String("fifo")   ? ::mkfifo(name.constData(), 0600) == 0
                                              : QDir().mkdir(path));
    const bool folder = kind == QLatin1String("folder");

    // What the program does with the file, and whether it then lies there as a regular file of its own, or what was
    // planted stays (a folder is never removed).
    bool replaced = true;
    bool planted = folder;
    if (file.startsWith(QLatin1String("flash/"))) {
        // A partial's description is written by a run cut short, and read by the next.
        if (file.endsWith(QLatin1String(".json")))
            QCOMPARE(download(QStringLiteral("fault/cut-3000/movies/size-5000.swf"), QStringLiteral("7")).status,
                     DownloadResult::Status::Failed);
        const DownloadResult result = download(QStringLiteral("movies/size-5000.swf"), QStringLiteral("7"));
        QCOMPARE(result.status, folder && file.endsWith(QLatin1String(".swf")) ? DownloadResult::Status::Failed
                                                                               : DownloadResult::Status::Completed);
        replaced = file.endsWith(QLatin1String(".swf"));
        if (result.status == DownloadResult::Status::Completed)
            QCOMPARE(QFileInfo(m_data.filePath(QStringLiteral("flash/game.swf"))).size(), 5000);
    } else if (file == QLatin1String("pic/game.png")) {
        IncomingFile picture(m_data.filePath(QStringLiteral("pic")));
        QVERIFY(picture.open() && picture.write("\x89PNG"));
        QCOMPARE(picture.place(FileNaming{QStringLiteral("game.png"), true, {}, true}),
                 folder ? QStringLiteral("game-2.png") : QStringLiteral("game.png"));
    } else if (file == QLatin1String("downloads.json")) {
        DownloadQueue queue;
        queue.setFile(path);
        QVERIFY(queue.read().isEmpty());
        queue.add(m_server.url(QStringLiteral("game.asp?id=7")));
        queue.flush();
        QCOMPARE(queue.read().size(), folder ? 0 : 1);
    } else if (file == QLatin1String("saves.zip")) {
        QCOMPARE(datafile::writeAtomic(path, "PK"), !folder); // as the saves are exported
    } else if (file == LibraryFolders::libraryFileName()) {
        // Refused and left alone: the games' files are named by whatever library it stands for.
        GameStore store(m_data.path());
        QVERIFY(!store.open_db());
        planted = true;
    } else {
        datafile::dropUnlessRegular(path); // as the player's controls do before their settings are read or written
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("sound/volume")), QVariant());
        settings.setValue(QStringLiteral("sound/volume"), 40);
        settings.sync();
    }

    ::alarm(0);
    QCOMPARE(testfiles::contentOf(outside), QByteArray("outside"));
    QCOMPARE(QDir(m_outside.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList{QStringLiteral("outside.txt")});
    const QFileInfo now(path);
    if (planted)
        QVERIFY(folder ? now.isDir() : now.isSymLink() || (now.exists() && !now.isFile()));
    else if (replaced)
        QVERIFY(now.isFile() && !now.isSymLink());
    else // a partial and its description go once the movie is whole
        QVERIFY(!now.exists() && !now.isSymLink());
}

QTEST_GUILESS_MAIN(TestDataFolderFiles)
#include "tst_datafolderfiles.moc"
