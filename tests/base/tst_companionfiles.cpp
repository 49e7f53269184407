#include "base/companion/companionfiles.h"
#include "base/library/gamestore.h"
#include "base/portal/serverfetch.h"
#include "testappfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sys/stat.h>

namespace {

constexpr int waitMs = 15000;

// A loopback server for the files a movie asks beside it: each path answers with a body, a redirect, a file that
// never ends, or nothing (404). It counts what it was asked and keeps the last request line of each path.
class FileServer : public QObject
{
public:
    struct Answer
    {
        QByteArray body;
        QByteArray location; // a 302 to it
        bool endless = false;
    };
    QHash<QString, Answer> files;
    QHash<QString, int> hits;
    QHash<QString, QString> queries;

    FileServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path));
    }
    void stop() { m_server.close(); }

private:
    void serve(QTcpSocket *socket)
    {
        const QByteArray head = socket->readAll();
        const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
        const QUrl target(QString::fromLatin1(words.value(1)));
        const QString path = target.path(QUrl::FullyDecoded).mid(1);
        ++hits[path];
        queries[path] = target.query();
        const auto it = files.constFind(path);
        if (it == files.constEnd()) {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else if (!it->location.isEmpty()) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + it->location +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        } else if (it->endless) {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->write(QByteArray(64 * 1024, 'x')); });
            timer->start(1);
            return;
        } else {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(it->body.size()) +
                          "\r\nConnection: close\r\n\r\n" + it->body);
        }
        socket->disconnectFromHost();
    }
    QTcpServer m_server;
};

// Everything under folder, as relative paths, links and FIFOs included.
QStringList entriesUnder(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace

class TestCompanionFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keptOnceAndServedOffline();
    void refusedRequests_data();
    void refusedRequests();
    void plantedLinksAndFifos();
    void importedFolder();
    void manyRequestsOneFetch();
    void gameLimits();
    void fetchAgainReplaces();

private:
    std::optional<QString> ask(qint64 id, const QString &path, const QString &query = QString());
    qint64 addGame(const QString &origin);

    FileServer *m_server = nullptr;
    std::unique_ptr<TestAppFolder> m_folder;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<ServerFetch> m_fetch;
    std::unique_ptr<GameStore> m_store;
    std::unique_ptr<CompanionFiles> m_files;
    QTemporaryDir m_outside; // what no request may reach
    qint64 m_game = 0;
};

void TestCompanionFiles::init()
{
    m_server = new FileServer;
    m_folder = std::make_unique<TestAppFolder>(TestAppFolder::WithLibrary);
    m_network = std::make_unique<QNetworkAccessManager>();
    m_fetch = std::make_unique<ServerFetch>(m_network.get());
    m_store = std::make_unique<GameStore>(m_folder->path());
    QVERIFY(m_store->open_db());
    m_files = std::make_unique<CompanionFiles>(m_store.get(), m_fetch.get());
    m_game = addGame(m_server->url(QStringLiteral("games/probe.swf")).toString());
    m_server->files.insert(QStringLiteral("games/levels/1.txt"), {"level one", {}, false});
    QFile secret(m_outside.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("secret") == 6);
}

void TestCompanionFiles::cleanup()
{
    m_files.reset();
    m_store.reset();
    m_fetch.reset();
    m_network.reset();
    m_folder.reset();
    delete m_server;
    QFile secret(m_outside.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::ReadOnly));
    QCOMPARE(secret.readAll(), QByteArray("secret")); // never written through
}

qint64 TestCompanionFiles::addGame(const QString &origin)
{
    static int n = 0;
    ++n;
    const std::optional<qint64> id = m_store->insertGame(QString::number(n), QStringLiteral("Probe"),
                                                         QStringLiteral("probe%1.swf").arg(n), QString(), QString());
    if (!id || !m_store->setGameOrigin(*id, origin))
        return 0;
    return *id;
}

std::optional<QString> TestCompanionFiles::ask(qint64 id, const QString &path, const QString &query)
{
    std::optional<std::optional<QString>> answer;
    m_files->request(id, path, query, this, [&answer](const std::optional<QString> &file) { answer = file; });
    if (!QTest::qWaitFor([&answer] { return answer.has_value(); }, waitMs))
        return QStringLiteral("(no answer)");
    return *answer;
}

