#include "portalserver.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long an ordinary request may take before it counts as not answered. The target is well under a
// second; the margin is for a busy two-core machine. The figures measured are printed.
constexpr int answerWithinMs = 5000;
constexpr int abuseSeconds = 8;
constexpr int hostileClients = 50;
// The server starts at about 30 MB; without limits the same abuse took it to gigabytes.
constexpr qint64 residentLimitKiB = 128 * 1024;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A blocking connection to the server on 127.0.0.1 whose every send and receive gives up after timeoutMs.
class Client
{
public:
    Client(int port, int timeoutMs) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(m_fd); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (m_connected && done < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return m_connected;
    }
    // What arrives in one go, at most max bytes; empty when the server closed, failed or kept silent.
    QByteArray receive(qsizetype max = 64 * 1024)
    {
        QByteArray bytes(max, Qt::Uninitialized);
        const ssize_t n = m_connected ? ::recv(m_fd, bytes.data(), size_t(max), 0) : -1;
        bytes.resize(std::max<ssize_t>(n, 0));
        return bytes;
    }

private:
    int m_fd;
    bool m_connected = false;
};

struct Answer
{
    int status = 0;
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return {};
    }
};

// One request on a connection of its own and the whole answer (the request asks the server to close).
Answer exchange(int port, const QByteArray &request, int timeoutMs = answerWithinMs)
{
    Client client(port, timeoutMs);
    QByteArray raw;
    if (client.send(request)) {
        for (QByteArray piece; !(piece = client.receive()).isEmpty();)
            raw += piece;
    }
    Answer answer;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (!raw.startsWith("HTTP/1.1 ") || end < 0)
        return answer;
    answer.status = raw.mid(9, 3).toInt();
    answer.head = raw.left(end);
    answer.body = raw.mid(end + 4);
    return answer;
}

QByteArray get(const QByteArray &path, const QByteArray &headers = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "Connection: close\r\n\r\n";
}

QByteArray rangeHeader(const QByteArray &ranges)
{
    return "Range: bytes=" + ranges + "\r\n";
}

