#include "acquisitionfixture.h"
#include "base/portal/boundedreply.h"
#include "base/shell/startup.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testfiles::filesIn;
using testfiles::treeOf;

constexpr int waitMs = 15000;
constexpr int promptMs = 5000;
constexpr qint64 MiB = 1024 * 1024;

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// Files this process holds open in folder, named or not: a download's temporary file has no name.
int openFilesIn(const QString &folder)
{
    int count = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        if (fd.symLinkTarget().startsWith(folder + QLatin1Char('/')))
            ++count;
    }
    return count;
}

// Opens a FIFO for writing without waiting: that succeeds only while someone holds it open for reading.
bool fifoHasReader(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// Should the program block on reading a FIFO, this writer opens and closes the FIFOs after a while so that
// the read ends: the test then fails on its time limit instead of hanging.
class FifoRescue
{
public:
    explicit FifoRescue(const QStringList &paths)
        : m_thread([paths, stop = m_stop.get_future()] {
              if (stop.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
                  for (const QString &path : paths)
                      fifoHasReader(path);
              }
          })
    {
    }
    ~FifoRescue()
    {
        m_stop.set_value();
        m_thread.join();
    }

private:
    std::promise<void> m_stop;
    std::thread m_thread;
};

} // namespace

// The bottom-layer flows against a game server that misbehaves on purpose: local files and FIFOs offered as
// URLs, endless and oversized bodies, web pages instead of files. Each ends, promptly, with nothing left behind.
class TestHostileServer : public QObject, private AcquisitionFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hostileMovieFailsAndLeavesNothing_data();
    void hostileMovieFailsAndLeavesNothing();
    void hostilePictureInstallsTheGameWithoutIt_data();
    void hostilePictureInstallsTheGameWithoutIt();
    void hostileDetailsNameNoGame_data();
    void hostileDetailsNameNoGame();
    void longestTitleIsInstalled();
    void hostileStartup_data();
    void hostileStartup();
    void tricklingFileIsGivenUpAtItsTimeLimit();
    void malformedAnswerFailsTheRequest_data();
    void malformedAnswerFailsTheRequest();

private:
    QString trap(const char *name) const { return m_trapDir.filePath(QString::fromLatin1(name)); }
    // Every file of the application folder but those in flash/ and pic/ and the library.
    QStringList outsideTree() const;
    // Nothing open in flash/ or pic/, and the FIFOs untouched and unread.
    void verifyNothingLingers();
    // Fetches the game behind query and waits, at most maxMs, for the flow to end.
    void acquireWithin(const QString &query, int maxMs);

    QTemporaryDir m_trapDir;
    QStringList m_trapTree;
    QStringList m_treeBefore;
    QStringList m_outsideBefore;
    qint64 m_mostWritten = 0;
    QStringList m_unbounded; // replies whose read buffer had no bound, or too large a one
};

void TestHostileServer::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(PortalServer::executable()));
    QVERIFY(m_trapDir.isValid());
    for (const char *name : {"trap.swf", "trap.png"})
        QCOMPARE(::mkfifo(QFile::encodeName(trap(name)).constData(), 0600), 0);
    m_trapTree = treeOf(m_trapDir.path());
    QCOMPARE(m_trapTree.size(), 2);
}

void TestHostileServer::init()
{
    if (!setUpAcquisition())
        return;
    m_mostWritten = 0;
    connect(m_acquisition.get(), &GameAcquisition::progress, this,
            [this](qint64 written, std::optional<qint64>) { m_mostWritten = qMax(m_mostWritten, written); });
    // However busy the window, Qt may hold no more of any answer than a small buffer before it is taken.
    m_unbounded.clear();
    connect(m_network.get(), &QNetworkAccessManager::finished, this, [this](QNetworkReply *reply) {
        if (reply->readBufferSize() <= 0 || reply->readBufferSize() > ServerFetch::maxAnswerBytes + 1)
            m_unbounded << QStringLiteral("%1 (%2)").arg(reply->url().toString()).arg(reply->readBufferSize());
    });
    m_treeBefore = treeOf(m_folder->path());
    m_outsideBefore = outsideTree();
}

void TestHostileServer::cleanup()
{
    tearDownAcquisition();
    QVERIFY2(m_unbounded.isEmpty(), qPrintable(m_unbounded.join(QLatin1String(", "))));
}

QStringList TestHostileServer::outsideTree() const
{
    QStringList out = treeOf(m_folder->path());
    const QStringList ours{flashFolder() + QLatin1Char('/'), picFolder() + QLatin1Char('/'),
                           m_folder->filePath(GameStore::fileName())};
    out.removeIf([&](const QString &line) {
        return std::any_of(ours.begin(), ours.end(), [&](const QString &prefix) { return line.startsWith(prefix); });
    });
    return out;
}

