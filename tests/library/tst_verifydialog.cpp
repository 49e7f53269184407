// "Verify library" from the Games menu over a real library: what the dialog offers for what it found, that nothing
// goes without the user's yes, and what each repair does.
#include "base/library/library.h"
#include "filledlibrary.h"
#include "library/gameadder.h"
#include "library/verifydialog.h"
#include "recordingmessagebox.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestVerifyDialog : public QObject
{
    Q_OBJECT

private slots:
    void repairsAreOfferedAndDoneOnlyOnYes();
    void keptFilesAreRepairedLikeMovies();
};

void TestVerifyDialog::repairsAreOfferedAndDoneOnlyOnYes()
{
    // A server game whose movie changed, an intact one, one of the user's own whose movie is gone, a stray file.
    FilledLibrary lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QString(), QString()},
                       {2, QStringLiteral("Two"), QStringLiteral("two.swf"), QString(), QString()},
                       {3, QStringLiteral("Own"), QStringLiteral("own.swf"), QString(), QString()}});
    QCOMPARE(SqlCipherCli::run(lib.libraryFile(), QStringLiteral("UPDATE data SET gameid = -1 WHERE id = 3;\n")).err,
             QString());
    lib.writeFiles(
        {QStringLiteral("flash/one.swf"), QStringLiteral("flash/two.swf"), QStringLiteral("flash/stray.swf")});
    Library library(lib.path());
    QCOMPARE(library.store().setMovieDigests({{1, {3, QByteArray(32, 'x')}}}, GameStore::DigestWrite::Replace), 1);

    QMainWindow window;
    RecordingMessageBox messages;
    auto *adder = new GameAdder(&library, &messages, &window);
    adder->setServerUrl(QUrl(QStringLiteral("http://127.0.0.1:8642/portal/")));
    adder->addMenu(window.menuBar());
    window.show();
    QSignalSpy redownload(adder, &GameAdder::redownloadRequested);
    QSignalSpy removed(&library, &Library::gameRemoved);

    window.findChild<QAction *>(QStringLiteral("m_verifylibrary"))->trigger();
    auto *dialog = window.findChild<VerifyDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QTRY_VERIFY(!dialog->isRunning());
    const auto button = [dialog](const char *name) { return dialog->findChild<QPushButton *>(QLatin1String(name)); };
    const QString findings = dialog->findChild<QPlainTextEdit *>()->toPlainText();
    QCOMPARE(findings.split(QLatin1Char('\n')), (QStringList{QStringLiteral("Own: the movie is missing"),
                                                             QStringLiteral("One: the movie's content has changed"),
                                                             QStringLiteral("No game uses flash/stray.swf")}));

    // No: nothing is deleted.
    messages.answer = false;
    QTest::mouseClick(button("verify_deleteorphans"), Qt::LeftButton);
    QTest::mouseClick(button("verify_removegone"), Qt::LeftButton);
    QCOMPARE(messages.asked.size(), 2);
    QVERIFY(messages.asked.first().endsWith(QLatin1String("\n\nflash/stray.swf")));
    QVERIFY(lib.exists(QStringLiteral("flash/stray.swf")));
    QVERIFY(library.game(3));

    messages.answer = true;
    QTest::mouseClick(button("verify_redownload"), Qt::LeftButton);
    QCOMPARE(redownload.size(), 1);
    QCOMPARE(redownload.first().first().value<QList<QUrl>>(),
             QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:8642/portal/game.asp?id=1001"))});
    QVERIFY(button("verify_redownload")->isHidden());
    QTest::mouseClick(button("verify_removegone"), Qt::LeftButton);
    QVERIFY(!library.game(3));
    QCOMPARE(removed.size(), 1);
    QTest::mouseClick(button("verify_deleteorphans"), Qt::LeftButton);
    QVERIFY(!lib.exists(QStringLiteral("flash/stray.swf")));
    QCOMPARE(lib.gameFiles(), (QStringList{QStringLiteral("flash/one.swf"), QStringLiteral("flash/two.swf")}));
    QCOMPARE(messages.shown.size(), 0);

    QTest::mouseClick(button("verify_close"), Qt::LeftButton);
    QTRY_VERIFY(!window.findChild<VerifyDialog *>());
}

void TestVerifyDialog::keptFilesAreRepairedLikeMovies()
{
    // Server game One misses a file it kept; companion/ holds a folder of no game (with a link out of it) and a file
    // of One's that a record comes to name after the check.
    FilledLibrary lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QString(), QString()}});
    lib.writeFiles({QStringLiteral("flash/one.swf"), QStringLiteral("keep.txt")});
    Library library(lib.path());
    QVERIFY(library.store().recordKeptFile(1, {QStringLiteral("files/a.txt"), 1, QByteArray(32, 'a')}));
    QVERIFY(QDir(lib.path()).mkpath(QStringLiteral("companion/99")) &&
            QDir(lib.path()).mkpath(QStringLiteral("companion/1")));
    lib.writeFiles({QStringLiteral("companion/99/x.txt"), QStringLiteral("companion/1/late.txt")});
    QVERIFY(
        QFile::link(lib.app.filePath(QStringLiteral("keep.txt")), lib.app.filePath(QStringLiteral("companion/99/ln"))));
    RecordingMessageBox messages;
    messages.answer = true;
    VerifyDialog dialog(&library, &messages, QUrl(QStringLiteral("http://127.0.0.1:8642/portal/")));
    dialog.show();
    dialog.start();
    QTRY_VERIFY(!dialog.isRunning());
    QCOMPARE(dialog.findChild<QPlainTextEdit *>()->toPlainText().split(QLatin1Char('\n')),
             (QStringList{QStringLiteral("One: the file files/a.txt kept with the game is missing"),
                          QStringLiteral("No game uses companion/1/late.txt"),
                          QStringLiteral("No game uses companion/99")}));
    QCOMPARE(dialog.redownloadLinks(),
             QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:8642/portal/game.asp?id=1001"))});

    QVERIFY(library.store().recordKeptFile(1, {QStringLiteral("late.txt"), 3, QByteArray(32, 'b')}));
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("verify_deleteorphans")), Qt::LeftButton);
    QVERIFY(!QFileInfo::exists(lib.app.filePath(QStringLiteral("companion/99"))));
    QVERIFY(lib.exists(QStringLiteral("keep.txt")));
    QVERIFY(lib.exists(QStringLiteral("companion/1/late.txt")));
}

QTEST_MAIN(TestVerifyDialog)
#include "tst_verifydialog.moc"