// 2,700 ranges of the whole file in one 8 KB header.
QByteArray wholeFileOverAndOver()
{
    QByteArray ranges = "0-";
    for (int i = 1; i < 2700; ++i)
        ranges += ",0-";
    return ranges;
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// One kind of hostile client: what it sends first, what it then sends over and over (with a pause), how much
// of the answer it reads (slowly), and how long it then holds the connection.
struct Hostile
{
    QByteArray request;
    QByteArray again;
    int againPauseMs = 0;
    qsizetype reads = 0;
    int holdMs = 0;
};

const std::vector<Hostile> &hostileKinds()
{
    static const QByteArray post = "POST /echo HTTP/1.1\r\n";
    static const std::vector<Hostile> kinds = {
        // 2,700 times the whole of a 4 GB movie
        {get("/movies/size-4294967295.swf", rangeHeader(wholeFileOverAndOver())), {}, 0, 512 * 1024, 0},
        // header lines, a 300 MiB body, a chunked body: none of them ending
        {"GET / HTTP/1.1\r\n", "X-Filler: " + QByteArray(1000, 'a') + "\r\n", 0, 0, 0},
        {post + "Content-Length: 314572800\r\n\r\n", QByteArray(64 * 1024, 'b'), 0, 0, 0},
        {post + "Transfer-Encoding: chunked\r\n\r\n", "400\r\n" + QByteArray(1024, 'c') + "\r\n", 0, 0, 0},
        // a request line at a byte every 200 ms; a connection that sends nothing
        {"G", "E", 200, 0, 0},
        {{}, {}, 0, 0, 6000},
        // the slow fault modes
        {get("/game.asp?id=4&delay=60000"), {}, 0, 1, 0},
        {get("/game.asp?id=4&titlelen=16777216"), {}, 0, 1024 * 1024, 0},
        {get("/fault/endless/movies/pocket-racer.swf"), {}, 0, 256 * 1024, 0},
        {get("/movies/pocket-racer.swf?trickle=1000"), {}, 0, 256 * 1024, 0},
        // answers that are not read: a large file, a hundred pages asked for at once
        {get("/movies/size-100000000.swf"), {}, 0, 0, 2000},
        {QByteArray("GET /main.htm?cat=tests HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").repeated(100), {}, 0, 0, 2000},
    };
    return kinds;
}

struct Tally
{
    std::atomic<int> requests{0};
    std::atomic<int> busy{0}; // told to come back later: every long-work slot was taken
};

void abuse(const Hostile &hostile, int port, const std::atomic<bool> &stop, Tally &tally)
{
    const auto pause = [&stop](int ms) {
        for (int i = 0; i < ms / 10 && !stop; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    while (!stop) {
        Client client(port, 1000);
        ++tally.requests;
        client.send(hostile.request);
        while (!hostile.again.isEmpty() && !stop && client.send(hostile.again))
            pause(hostile.againPauseMs);
        for (qsizetype got = 0; got < hostile.reads && !stop;) {
            const QByteArray piece = client.receive();
            if (piece.isEmpty())
                break;
            tally.busy += got == 0 && piece.startsWith("HTTP/1.1 503");
            got += piece.size();
            pause(50);
        }
        pause(hostile.holdMs + 50);
    }
}

} // namespace

// The bundled portal server against hostile clients: the limits of a small web server, ranges that cannot
// multiply what is sent, and ordinary requests answered while fifty hostile clients run.
class TestPortalAbuse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void requestsOverTheLimitsAreRefused_data();
    void requestsOverTheLimitsAreRefused();
    void rangesAreMergedAndBounded_data();
    void rangesAreMergedAndBounded();
    void answersWhileFiftyClientsAbuseIt();

private:
    QProcess m_server;
    int m_port = 0;
};

void TestPortalAbuse::initTestCase()
{
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(PortalServer::executable(), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(m_server.waitForStarted(5000));
    while (!m_server.canReadLine())
        QVERIFY(m_server.waitForReadyRead(10000));
    m_port = QUrl(QString::fromUtf8(m_server.readLine()).trimmed()).port();
    QVERIFY(m_port > 0);
}

void TestPortalAbuse::cleanupTestCase()
{
    m_server.terminate();
    QVERIFY(m_server.waitForFinished(5000));
    QCOMPARE(m_server.exitCode(), 0);
}

void TestPortalAbuse::requestsOverTheLimitsAreRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    const QByteArray post = "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    QByteArray manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 65; ++i)
        manyHeaders += "X-" + QByteArray::number(i) + ": y\r\n";
    QTest::newRow("request line over 8 KiB") << "GET /" + QByteArray(8200, 'a') + " HTTP/1.1\r\n\r\n" << 414;
    QTest::newRow("header line over 8 KiB") << "GET / HTTP/1.1\r\nX: " + QByteArray(8200, 'a') + "\r\n\r\n" << 431;
    QTest::newRow("65 header lines") << manyHeaders + "\r\n" << 431;
    QTest::newRow("300 MiB body announced") << post + "Content-Length: 314572800\r\n\r\n" << 413;
    QTest::newRow("chunk over 64 KiB announced") << post + "Transfer-Encoding: chunked\r\n\r\n10001\r\n" << 413;
    QTest::newRow("unknown transfer coding") << post + "Transfer-Encoding: gzip\r\n\r\n" << 501;
    QTest::newRow("64 KiB body: taken") << post + "Content-Length: 65536\r\n\r\n" + QByteArray(65536, 'b') << 200;
    QTest::newRow("chunked body: taken") << post + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << 200;
}

void TestPortalAbuse::requestsOverTheLimitsAreRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const Answer answer = exchange(m_port, request);
    QCOMPARE(answer.status, status);
    if (status == 200)
        QVERIFY(answer.body.endsWith("\n\n" + QByteArray(65536, 'b')) || answer.body.endsWith("\n\nabc"));
}