void TestHostileServer::verifyNothingLingers()
{
    // A fetch that failed closes its file when its request object goes, a turn of the event loop later.
    QTRY_COMPARE(openFilesIn(flashFolder()) + openFilesIn(picFolder()), 0);
    QCOMPARE(treeOf(m_trapDir.path()), m_trapTree);
    QVERIFY(!fifoHasReader(trap("trap.swf")));
    QVERIFY(!fifoHasReader(trap("trap.png")));
}

void TestHostileServer::acquireWithin(const QString &query, int maxMs)
{
    FifoRescue rescue({trap("trap.swf"), trap("trap.png")});
    QElapsedTimer clock;
    clock.start();
    m_acquisition->fetchDetails(link(query));
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 1, maxMs);
    QVERIFY2(clock.elapsed() < maxMs, qPrintable(QString::number(clock.elapsed())));
}

void TestHostileServer::hostileMovieFailsAndLeavesNothing_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<qint64>("maxMovieBytes"); // 0: the default limit
    QTest::addColumn<int>("maxMs");
    QTest::newRow("local file") << QStringLiteral("id=4&movieurl=") + encoded(QStringLiteral("file:///etc/passwd"))
                                << qint64(0) << promptMs;
    QTest::newRow("data URL holding a movie signature")
        << QStringLiteral("id=4&movieurl=") + encoded(QStringLiteral("data:application/x-shockwave-flash,FWS"))
        << qint64(0) << promptMs;
    QTest::newRow("FIFO as file URL") << QStringLiteral("id=4&movieurl=") +
                                             encoded(QUrl::fromLocalFile(trap("trap.swf")).toString())
                                      << qint64(0) << promptMs;
    QTest::newRow("FIFO as bare path") << QStringLiteral("id=4&movieurl=") + encoded(trap("trap.swf")) << qint64(0)
                                       << promptMs;
    QTest::newRow("endless body over the limit") << "id=4&moviefault=endless" << 4 * MiB << waitMs;
    QTest::newRow("web page instead of the movie") << "id=4&moviefault=html" << qint64(0) << promptMs;
}

void TestHostileServer::hostileMovieFailsAndLeavesNothing()
{
    QFETCH(QString, query);
    QFETCH(qint64, maxMovieBytes);
    QFETCH(int, maxMs);

    if (maxMovieBytes > 0)
        m_acquisition->setMaxMovieBytes(maxMovieBytes);
    acquireWithin(query, maxMs);
    if (QTest::currentTestFailed())
        return;
    const AcquisitionResult result = m_results.first();
    QCOMPARE(result.status, AcquisitionResult::Status::Failed);
    QVERIFY(!result.errorText.isEmpty());
    QVERIFY(!m_acquisition->isDownloading());
    if (maxMovieBytes > 0)
        QVERIFY2(m_mostWritten <= maxMovieBytes, qPrintable(QString::number(m_mostWritten)));

    // No movie, partial or temporary, no picture, nothing else written; the library untouched.
    QVERIFY(filesIn(flashFolder()).isEmpty());
    QCOMPARE(treeOf(m_folder->path()), m_treeBefore);
    verifyNothingLingers();
    QCOMPARE(m_store->count(), std::optional<qint64>(0));

    const QStringList warnings = m_log->warnings(QStringLiteral("quillabrix.portal"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(result.game.movieUrl) && warnings.first().contains(result.errorText),
             qPrintable(warnings.first()));
}

void TestHostileServer::hostilePictureInstallsTheGameWithoutIt_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("checked"); // the picture check the window sets
    QTest::addColumn<bool>("kept");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("FIFO as file URL") << QStringLiteral("id=4&picurl=") +
                                             encoded(QUrl::fromLocalFile(trap("trap.png")).toString())
                                      << false << false << promptMs;
    QTest::newRow("FIFO as bare path") << QStringLiteral("id=4&picurl=") + encoded(trap("trap.png")) << false << false
                                       << promptMs;
    QTest::newRow("endless picture") << "id=4&picfault=endless" << false << false << waitMs;
    QTest::newRow("web page instead of the picture") << "id=4&picfault=html" << true << false << promptMs;
    QTest::newRow("real picture passes the check") << "id=4" << true << true << promptMs;
}

