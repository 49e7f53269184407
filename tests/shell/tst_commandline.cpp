#include "testappfolder.h"

#include <QDir>
#include <QProcess>
#include <QTest>

// The program's command line, run as a user runs it: what it prints and how it ends before any window exists.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void endsBeforeTheWindow_data();
    void endsBeforeTheWindow();
};

void TestCommandLine::endsBeforeTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("lang");

    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral("quillabrix 0.")
                             << QString() << "C";
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--server <URL>") << QString()
                          << "C";
    for (const char *bad :
         {"ftp://127.0.0.1/", "file:///tmp/portal/", "127.0.0.1:8642", "http://", "javascript:alert(1)"})
        QTest::newRow(bad) << QStringList{QStringLiteral("--server"), QString::fromLatin1(bad)} << 2 << QString()
                           << QStringLiteral("--server needs an http:// or https:// URL") << "C";
    QTest::newRow("server without a value") << QStringList{QStringLiteral("--server")} << 2 << QString()
                                            << QStringLiteral("Missing value after '--server'") << "C";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--sever=http://127.0.0.1/")} << 2 << QString()
                                    << QStringLiteral("Unknown option 'sever'") << "C";
    // The program's own texts follow the user's language.
    QTest::newRow("help in Chinese") << QStringList{QStringLiteral("--help")} << 0
                                     << QStringLiteral("游戏服务器的基础网址") << QString() << "zh_CN.UTF-8";
    QTest::newRow("bad server in Chinese")
        << QStringList{QStringLiteral("--server"), QStringLiteral("ftp://127.0.0.1/")} << 2 << QString()
        << QStringLiteral("--server 需要一个带主机名的 http:// 或 https:// 网址") << "zh_CN.UTF-8";
    QTest::newRow("English listed first")
        << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("The game server's base URL") << QString()
        << "zh_CN.UTF-8 en";
}

void TestCommandLine::endsBeforeTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, lang);

    QProcess program;
    // No display at all: these answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // lang: LANG, then the languages the user lists first, if any.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), lang.section(QLatin1Char(' '), 0, 0));
    if (lang.contains(QLatin1Char(' ')))
        env.insert(QStringLiteral("LANGUAGE"), lang.section(QLatin1Char(' '), 1));
    program.setProcessEnvironment(env);
    program.start(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("quillabrix")), arguments);
    QVERIFY2(program.waitForFinished(20000), "the program did not end by itself");
    const QString stdOut = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    if (!out.isEmpty())
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
    if (!err.isEmpty())
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    if (exitCode != 0)
        QVERIFY2(stdOut.isEmpty(), qPrintable(stdOut));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
