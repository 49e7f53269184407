#include "base/portal/moviedownload.h"
#include "portalserver.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int waitMs = 30000;
constexpr qint64 cutAt = 6000;

QByteArray movieBytes(char fill)
{
    return "FWS\x0a" + QByteArray(20000 - 4, fill);
}
const QByteArray movieA = movieBytes('a');
const QByteArray movieB = movieBytes('b');
const QByteArray total = QByteArray::number(movieA.size());

QByteArray answer(int status, const QByteArrayList &headers, const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers.join("\r\n") + "\r\n\r\n" + body;
}
// movie announced whole; only its first `sent` bytes come.
QByteArray whole(const QByteArray &validator, const QByteArray &movie = movieA, qint64 sent = -1)
{
    return answer(200, {validator, "Content-Length: " + total}, sent < 0 ? movie : movie.left(sent));
}
QByteArray part(const QByteArray &range, const QByteArray &body, qint64 length = -1)
{
    return answer(
        206,
        {"Content-Range: bytes " + range, "Content-Length: " + QByteArray::number(length < 0 ? body.size() : length)},
        body);
}

// Answers each request on 127.0.0.1 with the next raw answer it holds, then closes the connection, or holds it
// open (as a program going away mid-transfer finds it).
class ScriptedServer : public QObject
{
public:
    ScriptedServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto in = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, in] {
                    *in += socket->readAll();
                    if (!in->contains("\r\n\r\n"))
                        return;
                    static const QRegularExpression asked(QStringLiteral("\\n(Range|If-Range): ([^\\r]*)"));
                    QByteArray line;
                    for (const QRegularExpressionMatch &m : asked.globalMatch(QString::fromLatin1(*in)))
                        line += m.captured(2).toLatin1() + ' ';
                    requests << line.trimmed();
                    socket->write(answers.isEmpty() ? answer(404, {"Content-Length: 0"}, {}) : answers.takeFirst());
                    if (!holdOpen)
                        socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/game.swf").arg(m_server.serverPort())); }

    QByteArrayList answers;
    QByteArrayList requests; // the Range and If-Range each asked with
    bool holdOpen = false;

private:
    QTcpServer m_server;
};

} // namespace

// Downloads that go on where an earlier run stopped, and what becomes of them when the server misbehaves: never a
// wrong movie, and no partial left of a body found wrong.
class TestMovieResume : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path())); }
    void resumesOrStartsOver_data();
    void resumesOrStartsOver();
    void resumesFromThePortalServer();
    void partialsGoWhenGivenUpOrStale();

private:
    // One run to its end; with dropAt, the job is dropped (the program closed) once that many bytes are in.
    DownloadResult run(const QUrl &url, const QString &key, qint64 dropAt = -1);
    QStringList hiddenFiles() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }

    QTemporaryDir m_dir;
    QNetworkAccessManager m_network;
};

DownloadResult TestMovieResume::run(const QUrl &url, const QString &key, qint64 dropAt)
{
    auto job = std::make_unique<MovieDownload>(&m_network, url, m_dir.filePath(QStringLiteral("game.swf")));
    job->setResumeKey(key);
    QSignalSpy finished(job.get(), &MovieDownload::finished);
    qint64 written = 0;
    connect(job.get(), &MovieDownload::progress, this, [&](qint64 bytes) { written = bytes; });
    job->start();
    if (!QTest::qWaitFor([&] { return !finished.isEmpty() || (dropAt >= 0 && written >= dropAt); }, waitMs))
        return {};
    return finished.isEmpty() ? DownloadResult{} : finished.first().first().value<DownloadResult>();
}