void TestHostileServer::hostilePictureInstallsTheGameWithoutIt()
{
    QFETCH(QString, query);
    QFETCH(bool, checked);
    QFETCH(bool, kept);
    QFETCH(int, maxMs);

    if (checked)
        m_acquisition->setPictureCheck([](const QByteArray &bytes) { return !QImage::fromData(bytes).isNull(); });
    acquireWithin(query, maxMs);
    if (QTest::currentTestFailed())
        return;
    const AcquisitionResult result = m_results.first();
    QCOMPARE(result.status, AcquisitionResult::Status::Installed);
    QVERIFY(result.recorded);

    // The movie whole (Pocket Racer is exactly 3000 bytes), the picture only when it was one.
    QCOMPARE(filesIn(flashFolder()), QStringList{result.game.movieFile});
    QCOMPARE(QFileInfo(QDir(flashFolder()).filePath(result.game.movieFile)).size(), 3000);
    QCOMPARE(filesIn(picFolder()), kept ? QStringList{result.game.pictureFile} : QStringList());
    QCOMPARE(outsideTree(), m_outsideBefore);
    verifyNothingLingers();
    QCOMPARE(m_store->count(), std::optional<qint64>(1));

    const QStringList warnings = m_log->warnings(QStringLiteral("quillabrix.portal"));
    QCOMPARE(warnings.size(), kept ? 0 : 1);
    if (!kept)
        QVERIFY2(warnings.first().contains(result.game.pictureUrl), qPrintable(warnings.first()));
}

void TestHostileServer::hostileDetailsNameNoGame_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("endless answer") << "fault=endless";
    QTest::newRow("answer over 1 MiB") << "id=4&titlelen=300000";
    QTest::newRow("title one character over 64 Ki") << "id=4&titlelen=65537";
}

void TestHostileServer::hostileDetailsNameNoGame()
{
    QFETCH(QString, query);

    // An endless answer never falls silent: only its size can end it.
    acquireWithin(query, waitMs);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_results.first().status, AcquisitionResult::Status::NoGame);
    QVERIFY(!QFileInfo::exists(flashFolder()));
    QCOMPARE(treeOf(m_folder->path()), m_treeBefore);
    verifyNothingLingers();
    QCOMPARE(m_store->count(), std::optional<qint64>(0));
    const QStringList warnings = m_log->warnings(QStringLiteral("quillabrix.portal"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(link(query).toString()), qPrintable(warnings.first()));
}

void TestHostileServer::longestTitleIsInstalled()
{
    acquireWithin(QStringLiteral("id=4&titlelen=65536"), waitMs);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_results.first().status, AcquisitionResult::Status::Installed);
    QVERIFY(m_results.first().recorded);
    const QVector<GameRecord> rows = m_store->gamesNewestFirst().value_or(QVector<GameRecord>());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().title.size(), 65536);
    QVERIFY(rows.first().title.startsWith(QLatin1String("Pocket Racerxxx")));
}

void TestHostileServer::hostileStartup_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("refuses");
    QTest::addColumn<bool>("mayKeepAds"); // whether the advertisements may be stored: only movies ever are
    QTest::addColumn<int>("maxMs");
    // Endless three-byte chunks take seconds to reach 1 MiB; without the cap the answer would never end.
    QTest::newRow("endless status answer") << "mode/endless/" << true << false << ServerFetch::transferTimeoutMs;
    QTest::newRow("2 MiB status answer") << "mode/huge/" << true << false << promptMs;
    // At most the time limit of each advertisement (reading 16 MiB through Qt may take seconds on a busy machine).
    const int bothLimits = 2 * Startup::advertisementMaxMs + promptMs;
    QTest::newRow("endless advertisements") << "mode/endlessads/" << false << false << bothLimits;
    QTest::newRow("web pages as advertisements") << "mode/htmlads/" << false << false << promptMs;
    QTest::newRow("trickling advertisements") << "mode/slowads/" << false << true << bothLimits;
}

void TestHostileServer::hostileStartup()
{
    QFETCH(QString, base);
    QFETCH(bool, refuses);
    QFETCH(bool, mayKeepAds);
    QFETCH(int, maxMs);

    Startup startup(m_fetch.get(), LibraryFolders(m_folder->path()), m_server.url(base));
    QSignalSpy finished(&startup, &Startup::finished);
    QSignalSpy refused(&startup, &Startup::refused);
    QElapsedTimer clock;
    clock.start();
    startup.start();
    startup.leftPageLoaded();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + refused.count(), 1, maxMs);
    QVERIFY2(clock.elapsed() < maxMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(refused.count(), refuses ? 1 : 0);
    QCOMPARE(startup.answer().ok, !refuses);

    // Only the advertisements under their own names, never a partial or temporary file.
    const QStringList ads{QStringLiteral("gg_banner.swf"), QStringLiteral("gg_download.swf")};
    for (const QString &name : filesIn(picFolder()))
        QVERIFY2(mayKeepAds && ads.contains(name), qPrintable(name));
    QCOMPARE(outsideTree(), m_outsideBefore);
    verifyNothingLingers();
}