void TestPortalAbuse::rangesAreMergedAndBounded_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("ranges");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentRange"); // of a single piece
    QTest::addColumn<QByteArrayList>("parts");    // the Content-Range of each part of a multipart answer

    const QByteArray racer = "/movies/pocket-racer.swf"; // 3000 bytes
    QTest::newRow("2,700 times the whole file: once")
        << racer << wholeFileOverAndOver() << 206 << QByteArray("bytes 0-2999/3000") << QByteArrayList();
    QTest::newRow("overlapping and adjacent pieces merge")
        << racer << QByteArray("100-109,0-9,5-14,15-19") << 206 << QByteArray()
        << QByteArrayList{"bytes 0-19/3000", "bytes 100-109/3000"};
    QTest::newRow("more than eight pieces: the whole file")
        << racer << QByteArray("0-0,2-2,4-4,6-6,8-8,10-10,12-12,14-14,16-16") << 200 << QByteArray()
        << QByteArrayList();
    QTest::newRow("end of a streamed movie")
        << QByteArray("/movies/size-4294967295.swf") << QByteArray("-10") << 206
        << QByteArray("bytes 4294967285-4294967294/4294967295") << QByteArrayList();
    QTest::newRow("past the end") << racer << QByteArray("5000-") << 416 << QByteArray("bytes */3000")
                                  << QByteArrayList();
}

void TestPortalAbuse::rangesAreMergedAndBounded()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, ranges);
    QFETCH(int, status);
    QFETCH(QByteArray, contentRange);
    QFETCH(QByteArrayList, parts);

    const Answer answer = exchange(m_port, get(path, rangeHeader(ranges)));
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.header("Content-Range"), contentRange);
    QCOMPARE(answer.header("Content-Length").toLongLong(), answer.body.size());
    if (status == 200)
        QCOMPARE(answer.body.size(), 3000);
    if (!contentRange.isEmpty() && status == 206) {
        const QByteArray span = contentRange.mid(6).split('/').first();
        QCOMPARE(answer.body.size(), span.split('-')[1].toLongLong() - span.split('-')[0].toLongLong() + 1);
    }
    QByteArrayList found;
    for (const QByteArray &line : answer.body.split('\n'))
        if (line.startsWith("Content-Range: "))
            found << line.mid(15).trimmed();
    QCOMPARE(found, parts);
}

// Fifty hostile clients of every kind the audit tried, while ordinary requests keep coming: each is
// answered, and the server's memory stays bounded.
void TestPortalAbuse::answersWhileFiftyClientsAbuseIt()
{
    const qint64 pid = m_server.processId();
    const qint64 residentBefore = residentKiB(pid);
    std::atomic<bool> stop{false};
    Tally tally;
    std::vector<std::thread> hostile;
    for (int i = 0; i < hostileClients; ++i)
        hostile.emplace_back(abuse, std::cref(hostileKinds()[std::size_t(i) % hostileKinds().size()]), m_port,
                             std::cref(stop), std::ref(tally));

    QList<double> latencies;
    QStringList failures;
    qint64 residentPeak = 0;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(abuseSeconds);
    while (Clock::now() < end) {
        for (const QByteArray path : {"/game.asp?id=4", "/pics/pocket-racer.png", "/main.htm?cat=tests"}) {
            const Clock::time_point start = Clock::now();
            const Answer answer = exchange(m_port, get(path));
            latencies << msSince(start);
            if (answer.status != 200 || answer.body.isEmpty() ||
                answer.header("Content-Length").toLongLong() != answer.body.size())
                failures << QStringLiteral("%1: %2 after %3 ms")
                                .arg(QString::fromLatin1(path))
                                .arg(answer.status)
                                .arg(latencies.last(), 0, 'f', 0);
        }
        residentPeak = std::max(residentPeak, residentKiB(pid));
        QTest::qWait(100);
    }
    stop = true;
    for (std::thread &client : hostile)
        client.join();

    std::sort(latencies.begin(), latencies.end());
    qInfo("%lld ordinary requests beside %d hostile clients (%d hostile requests, %d told the server was busy)",
          qint64(latencies.size()), hostileClients, tally.requests.load(), tally.busy.load());
    qInfo("answered in: median %.1f ms, 95th percentile %.1f ms, slowest %.1f ms", latencies.at(latencies.size() / 2),
          latencies.at(latencies.size() * 95 / 100), latencies.last());
    qInfo("server resident memory: %lld KiB before, %lld KiB at most", residentBefore, residentPeak);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    QVERIFY(latencies.size() >= 3);
    QVERIFY2(residentPeak > 0 && residentPeak < residentLimitKiB, qPrintable(QString::number(residentPeak)));
}

QTEST_GUILESS_MAIN(TestPortalAbuse)
#include "tst_portalabuse.moc"
