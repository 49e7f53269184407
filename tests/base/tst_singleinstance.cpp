// One program per data folder: the first start owns it, a later one hands over to it, or says why it cannot.
#include "base/shell/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Claim = SingleInstance::Claim;
Q_DECLARE_METATYPE(SingleInstance::Claim)

// A later start in a thread of its own: its claim blocks while the owner answers from this thread's event loop.
static Claim claimElsewhere(const QString &folder, const QString &note = QString())
{
    std::future<Claim> later = std::async(std::launch::async, [&] { return SingleInstance(folder).claim(note); });
    if (!QTest::qWaitFor([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000))
        qWarning("the later start is still waiting");
    return later.get();
}

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void laterStartHandsOverToTheOwner();
    void claimFails_data();
    void claimFails();
    void deadOwnersLockAndSocketAreTakenOver();
    void lockNobodyHoldsIsTakenOver_data();
    void lockNobodyHoldsIsTakenOver();

private:
    QTemporaryDir m_runtime;
    std::optional<QTemporaryDir> m_dir;
};

void TestSingleInstance::initTestCase()
{
    // The sockets live in the user's runtime folder: one of the test's own.
    QVERIFY(QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void TestSingleInstance::laterStartHandsOverToTheOwner()
{
    auto owner = std::make_unique<SingleInstance>(m_dir->path());
    QCOMPARE(owner->claim(), Claim::Owner);
    QSignalSpy asked(owner.get(), &SingleInstance::anotherStartAsked);
    // A client that says too much holds nothing up.
    QLocalSocket chatty;
    chatty.connectToServer(SingleInstance::serverName(m_dir->path()));
    chatty.write(QByteArray(100000, 'x'));

    QCOMPARE(claimElsewhere(m_dir->path(), QStringLiteral("a note")), Claim::HandedOver);
    QTRY_COMPARE(asked.count(), 1);
    QCOMPARE(asked.first().first().toString(), QStringLiteral("a note"));
    QVERIFY(owner->isOwner());
    owner.reset(); // once the owner has gone, the folder is free
    QCOMPARE(SingleInstance(m_dir->path()).claim(), Claim::Owner);
}

void TestSingleInstance::claimFails_data()
{
    QTest::addColumn<QString>("owner"); // what holds the folder
    QTest::addColumn<Claim>("claim");
    // This thread is busy claiming, so an owner made here cannot answer: it is as good as hung.
    QTest::newRow("owner hung") << "hung" << Claim::NoAnswer;
    QTest::newRow("owner's socket unreachable") << "lock only" << Claim::NoAnswer;
    QTest::newRow("a file in the folder's place") << "file" << Claim::NotWritable;
}

void TestSingleInstance::claimFails()
{
    QFETCH(QString, owner);
    QFETCH(Claim, claim);
    const QString folder = owner == QLatin1String("file") ? m_dir->filePath(QStringLiteral("file")) : m_dir->path();
    SingleInstance first(folder);
    QLockFile lock(first.lockFilePath());
    if (owner == QLatin1String("hung"))
        QCOMPARE(first.claim(), Claim::Owner);
    else
        QVERIFY(owner == QLatin1String("file") ? QFile(folder).open(QIODevice::WriteOnly) : lock.tryLock(0));

    SingleInstance later(folder);
    later.setHandOverWait(300);
    QCOMPARE(later.claim(), claim);
    QVERIFY(!later.isOwner());
    QVERIFY2(later.errorString().contains(folder), qPrintable(later.errorString()));
    if (claim == Claim::NoAnswer)
        QVERIFY2(later.lockAdvice().contains(later.lockFilePath()), qPrintable(later.lockAdvice()));
}

void TestSingleInstance::deadOwnersLockAndSocketAreTakenOver()
{
    // The owner dies without a word, as a crash or a kill leaves it: its lock file and socket stay behind.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(SingleInstance(m_dir->path()).claim() == Claim::Owner ? 0 : 1);
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    SingleInstance owner(m_dir->path());
    QVERIFY(QFileInfo::exists(owner.lockFilePath()) && QFileInfo::exists(SingleInstance::serverName(m_dir->path())));

    QCOMPARE(owner.claim(), Claim::Owner);
    QCOMPARE(claimElsewhere(m_dir->path()), Claim::HandedOver);
}

// What a crash, a copy of the folder or a hand leaves at the lock's place, held by no program.
void TestSingleInstance::lockNobodyHoldsIsTakenOver_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<Claim>("claim");
    QTest::newRow("empty") << "empty" << Claim::Owner;
    QTest::newRow("garbage") << "garbage" << Claim::Owner;
    QTest::newRow("another machine's lock") << "foreign" << Claim::Owner;
    QTest::newRow("lock naming a running program") << "copy" << Claim::Owner;
    QTest::newRow("link to a file elsewhere") << "link" << Claim::Owner;
    QTest::newRow("link to nowhere") << "dangling" << Claim::Owner;
    QTest::newRow("FIFO") << "fifo" << Claim::Owner;
    QTest::newRow("folder") << "folder" << Claim::NotWritable;
}

void TestSingleInstance::lockNobodyHoldsIsTakenOver()
{
    QFETCH(QString, left);
    QFETCH(Claim, claim);
    SingleInstance later(m_dir->path());
    const QString lock = later.lockFilePath(), elsewhere = m_runtime.filePath(QStringLiteral("precious"));
    QFile file(left == QLatin1String("link") ? elsewhere : lock);
    QByteArray contents = left == QLatin1String("garbage") ? QByteArray("\xff\x01 not a lock\n\n") : QByteArray();
    if (left == QLatin1String("link"))
        contents = "precious\n";
    if (left == QLatin1String("foreign"))
        contents = QByteArray::number(::getpid()) + "\ntst_singleinstance\nelsewhere\n0123456789abcdef\n\n";
    if (left == QLatin1String("copy")) {
        QLockFile live(lock);
        QVERIFY(live.tryLock(0));
        QVERIFY(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
        file.close();
    }
    if (left == QLatin1String("folder") || left == QLatin1String("fifo"))
        QVERIFY(left == QLatin1String("folder") ? QDir().mkdir(lock) : ::mkfifo(QFile::encodeName(lock), 0600) == 0);
    else if (left != QLatin1String("dangling"))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    if (left == QLatin1String("link") || left == QLatin1String("dangling"))
        QVERIFY(QFile::link(left == QLatin1String("link") ? elsewhere : QStringLiteral("/nonexistent/x"), lock));

    later.setHandOverWait(300);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(later.claim(), claim);
    QVERIFY(clock.elapsed() < 3000);
    if (claim == Claim::NotWritable) {
        QVERIFY2(later.errorString().contains(lock), qPrintable(later.errorString()));
        QVERIFY(QFileInfo(lock).isDir());
        return;
    }
    // Ours now, a plain file; what a link pointed to untouched.
    QVERIFY(later.isOwner());
    QVERIFY(QFileInfo(lock).isFile() && !QFileInfo(lock).isSymLink());
    if (left == QLatin1String("link")) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents);
        QVERIFY(QFile::remove(elsewhere));
    }
    QCOMPARE(claimElsewhere(m_dir->path()), Claim::HandedOver);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