// The trickling advertisements above are small enough to arrive within their limit; a larger file shows the
// limit itself (start-up's is advertisementMaxMs; a shorter one keeps the test quick).
void TestHostileServer::tricklingFileIsGivenUpAtItsTimeLimit()
{
    constexpr int limitMs = 1500;
    FetchLimits limits;
    limits.maxMs = limitMs;
    std::optional<bool> done;
    QElapsedTimer clock;
    clock.start();
    m_fetch->Download_Pic(
        m_server.url(QStringLiteral("fault/trickle-200/movies/size-100000.swf")),
        QDir(picFolder()).filePath(QStringLiteral("slow.swf")), this, [&](bool ok) { done = ok; }, limits);
    QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), limitMs + promptMs);
    QCOMPARE(*done, false);
    // A coarse timer may fire up to 5% early; the whole file would take 20 s.
    QVERIFY2(clock.elapsed() >= limitMs * 95 / 100, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(filesIn(picFolder()).isEmpty());
    QCOMPARE(treeOf(m_folder->path()), m_treeBefore);
    verifyNothingLingers();
}

// Answers the portal server cannot be made to send, from a raw server: the answer to each request, then the
// connection closed, or repeated every intervalMs without end.
void TestHostileServer::malformedAnswerFailsTheRequest_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("repeated");
    QTest::addColumn<int>("transferTimeoutMs");
    QTest::addColumn<QNetworkReply::NetworkError>("error");
    QTest::addColumn<QByteArray>("body");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n", chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n", body = "Content-Length: 2\r\n\r\nok";
    const auto passes = [](const char *name, const QByteArray &answer) {
        QTest::newRow(name) << answer << QByteArray() << 0 << QNetworkReply::NoError << QByteArray("ok");
    };
    const auto fails = [](const char *name, const QByteArray &answer, const QByteArray &repeated = {}, int ms = 0) {
        const auto error = ms > 0 ? QNetworkReply::OperationCanceledError : QNetworkReply::ProtocolFailure;
        QTest::newRow(name) << answer << repeated << ms << error << QByteArray();
    };
    const auto length = [&](const QByteArray &headers) { return ok + headers + "\r\n\r\nok"; };
    passes("header line of 8 KiB", ok + "X: " + QByteArray(8189, 'a') + "\r\n" + body);
    fails("header line over 8 KiB", ok + "X: " + QByteArray(8190, 'a') + "\r\n" + body);
    passes("chunks", chunked + "2\r\nok\r\n0\r\n\r\n");
    fails("chunk longer than its size", chunked + "2\r\nokXX\r\n0\r\n\r\n");
    fails("chunk without its line end", chunked + "2\r\nok0\r\n\r\n");
    passes("a few interim answers", interim + interim + "HTTP/1.1 103 Hints\r\nLink: x\r\n\r\n" + ok + body);
    fails("endless interim answers", QByteArray(), interim.repeated(50));
    // One interim answer at a time stays below every size bound: the time limit ends it.
    fails("trickling interim answers", QByteArray(), interim, 800);
    passes("length the same twice", length("Content-Length: 2\r\nContent-Length: 2, 2"));
    fails("length not a number", length("Content-Length: two"));
    fails("length with a sign", length("Content-Length: +2"));
    fails("negative length", length("Content-Length: -1"));
    fails("empty length", length("Content-Length:"));
    fails("two lengths", length("Content-Length: 2\r\nContent-Length: 1"));
    fails("a list of two lengths", length("Content-Length: 2, 1"));
}

void TestHostileServer::malformedAnswerFailsTheRequest()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, repeated);
    QFETCH(int, transferTimeoutMs);
    QFETCH(QNetworkReply::NetworkError, error);
    QFETCH(QByteArray, body);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [=] {
            if (!socket->readAll().endsWith("\r\n\r\n"))
                return;
            socket->write(answer);
            if (repeated.isEmpty())
                return socket->disconnectFromHost();
            auto *again = new QTimer(socket);
            connect(again, &QTimer::timeout, socket, [=] { socket->write(repeated); });
            again->start(transferTimeoutMs > 0 ? 100 : 1);
        });
    });
    QNetworkRequest request =
        boundedrequest::make(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort())));
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = boundedrequest::get(m_network.get(), request, ServerFetch::maxAnswerBytes);
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), promptMs);
    QCOMPARE(reply->error(), error);
    QCOMPARE(reply->readAll(), body);
}

QTEST_GUILESS_MAIN(TestHostileServer)
#include "tst_hostileserver.moc"
