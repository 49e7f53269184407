#include "base/library/library.h"
#include "library/savesactions.h"
#include "recordingmessagebox.h"
#include "testappfolder.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// A saves keeper that answers at once with what the test set: a count, and the outcome of every export or import.
class ScriptedKeeper : public SaveKeeper
{
public:
    int count = 1;
    SaveKeeper::Outcome outcome = SaveKeeper::Outcome::Done;
    void countSaves(const QString &, QObject *context, std::function<void(int)> done) override
    {
        QTimer::singleShot(0, context, [done, n = count] { done(n); });
    }
    void exportSaves(const QVector<Game> &, bool, const QString &, QObject *context,
                     std::function<void(const Result &)> done) override
    {
        QTimer::singleShot(0, context, [done, o = outcome] { done({o, 1, {}}); });
    }
    void importSaves(const Game &, const QString &, QObject *context, std::function<bool(int)>,
                     std::function<void(const Result &)> done) override
    {
        QTimer::singleShot(0, context, [done, o = outcome] { done({o, 1, {}}); });
    }
};

class CountingDialogs : public SavesFileDialogs
{
public:
    int asked = 0;
    QString chooseExportFile(const QString &, QWidget *) override { return ++asked, QStringLiteral("/tmp/c.zip"); }
    QString chooseImportFile(QWidget *) override { return ++asked, QStringLiteral("/tmp/c.zip"); }
};

class TestSavesActions : public QObject
{
    Q_OBJECT

private slots:
    void tellsWhatWasDone_data();
    void tellsWhatWasDone();
};

void TestSavesActions::tellsWhatWasDone_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("dialogs"); // how often a file was asked for
    QTest::addColumn<QString>("told");
    QTest::newRow("export") << "export" << 2 << 1 << "The saves of \"Counter\" were exported to /tmp/c.zip.";
    QTest::newRow("export, no saves: told before a file is asked for")
        << "export" << 0 << 0 << "\"Counter\" has no saves to export.";
    QTest::newRow("import") << "import" << 0 << 1 << "The saves of \"Counter\" were imported from /tmp/c.zip.";
    QTest::newRow("export all") << "all" << 0 << 1 << "Every game's saves were exported to /tmp/c.zip.";
}

void TestSavesActions::tellsWhatWasDone()
{
    QFETCH(QString, action);
    QFETCH(int, count);
    TestAppFolder app(TestAppFolder::WithLibrary);
    Library library(app.path());
    RecordingMessageBox messages;
    ScriptedKeeper keeper;
    keeper.count = count;
    CountingDialogs dialogs;
    QWidget parent;
    GameRecord game;
    game.id = 1;
    game.title = QStringLiteral("Counter");
    game.movieFile = QStringLiteral("counter.swf");
    SavesActions actions(
        &library, &messages, [game] { return std::optional<GameRecord>(game); }, &parent);
    actions.setSaves(&keeper, &dialogs);
    actions.update(true);
    if (action == QLatin1String("export"))
        actions.exportSaves();
    else if (action == QLatin1String("import"))
        actions.importSaves();
    else
        actions.exportAllSaves();
    QFETCH(QString, told);
    QTRY_COMPARE(messages.texts(), QStringList{told});
    QCOMPARE(messages.shown.first().first, MessageBox::Icon::Information);
    QTEST(dialogs.asked, "dialogs");
}

QTEST_MAIN(TestSavesActions)
#include "tst_savesactions.moc"
