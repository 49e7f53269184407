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

    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral("quillabrix 0.")
                             << QString();
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--server <URL>")
                          << QString();
    for (const char *bad :
         {"ftp://127.0.0.1/", "file:///tmp/portal/", "127.0.0.1:8642", "http://", "javascript:alert(1)"})
        QTest::newRow(bad) << QStringList{QStringLiteral("--server"), QString::fromLatin1(bad)} << 2 << QString()
                           << QStringLiteral("--server needs an http:// or https:// URL");
    QTest::newRow("server without a value") << QStringList{QStringLiteral("--server")} << 2 << QString()
                                            << QStringLiteral("Missing value after '--server'");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--sever=http://127.0.0.1/")} << 2 << QString()
                                    << QStringLiteral("Unknown option 'sever'");
}

void TestCommandLine::endsBeforeTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcess program;
    // No display at all: these answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
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
