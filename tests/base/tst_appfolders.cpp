#include "base/appfolders.h"
#include "base/library/gamestore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void touch(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

} // namespace

// Where the program takes its files from and keeps the user's data, told apart by the layout it finds.
class TestAppFolders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void tellsTheLayouts_data();
    void tellsTheLayouts();
    void givesAnInstalledProgramItsOwnLibrary();
    void leavesAFolderProgramAlone();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString path(const QString &relative) const { return m_root->filePath(relative); }
};

void TestAppFolders::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
}

void TestAppFolders::tellsTheLayouts_data()
{
    QTest::addColumn<QStringList>("files");   // made under the temporary root
    QTest::addColumn<QString>("program");     // the program's folder
    QTest::addColumn<QString>("expectFiles"); // expected folders, relative to the root
    QTest::addColumn<QString>("expectData");
    QTest::addColumn<QString>("xdgDataHome"); // an absolute one is taken under the temporary root

    const QString ruffle = QStringLiteral("/ruffle/ruffle.js");
    const QStringList installed{QStringLiteral("usr/bin/quillabrix"), QStringLiteral("usr/share/quillabrix") + ruffle};
    QTest::newRow("build folder") << QStringList{QStringLiteral("build/app") + ruffle} << QStringLiteral("build/app")
                                  << QStringLiteral("build/app") << QStringLiteral("build/app") << QString();
    QTest::newRow("installed") << installed << QStringLiteral("usr/bin") << QStringLiteral("usr/share/quillabrix")
                               << QStringLiteral("home/.local/share/quillabrix") << QString();
    QTest::newRow("installed, XDG_DATA_HOME")
        << installed << QStringLiteral("usr/bin") << QStringLiteral("usr/share/quillabrix")
        << QStringLiteral("xdg/quillabrix") << QStringLiteral("/xdg/");
    QTest::newRow("installed, relative XDG_DATA_HOME ignored")
        << installed << QStringLiteral("usr/bin") << QStringLiteral("usr/share/quillabrix")
        << QStringLiteral("home/.local/share/quillabrix") << QStringLiteral("xdg");
    QTest::newRow("folder copied beside an installed tree")
        << QStringList{QStringLiteral("opt/bin") + ruffle, QStringLiteral("opt/share/quillabrix") + ruffle}
        << QStringLiteral("opt/bin") << QStringLiteral("opt/bin") << QStringLiteral("opt/bin") << QString();
    QTest::newRow("share folder without the player")
        << QStringList{QStringLiteral("usr/share/quillabrix/no.gif")} << QStringLiteral("usr/bin")
        << QStringLiteral("usr/bin") << QStringLiteral("usr/bin") << QString();
}

void TestAppFolders::tellsTheLayouts()
{
    QFETCH(QStringList, files);
    QFETCH(QString, program);
    QFETCH(QString, expectFiles);
    QFETCH(QString, expectData);
    QFETCH(QString, xdgDataHome);
    for (const QString &file : files)
        touch(path(file));
    QDir().mkpath(path(program));

    const QString xdg = xdgDataHome.startsWith(QLatin1Char('/')) ? path(xdgDataHome.mid(1)) : xdgDataHome;
    const AppFolders folders =
        appfolders::locate(path(program), appfolders::userDataHome(xdg, path(QStringLiteral("home"))));
    QCOMPARE(folders.files, QDir::cleanPath(path(expectFiles)));
    QCOMPARE(folders.data, QDir::cleanPath(path(expectData)));
    QCOMPARE(folders.installed, expectFiles != expectData);
}

void TestAppFolders::givesAnInstalledProgramItsOwnLibrary()
{
    const QString shared = path(QStringLiteral("usr/share/quillabrix"));
    touch(shared + QStringLiteral("/ruffle/ruffle.js"));
    QVERIFY(GameStore::createLibrary(QDir(shared).filePath(GameStore::fileName())));
    QFile::setPermissions(QDir(shared).filePath(GameStore::fileName()), QFile::ReadOwner | QFile::ReadOther);
    const AppFolders folders =
        appfolders::locate(path(QStringLiteral("usr/bin")), path(QStringLiteral("home/.local/share")));
    QVERIFY(folders.installed);

    // First start: the delivered library, made the user's to write.
    QCOMPARE(appfolders::prepare(folders), QString());
    const QString library = QDir(folders.data).filePath(GameStore::fileName());
    QVERIFY(QFileInfo(library).isWritable());
    GameStore store(folders.data);
    QVERIFY(store.open_db());
    QCOMPARE(store.count(), std::optional<qint64>(0));

    // Later starts keep what the user's library holds.
    touch(library, "the user's games");
    QCOMPARE(appfolders::prepare(folders), QString());
    QFile kept(library);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("the user's games"));
    QCOMPARE(QDir(folders.data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{GameStore::fileName()});

    // A data folder that cannot be made is said so.
    touch(path(QStringLiteral("blocked")));
    const AppFolders blocked{shared, path(QStringLiteral("blocked/quillabrix")), true};
    QVERIFY(!appfolders::prepare(blocked).isEmpty());
}

void TestAppFolders::leavesAFolderProgramAlone()
{
    touch(path(QStringLiteral("app/ruffle/ruffle.js")));
    const AppFolders folders = appfolders::locate(path(QStringLiteral("app")), path(QStringLiteral("home")));
    QCOMPARE(appfolders::prepare(folders), QString());
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("home"))));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("app/") + GameStore::fileName())));
}

QTEST_GUILESS_MAIN(TestAppFolders)
#include "tst_appfolders.moc"
