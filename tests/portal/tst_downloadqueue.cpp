#include "base/portal/downloadqueue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The queue's file costs few writes however many changes come at once, and holds every game once the queue is gone.
class TestDownloadQueue : public QObject
{
    Q_OBJECT

private slots:
    void manyChangesMakeFewWrites();
};

void TestDownloadQueue::manyChangesMakeFewWrites()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("downloads.json"));
    auto queue = std::make_unique<DownloadQueue>();
    queue->setFile(file);
    QSignalSpy written(queue.get(), &DownloadQueue::fileWritten);
    constexpr int games = 2000;
    for (int i = 1; i <= games; ++i) {
        const QString id = QString::number(i);
        const quint64 serial = queue->add(QUrl(QStringLiteral("http://127.0.0.1/game.asp?id=") + id));
        queue->setDetails(serial,
                          {id, id, {}, QStringLiteral("http://127.0.0.1/m.swf"), {}, id + QStringLiteral(".swf"), {}});
    }
    QTRY_COMPARE(written.size(), 1);
    for (quint64 serial = 1; serial <= games; serial += 2)
        queue->setState(serial, QueuedGame::State::Failed, QStringLiteral("no"));
    queue->remove(games);
    QCOMPARE(written.size(), 1); // they wait for the interval, and are written when the queue goes before it ends
    queue.reset();

    DownloadQueue next;
    next.setFile(file);
    const QList<QueuedGame> saved = next.read();
    QCOMPARE(saved.size(), games - 1);
    QCOMPARE(saved.first().state, QueuedGame::State::Failed);
    QCOMPARE(saved.last().game->gameId, QStringLiteral("1999"));
}

QTEST_GUILESS_MAIN(TestDownloadQueue)
#include "tst_downloadqueue.moc"
