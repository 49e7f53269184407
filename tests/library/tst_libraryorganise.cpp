#include "base/library/library.h"
#include "filledlibrary.h"
#include "library/gamelistmodel.h"
#include "library/libraryorganiser.h"
#include "library/librarypanel.h"
#include "recordingmessagebox.h"

#include <QApplication>
#include <QSet>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

// Organising the library in the window: stars, the Favourites filter and the random pick.
class TestLibraryOrganise : public QObject
{
    Q_OBJECT

private slots:
    void starredGamesAreFoundAndPickedAtRandom();
};

void TestLibraryOrganise::starredGamesAreFoundAndPickedAtRandom()
{
    QVector<Game> games;
    for (int id = 1; id <= 8; ++id)
        games.append({id, QStringLiteral("Game %1").arg(id), QStringLiteral("g%1.swf").arg(id), QString(), {}});
    FilledLibrary folder(games);
    RecordingMessageBox messages;
    Library library(folder.path());
    LibraryPanel panel(&library, &messages, folder.app.filePath(QStringLiteral("no.gif")));
    LibraryOrganiser &organiser = *panel.organiser();
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.reload();
    GameListModel *model = panel.model();
    QTableView *grid = panel.findChild<QTableView *>(QStringLiteral("game_list"));
    QSignalSpy played(&panel, &LibraryPanel::playRequested);
    const auto rowRect = [&](qint64 id) {
        return grid->visualRect(model->index(model->rowOf(id), GameListModel::GameColumn));
    };

    // Three ways to star a game: its star in the grid, Ctrl+D on the grid's current game, the star in its details.
    const QRect cell = rowRect(7);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + cell.height() / 2, cell.center().y()));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowRect(5).center());
    QVERIFY(!library.game(5)->favourite); // a click beside the star only selects
    grid->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::ControlModifier);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowRect(2).center());
    QVERIFY(organiser.loc_star->isVisible());
    QTest::mouseClick(organiser.loc_star, Qt::LeftButton);
    QVERIFY(organiser.loc_star->isChecked());
    QCOMPARE(model->index(model->rowOf(2), 0).data(GameListModel::FavouriteRole), QVariant(true));

    QSet<qint64> starred{7, 5, 2};
    QTest::mouseClick(organiser.game_favourites, Qt::LeftButton);
    QSet<qint64> shown;
    for (int row = 1; row < model->rowCount(); ++row)
        shown.insert(model->idAt(row));
    QCOMPARE(shown, starred);
    // A star taken off among the favourites leaves the row under the mouse until they are shown again.
    const int five = model->rowOf(5);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      QPoint(cell.left() + cell.height() / 2, rowRect(5).center().y()));
    QCOMPARE(library.game(5)->favourite, false);
    QCOMPARE(model->rowOf(5), five);
    QTest::mouseClick(organiser.game_favourites, Qt::LeftButton);
    QTest::mouseClick(organiser.game_favourites, Qt::LeftButton);
    QCOMPARE(model->rowOf(5), -1);
    starred.remove(5);

    // Picked among those shown other than the one selected, selected with its details; never started.
    QSet<qint64> picked;
    for (int i = 0; i < 40; ++i) {
        const qint64 before = panel.currentGameId().value_or(0);
        QTest::mouseClick(organiser.game_random, Qt::LeftButton);
        const qint64 id = panel.currentGameId().value_or(0);
        QVERIFY2(starred.contains(id) && id != before, qPrintable(QString::number(id)));
        QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("loc_name"))->text(), QStringLiteral("Game %1").arg(id));
        picked.insert(id);
    }
    QVERIFY(picked.size() > 1);
    QCOMPARE(played.count(), 0);

    // The selected game is deleted: the details, star and play time too, are those of the game selected instead.
    const qint64 other = *panel.currentGameId() == 7 ? 2 : 7;
    QVERIFY(library.addPlayTime(other, 600, 60));
    QCOMPARE(library.deleteGame(*panel.currentGameId()).status, Deletion::Status::Deleted);
    QCOMPARE(panel.currentGameId(), other);
    QVERIFY(organiser.loc_star->isVisible() && organiser.loc_star->isChecked());
    QCOMPARE(organiser.loc_time->text(), LibraryOrganiser::playTimeText(600, 60));
}

QTEST_MAIN(TestLibraryOrganise)
#include "tst_libraryorganise.moc"