void TestMovieResume::resumesOrStartsOver_data()
{
    QTest::addColumn<QByteArray>("validator");   // of the first run's answer, which stops after 6000 bytes
    QTest::addColumn<bool>("programClosed");     // it stops by being dropped, not by the server
    QTest::addColumn<QByteArrayList>("answers"); // what the next run gets
    QTest::addColumn<QByteArrayList>("asked");   // the Range and If-Range of each of its requests
    QTest::addColumn<QByteArray>("movie");       // what lies in the folder after it; empty: no movie
    QTest::addColumn<qint64>("resumedFrom");
    QTest::addColumn<bool>("partialKept");

    const QByteArray etag = "ETag: \"a\"", rest = "bytes=6000- \"a\"", range = "6000-19999/" + total;
    const QByteArray restA = part(range, movieA.mid(cutAt));
    const QByteArrayList restart{whole(etag)};
    QTest::newRow("ETag") << etag << false << QByteArrayList{restA} << QByteArrayList{rest} << movieA << cutAt << false;
    QTest::newRow("program closed") << etag << true << QByteArrayList{restA} << QByteArrayList{rest} << movieA << cutAt
                                    << false;
    QTest::newRow("Last-Modified only") << QByteArray("Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT") << false
                                        << QByteArrayList{restA}
                                        << QByteArrayList{"bytes=6000- Tue, 01 Dec 2026 10:00:00 GMT"} << movieA
                                        << cutAt << false;
    QTest::newRow("weak ETag: never resumed")
        << QByteArray("ETag: W/\"a\"") << false << restart << QByteArrayList{""} << movieA << qint64(0) << false;
    QTest::newRow("range ignored: whole body")
        << etag << false << restart << QByteArrayList{rest} << movieA << qint64(0) << false;
    QTest::newRow("file changed") << etag << false << QByteArrayList{whole("ETag: \"b\"", movieB)}
                                  << QByteArrayList{rest} << movieB << qint64(0) << false;
    QTest::newRow("Content-Range from another byte")
        << etag << false << QByteArrayList{part("6001-19999/" + total, movieA.mid(cutAt + 1)), whole(etag)}
        << QByteArrayList{rest, ""} << movieA << qint64(0) << false;
    QTest::newRow("Content-Range of another total")
        << etag << false << QByteArrayList{part("6000-19999/30000", movieA.mid(cutAt)), whole(etag)}
        << QByteArrayList{rest, ""} << movieA << qint64(0) << false;
    QTest::newRow("the rest of another version")
        << etag << false
        << QByteArrayList{answer(206, {"ETag: \"b\"", "Content-Range: bytes " + range}, movieB.mid(cutAt)), whole(etag)}
        << QByteArrayList{rest, ""} << movieA << qint64(0) << false;
    QTest::newRow("416") << etag << false
                         << QByteArrayList{answer(416, {"Content-Range: bytes */" + total, "Content-Length: 0"}, {}),
                                           whole(etag)}
                         << QByteArrayList{rest, ""} << movieA << qint64(0) << false;
    QTest::newRow("more bytes than announced")
        << etag << false << QByteArrayList{answer(206, {"Content-Range: bytes " + range}, movieA.mid(cutAt) + "x")}
        << QByteArrayList{rest} << QByteArray() << cutAt << false;
    QTest::newRow("changed into a web page")
        << etag << false << QByteArrayList{whole("ETag: \"b\"", "<html>" + QByteArray(19994, ' '))}
        << QByteArrayList{rest} << QByteArray() << qint64(0) << false;
    QTest::newRow("broken off again") << etag << false << QByteArrayList{part(range, movieA.mid(cutAt, 100), 14000)}
                                      << QByteArrayList{rest} << QByteArray() << cutAt << true;
    QTest::newRow("server error") << etag << false << QByteArrayList{answer(500, {"Content-Length: 0"}, {})}
                                  << QByteArrayList{rest} << QByteArray() << cutAt << true;
}