QByteArray contentOf(const std::optional<QString> &file)
{
    QFile f(file.value_or(QString()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A file is fetched once, with the query it was first asked with, kept under the game's folder and recorded; later
// queries and plays (the server gone) are answered from the kept copy.
void TestCompanionFiles::keptOnceAndServedOffline()
{
    const std::optional<QString> first = ask(m_game, QStringLiteral("games/levels/1.txt"), QStringLiteral("r=123"));
    QCOMPARE(contentOf(first), QByteArray("level one"));
    QCOMPARE(*first, m_store->folders().companionFolder(m_game) + QStringLiteral("/games/levels/1.txt"));
    QCOMPARE(m_server->queries.value(QStringLiteral("games/levels/1.txt")), QStringLiteral("r=123"));
    QTRY_COMPARE_WITH_TIMEOUT(m_store->keptFiles(m_game)->size(), 1, waitMs); // written a moment later
    const std::optional<QVector<KeptFile>> kept = m_store->keptFiles(m_game);
    QCOMPARE(kept->first().path, QStringLiteral("games/levels/1.txt"));
    QCOMPARE(kept->first().size, 9);
    QCOMPARE(kept->first().sha256, QCryptographicHash::hash("level one", QCryptographicHash::Sha256));

    m_server->stop();
    m_files = std::make_unique<CompanionFiles>(m_store.get(), m_fetch.get()); // a later run of the program
    QCOMPARE(contentOf(ask(m_game, QStringLiteral("games/levels/1.txt"), QStringLiteral("r=456"))),
             QByteArray("level one"));
    QCOMPARE(m_server->hits.value(QStringLiteral("games/levels/1.txt")), 1);
    QVERIFY(!ask(m_game, QStringLiteral("games/levels/2.txt"))); // neither kept nor reachable: its error
}

void TestCompanionFiles::refusedRequests_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("serverPath"); // what the server answers the file with, if anything
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<bool>("endless");

    const QString up = QStringLiteral("games/up.txt");
    QTest::newRow("climbs out") << QStringLiteral("../secret.txt") << QString() << QByteArray() << false;
    QTest::newRow("climbs out inside") << QStringLiteral("games/../../x") << QString() << QByteArray() << false;
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << QString() << QByteArray() << false;
    QTest::newRow("backslash") << QStringLiteral("games\\..\\x") << QString() << QByteArray() << false;
    QTest::newRow("empty segment") << QStringLiteral("games//x") << QString() << QByteArray() << false;
    QTest::newRow("dot") << QStringLiteral("games/./x") << QString() << QByteArray() << false;
    QTest::newRow("hidden") << QStringLiteral("games/.x") << QString() << QByteArray() << false;
    QTest::newRow("not UTF-8") << QStringLiteral("games/a\uFFFDb") << QString() << QByteArray() << false;
    QTest::newRow("control") << QStringLiteral("games/a\nb") << QString() << QByteArray() << false;
    QTest::newRow("too long") << QString(300, QLatin1Char('a')) << QString() << QByteArray() << false;
    QTest::newRow("other spelling") << QStringLiteral("games/LEVELS/1.TXT") << QString() << QByteArray() << false;
    QTest::newRow("not there") << QStringLiteral("games/none/x.txt") << QString() << QByteArray() << false;
    QTest::newRow("redirect elsewhere") << up << up << QByteArray("http://localhost:1/x") << false;
    QTest::newRow("redirect to a file") << up << up << QByteArray("file:///etc/passwd") << false;
    QTest::newRow("huge") << up << up << QByteArray() << false;
    QTest::newRow("endless") << up << up << QByteArray() << true;
}

// Each fails for that file alone: nothing is written outside the game's folder, nothing half-kept stays in it.
void TestCompanionFiles::refusedRequests()
{
    QFETCH(QString, path);
    QFETCH(QString, serverPath);
    QFETCH(QByteArray, location);
    QFETCH(bool, endless);
    CompanionFiles::Limits limits;
    limits.fileBytes = 1024 * 1024;
    m_files->setLimits(limits);
    QVERIFY(ask(m_game, QStringLiteral("games/levels/1.txt")));
    if (!serverPath.isEmpty())
        m_server->files.insert(serverPath, {QByteArray(2 * 1024 * 1024, 'x'), location, endless});

    QCOMPARE(ask(m_game, path), std::nullopt);
    QCOMPARE(entriesUnder(m_store->folders().companionRoot()),
             QStringList({QStringLiteral("%1").arg(m_game), QStringLiteral("%1/games").arg(m_game),
                          QStringLiteral("%1/games/levels").arg(m_game),
                          QStringLiteral("%1/games/levels/1.txt").arg(m_game)}));
    QTRY_COMPARE_WITH_TIMEOUT(m_store->keptFiles(m_game)->size(), 1, waitMs);
}

// A kept file or folder replaced by a link or FIFO is never followed or opened: a file is fetched again over it, a
// folder fails its files.
void TestCompanionFiles::plantedLinksAndFifos()
{
    const QString kept = m_store->folders().companionFolder(m_game) + QStringLiteral("/games/levels/1.txt");
    QVERIFY(ask(m_game, QStringLiteral("games/levels/1.txt")));
    for (bool fifo : {false, true}) {
        QVERIFY(QFile::remove(kept));
        QVERIFY(fifo ? ::mkfifo(QFile::encodeName(kept).constData(), 0600) == 0
                     : QFile::link(m_outside.filePath(QStringLiteral("secret.txt")), kept));
        QCOMPARE(contentOf(ask(m_game, QStringLiteral("games/levels/1.txt"))), QByteArray("level one"));
        QVERIFY(QFileInfo(kept).isFile() && !QFileInfo(kept).isSymLink());
    }

    const QString levels = QFileInfo(kept).absolutePath();
    QVERIFY(QDir(levels).removeRecursively());
    QVERIFY(QFile::link(m_outside.path(), levels));
    m_server->files.insert(QStringLiteral("games/levels/2.txt"), {"level two", {}, false});
    QCOMPARE(ask(m_game, QStringLiteral("games/levels/2.txt")), std::nullopt);
    QCOMPARE(entriesUnder(m_outside.path()), QStringList{QStringLiteral("secret.txt")});
}

// An imported movie's files come from its folder, subfolders included, never above it nor through a link out of
// it; a copy is kept, which serves once the folder is gone.
void TestCompanionFiles::importedFolder()
{
    QTemporaryDir source;
    QVERIFY(QDir(source.path()).mkpath(QStringLiteral("levels")));
    QFile level(source.filePath(QStringLiteral("levels/1.txt")));
    QVERIFY(level.open(QIODevice::WriteOnly) && level.write("imported") == 8);
    level.close();
    QVERIFY(QFile::link(m_outside.filePath(QStringLiteral("secret.txt")), source.filePath(QStringLiteral("out.txt"))));
    const qint64 game = addGame(QUrl::fromLocalFile(source.path()).toString());

    QCOMPARE(ask(game, QStringLiteral("out.txt")), std::nullopt);
    QCOMPARE(contentOf(ask(game, QStringLiteral("levels/1.txt"))), QByteArray("imported"));
    QVERIFY(source.remove());
    QCOMPARE(contentOf(ask(game, QStringLiteral("levels/1.txt"))), QByteArray("imported"));
    QCOMPARE(ask(game, QStringLiteral("levels/2.txt")), std::nullopt);
}

// Thousands of requests for the same file are one fetch; beyond the waiting limit requests fail at once.
void TestCompanionFiles::manyRequestsOneFetch()
{
    int answered = 0, failed = 0;
    for (int i = 0; i < 3000; ++i) {
        m_files->request(m_game, QStringLiteral("games/levels/1.txt"), QString::number(i), this,
                         [&](const std::optional<QString> &file) { ++(file ? answered : failed); });
    }
    QTRY_COMPARE_WITH_TIMEOUT(answered + failed, 3000, waitMs);
    QCOMPARE(answered, 3000);
    QCOMPARE(m_server->hits.value(QStringLiteral("games/levels/1.txt")), 1);

    CompanionFiles::Limits limits;
    limits.waiting = 10;
    m_files->setLimits(limits);
    answered = failed = 0;
    for (int i = 0; i < 100; ++i) {
        m_files->request(m_game, QStringLiteral("games/missing/%1.txt").arg(i), QString(), this,
                         [&](const std::optional<QString> &file) { ++(file ? answered : failed); });
    }
    QTRY_COMPARE_WITH_TIMEOUT(failed, 100, waitMs);
    QVERIFY(m_server->hits.size() <= 1 + 10 + limits.parallel);
}

// A game keeps at most so many files and bytes; beyond, its further files fail.
void TestCompanionFiles::gameLimits()
{
    CompanionFiles::Limits limits;
    limits.gameFiles = 2;
    limits.gameBytes = 15;
    m_files->setLimits(limits);
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        m_server->files.insert(QStringLiteral("games/") + name, {"12345678", {}, false});
    QVERIFY(ask(m_game, QStringLiteral("games/a")));
    QCOMPARE(ask(m_game, QStringLiteral("games/b")), std::nullopt); // 8 + 8 bytes > 15
    limits.gameBytes = 1000;
    m_files->setLimits(limits);
    QVERIFY(ask(m_game, QStringLiteral("games/b")));
    QCOMPARE(ask(m_game, QStringLiteral("games/c")), std::nullopt); // a third file
    QTRY_COMPARE_WITH_TIMEOUT(m_store->keptFiles(m_game)->size(), 2, waitMs);
}

// A game downloaded again brings every kept file again; one that no longer comes keeps its old copy.
void TestCompanionFiles::fetchAgainReplaces()
{
    QVERIFY(ask(m_game, QStringLiteral("games/levels/1.txt")));
    m_server->files[QStringLiteral("games/levels/1.txt")].body = "level one, new";
    int fetched = -1, failed = -1;
    m_files->fetchAgain(m_game, this, [&](int f, int x) {
        fetched = f;
        failed = x;
    });
    QTRY_COMPARE_WITH_TIMEOUT(fetched, 1, waitMs);
    QCOMPARE(failed, 0);
    QCOMPARE(contentOf(ask(m_game, QStringLiteral("games/levels/1.txt"))), QByteArray("level one, new"));
    QTRY_COMPARE_WITH_TIMEOUT(m_store->keptFiles(m_game)->first().size, 14, waitMs);
}

QTEST_GUILESS_MAIN(TestCompanionFiles)
#include "tst_companionfiles.moc"
