#include "base/library/gamestore.h"
#include "portalserver.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every file and folder under root with its size and time, to tell whether anything was written there.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.filePath())
                       .arg(info.isDir() ? -1 : info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

} // namespace

// The installed program started as a user starts it: its data goes to the home folder, never under the prefix
// (the tests run as root, who could write there).
class TestInstalledProgram : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheUsersDataInTheHomeFolder();
};

void TestInstalledProgram::keepsTheUsersDataInTheHomeFolder()
{
    const QString root = qEnvironmentVariable("QUILLABRIX_INSTALL_ROOT");
    const QString program = QDir(root).filePath(QStringLiteral("usr/bin/quillabrix"));
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    PortalServer portal;
    QVERIFY(portal.start({QStringLiteral("--games"), PortalServer::gamesFolder()}));
    QTemporaryDir home, runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList before = snapshot(root);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "QUILLABRIX_APP_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.setWorkingDirectory(home.path());
    run.start(program, {QStringLiteral("--server"), portal.baseUrl().toString()});
    QVERIFY(run.waitForStarted());

    // Both advertisements from the portal named on the command line, in the user's data folder.
    const QDir data(home.filePath(QStringLiteral(".local/share/quillabrix")));
    QTRY_VERIFY_WITH_TIMEOUT(
        data.exists(QStringLiteral("pic/gg_banner.swf")) && data.exists(QStringLiteral("pic/gg_download.swf")), 60000);
    QVERIFY(data.exists(QStringLiteral("flash")));
    QCOMPARE(run.state(), QProcess::Running);
    run.terminate();
    QVERIFY(run.waitForFinished(20000));

    GameStore store(data.path());
    QVERIFY(store.open_db());
    QCOMPARE(store.count(), std::optional<qint64>(0));
    QCOMPARE(snapshot(root), before);
}

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "tst_installedprogram.moc"