void TestMovieResume::resumesOrStartsOver()
{
    QFETCH(QByteArray, validator);
    QFETCH(bool, programClosed);
    QFETCH(QByteArrayList, answers);
    QFETCH(QByteArrayList, asked);
    QFETCH(QByteArray, movie);
    QFETCH(qint64, resumedFrom);
    QFETCH(bool, partialKept);

    ScriptedServer server;
    server.answers = {whole(validator, movieA, cutAt)};
    server.holdOpen = programClosed;
    QCOMPARE(run(server.url(), QStringLiteral("101"), programClosed ? cutAt : -1).status,
             DownloadResult::Status::Failed);
    server.holdOpen = false;
    server.answers = answers;
    server.requests.clear();
    const DownloadResult result = run(server.url(), QStringLiteral("101"));

    QCOMPARE(server.requests, asked);
    QCOMPARE(result.status, movie.isEmpty() ? DownloadResult::Status::Failed : DownloadResult::Status::Completed);
    QCOMPARE(result.resumedFrom, resumedFrom);
    QFile placed(m_dir.filePath(QStringLiteral("game.swf")));
    QCOMPARE(placed.open(QIODevice::ReadOnly) ? placed.readAll() : QByteArray(), movie);
    QCOMPARE(!hiddenFiles().isEmpty(), partialKept);
    if (!movie.isEmpty())
        QCOMPARE(result.bytesFetched, movie.size() - resumedFrom);
}

// The bundled server's movies resume: one whose connection drops at 3 MB comes whole on the next run, and only
// its missing bytes travel.
void TestMovieResume::resumesFromThePortalServer()
{
    PortalServer server;
    QVERIFY(server.start());
    const QUrl url = server.url(QStringLiteral("fault/cut-3000000/movies/size-5000000.swf"));
    QCOMPARE(run(url, QStringLiteral("7")).bytesWritten, 3000000);
    const DownloadResult result = run(url, QStringLiteral("7"));
    QCOMPARE(result.status, DownloadResult::Status::Completed);
    QCOMPARE(result.resumedFrom, 3000000);
    QCOMPARE(result.bytesFetched, 2000000);
    QCOMPARE(QFileInfo(result.filePath).size(), 5000000);
    QVERIFY(hiddenFiles().isEmpty());
}

// A partial goes when it went stale, or its game is given up, running (cancel) or not (dropPartial); others stay.
void TestMovieResume::partialsGoWhenGivenUpOrStale()
{
    ScriptedServer server;
    const auto stopAt = [&](const QString &key) {
        server.answers = {whole("ETag: \"a\"", movieA, cutAt)};
        return run(server.url(), key).status == DownloadResult::Status::Failed;
    };
    QVERIFY(stopAt(QStringLiteral("old")));
    const QStringList old = hiddenFiles();
    for (const QString &name : old) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTime().addDays(-15), QFileDevice::FileModificationTime));
    }
    QVERIFY(stopAt(QStringLiteral("new one/with any text")));
    QCOMPARE(MovieDownload::dropStalePartials(m_dir.path(), 14 * 24 * 3600), 1);
    const QStringList left = hiddenFiles();
    QVERIFY(!old.isEmpty() && !left.isEmpty());
    QVERIFY(std::none_of(old.begin(), old.end(), [&](const QString &name) { return left.contains(name); }));
    MovieDownload::dropPartial(m_dir.path(), QStringLiteral("new one/with any text"));
    QVERIFY(hiddenFiles().isEmpty());

    server.answers = {whole("ETag: \"a\"", movieA, cutAt)};
    server.holdOpen = true;
    MovieDownload job(&m_network, server.url(), m_dir.filePath(QStringLiteral("game.swf")));
    job.setResumeKey(QStringLiteral("101"));
    QSignalSpy progress(&job, &MovieDownload::progress);
    job.start();
    QVERIFY(QTest::qWaitFor([&] { return !progress.isEmpty(); }, waitMs));
    job.cancel();
    QVERIFY(QDir(m_dir.path()).isEmpty(QDir::Files | QDir::Hidden));
}

QTEST_GUILESS_MAIN(TestMovieResume)
#include "tst_movieresume.moc"
