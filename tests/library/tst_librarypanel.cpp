#include "base/library/library.h"
#include "base/translations.h"
#include "filledlibrary.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "recordingmessagebox.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A library holding the given games, and a panel over it.
struct Shelf : FilledLibrary
{
    RecordingMessageBox messages;
    std::unique_ptr<Library> library;
    GameStore *store = nullptr;
    std::unique_ptr<LibraryPanel> panel;

    explicit Shelf(const QVector<Game> &games = {}, int diskKiB = 0) : FilledLibrary(games, diskKiB)
    {
        if (diskKiB > 0 && !mounted)
            return;
        library = std::make_unique<Library>(path());
        store = &library->store();
        panel = std::make_unique<LibraryPanel>(library.get(), &messages, app.filePath(QStringLiteral("no.gif")));
        panel->placeOver(QRect(0, 0, twips::toPixels(11940), twips::toPixels(7965))); // the window's main area
        panel->show();
    }

    GameListModel *model() const { return panel->model(); }

    // The panel's controls, found by their names.
    template <typename T> T *part(const char *name) const { return panel->findChild<T *>(QLatin1String(name)); }
    QTableView *game_list() const { return part<QTableView>("game_list"); }
    QLabel *loc_pic() const { return part<QLabel>("loc_pic"); }
    QLabel *loc_name() const { return part<QLabel>("loc_name"); }
    QLabel *loc_dec() const { return part<QLabel>("loc_dec"); }
    QLabel *loc_stats() const { return part<QLabel>("loc_stats"); }
    QLabel *game_count() const { return part<QLabel>("game_count"); }
    QPushButton *Game_Play() const { return part<QPushButton>("Game_Play"); }
    QPushButton *Game_Delete() const { return part<QPushButton>("Game_Delete"); }
    QLineEdit *game_search() const { return part<QLineEdit>("game_search"); }
    QComboBox *game_sort() const { return part<QComboBox>("game_sort"); }

    QStringList idColumn() const
    {
        QStringList ids;
        for (int row = 0; row < model()->rowCount(); ++row)
            ids << model()->idText(row);
        return ids;
    }

    QPoint rowCentre(int row) const
    {
        return game_list()->visualRect(model()->index(row, GameListModel::GameColumn)).center();
    }
    void click(int row) const { QTest::mouseClick(game_list()->viewport(), Qt::LeftButton, {}, rowCentre(row)); }
    // What the window system delivers for a double-click: a click, then a press that is also a double-click.
    void doubleClick(int row) const
    {
        QWidget *viewport = game_list()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(row));
        QTest::mousePress(viewport, Qt::LeftButton, {}, rowCentre(row));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(row));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowCentre(row));
    }

    bool detailsShown() const { return !Game_Play()->isHidden() && !Game_Delete()->isHidden(); }
    bool detailsHidden() const { return Game_Play()->isHidden() && Game_Delete()->isHidden(); }
    bool pictureShown() const { return !loc_pic()->pixmap().isNull(); }
};

const QVector<Game> threeGames = {
    {4, QStringLiteral("Four"), QStringLiteral("four.swf"), QStringLiteral("four.png"), QStringLiteral("d4")},
    {7, QStringLiteral("Seven"), QStringLiteral("seven.swf"), QStringLiteral("seven.png"), QStringLiteral("d7")},
    {9, QStringLiteral("Nine"), QStringLiteral("nine.swf"), QStringLiteral("nine.png"), QStringLiteral("d9")},
};

} // namespace

// The library panel over a real encrypted library: the grid, a game's details, and deleting a game.
class TestLibraryPanel : public QObject
{
    Q_OBJECT

private slots:
    void gridListsGamesNewestFirstWithEveryOtherRowShaded_data();
    void gridListsGamesNewestFirstWithEveryOtherRowShaded();
    void emptyOrUnreadableLibraryListsNoGames();
    void clickShowsTheGamesDetails();
    void clicksThatFindNoGameChangeNothing();
    void detailsTellTheFilesAGameKeeps();
    void doubleClickShowsDetailsThenAsksToPlay();
    void deleteTakesTheRowOutAndTheDetailsFollowTheSelection();
    void deleteOfTheTitleRowDoesNothing();
    void deleteWhenTheLibraryCannotBeReadKeepsEverything();
    void fullDiskDeletionThatFailsKeepsTheGameListedAndSaysWhy();
    void searchFiltersAsTheUserTypesAndEscapeClears();
    void gamesRecordedWhileShownTakeTheirPlace();
    void titleClicksSortAndTheSessionKeepsOrderSearchAndSelection();
    void keyboardShowsPlaysAndDeletesOnlyWhenConfirmed();
    void playsAreCountedShownAndSortedBy();
    void oddGamesStillShowAndFilter();
    void detailsAndCountAreShownWholeAndApart_data();
    void detailsAndCountAreShownWholeAndApart();
};

void TestLibraryPanel::gridListsGamesNewestFirstWithEveryOtherRowShaded_data()
{
    QTest::addColumn<QVector<int>>("ids");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QVector<int>>("shaded");
    QTest::newRow("three games") << QVector<int>{4, 7, 9}
                                 << QStringList{QStringLiteral("9"), QStringLiteral("7"), QStringLiteral("4")}
                                 << QVector<int>{2};
    QTest::newRow("one game") << QVector<int>{5} << QStringList{QStringLiteral("5")} << QVector<int>{};
    QTest::newRow("five games") << QVector<int>{3, 1, 12, 2, 10}
                                << QStringList{QStringLiteral("12"), QStringLiteral("10"), QStringLiteral("3"),
                                               QStringLiteral("2"), QStringLiteral("1")}
                                << QVector<int>{2, 4};
}

void TestLibraryPanel::gridListsGamesNewestFirstWithEveryOtherRowShaded()
{
    QFETCH(QVector<int>, ids);
    QFETCH(QStringList, rows);
    QFETCH(QVector<int>, shaded);
    QVector<Game> games;
    for (int id : ids)
        games.append({id, QStringLiteral("Name#39;%1").arg(id), QStringLiteral("m%1.swf").arg(id),
                      QStringLiteral("p%1.png").arg(id), QStringLiteral("It#39;s #34;%1#34;").arg(id)});
    Shelf lib(games);
    QCOMPARE(lib.panel->gameCount(), std::optional<qint64>(ids.size()));
    lib.panel->reload();
    QVERIFY(QTest::qWaitForWindowExposed(lib.panel.get()));

    QCOMPARE(lib.idColumn(), QStringList{QStringLiteral("ID")} + rows);
    const QAbstractItemModel *model = lib.game_list()->model();
    QCOMPARE(model->columnCount(), 4);
    for (int column = 0; column < 4; ++column)
        QCOMPARE(model->index(0, column).data().toString(),
                 (QStringList{QStringLiteral("ID"), QStringLiteral("Game"), QStringLiteral("File"),
                              QStringLiteral("Description")})
                     .at(column));
    // The characters the server's codes stand for; the file name as it is.
    QCOMPARE(model->index(1, GameListModel::GameColumn).data().toString(), QStringLiteral("Name'") + rows.at(0));
    QCOMPARE(model->index(1, GameListModel::FileColumn).data().toString(), QStringLiteral("m%1.swf").arg(rows.at(0)));
    QCOMPARE(model->index(1, GameListModel::DescriptionColumn).data().toString(),
             QStringLiteral("It's \"%1\"").arg(rows.at(0)));

    QHeaderView *columns = lib.game_list()->horizontalHeader();
    QCOMPARE((QVector<int>{columns->sectionSize(0), columns->sectionSize(1), columns->sectionSize(2),
                           columns->sectionSize(3)}),
             (QVector<int>{53, 243, 200, 289}));
    QVERIFY(columns->isHidden() && lib.game_list()->verticalHeader()->isHidden());

    const QImage panelShot = lib.panel->grab().toImage();
    QCOMPARE(panelShot.pixelColor(panelShot.width() - 4, panelShot.height() - 4), QColor(0xE0, 0xE0, 0xE0));
    // What the user sees: the colour at the empty right end of each row's title cell.
    lib.game_list()->setCurrentIndex(QModelIndex()); // the first game is selected on opening
    const QImage shot = lib.game_list()->viewport()->grab().toImage();
    const QColor plain = lib.game_list()->palette().color(QPalette::Base);
    for (int row = 0; row <= rows.size(); ++row) {
        QCOMPARE(lib.game_list()->rowHeight(row), 27);
        const QColor expected = row == 0               ? GameListModel::titleBackground()
                                : shaded.contains(row) ? GameListModel::shadedBackground()
                                                       : plain;
        for (int column = 0; column < 4; ++column) {
            const QVariant background = model->index(row, column).data(Qt::BackgroundRole);
            QCOMPARE(background.isValid() ? background.value<QColor>() : plain, expected);
        }
        const QRect cell = lib.game_list()->visualRect(model->index(row, GameListModel::GameColumn));
        QCOMPARE(shot.pixelColor(cell.right() - 3, cell.center().y()), expected);
    }
}

void TestLibraryPanel::emptyOrUnreadableLibraryListsNoGames()
{
    Shelf empty;
    QCOMPARE(empty.panel->gameCount(), std::optional<qint64>(0));

    Shelf unreadable(threeGames);
    QFile file(unreadable.libraryFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Game library:")));
    QVERIFY(!unreadable.panel->gameCount());
    unreadable.panel->reload();
    QCOMPARE(unreadable.idColumn(), QStringList{QStringLiteral("ID")});
}

void TestLibraryPanel::clickShowsTheGamesDetails()
{
    Shelf lib(
        {{3, QStringLiteral("Bob#39;s #34;Run#34;"), QStringLiteral("run.swf"), QStringLiteral("run.png"),
          QStringLiteral("It#39;s #34;fast#34;, <b>really</b> #3#39;4;")},
         {5, QStringLiteral("俄罗斯方块"), QStringLiteral("t.swf"), QStringLiteral("t.png"), QStringLiteral("经典")}});
    lib.writeFile(QStringLiteral("pic/run.png"));
    lib.panel->reload();
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("俄罗斯方块")); // the library opens on its first game
    QVERIFY(lib.detailsShown());

    lib.click(2);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Bob's \"Run\""));
    QCOMPARE(lib.loc_dec()->text(), QStringLiteral("It's \"fast\", <b>really</b> #3'4;"));
    QCOMPARE(lib.loc_dec()->textFormat(), Qt::PlainText);
    QCOMPARE(lib.loc_name()->textFormat(), Qt::PlainText);
    QVERIFY(lib.pictureShown());
    QVERIFY(lib.detailsShown());
    QCOMPARE(lib.panel->currentGame()->id, 3);
    QCOMPARE(lib.model()->index(2, GameListModel::DescriptionColumn).data().toString(), lib.loc_dec()->text());
    QCOMPARE(lib.library->game(3)->title, QStringLiteral("Bob#39;s #34;Run#34;")); // kept as the server wrote it

    // A game whose picture is missing: no picture, but everything else.
    lib.click(1);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("俄罗斯方块"));
    QCOMPARE(lib.loc_dec()->text(), QStringLiteral("经典"));
    QVERIFY(!lib.pictureShown());
    QVERIFY(lib.detailsShown());

    // Opening the library again keeps the game selected, and its details.
    lib.click(2);
    lib.panel->reload();
    QVERIFY(lib.detailsShown());
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Bob's \"Run\""));
    QCOMPARE(lib.panel->currentGame()->id, 3);
}

void TestLibraryPanel::detailsTellTheFilesAGameKeeps()
{
    Shelf lib({{3, QStringLiteral("Maze"), QStringLiteral("m.swf"), QString(), QString()},
               {5, QStringLiteral("Pong"), QStringLiteral("p.swf"), QString(), QString()}});
    QVERIFY(lib.store->recordKeptFile(3, {QStringLiteral("files/1.txt"), 1000, QByteArray(32, 'a')}));
    QVERIFY(lib.store->recordKeptFile(3, {QStringLiteral("files/2.png"), 2500, QByteArray(32, 'b')}));
    lib.panel->reload();
    const auto kept = [&lib] { return lib.part<QLabel>("loc_kept")->text(); };
    lib.click(2);
    QCOMPARE(kept(), QStringLiteral("Files kept with the game: 2 (%1)").arg(QLocale().formattedDataSize(3500)));
    lib.click(1);
    QCOMPARE(kept(), QString());
}

void TestLibraryPanel::clicksThatFindNoGameChangeNothing()
{
    Shelf lib(threeGames);
    lib.panel->reload();
    lib.click(1);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Nine"));
    lib.click(0); // sorts by title; the game stays selected with its details
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Nine"));
    QCOMPARE(lib.panel->currentGame()->id, 9);
    QVERIFY(lib.detailsShown());

    // The table changed behind the grid: the row still lists a game that is gone (by title, Seven is last).
    QCOMPARE(SqlCipherCli::run(lib.libraryFile(), QStringLiteral("DELETE FROM data WHERE id = 7;\n")).err, QString());
    lib.click(3);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Nine"));
    QCOMPARE(lib.loc_dec()->text(), QStringLiteral("d9"));
    QVERIFY(!lib.panel->currentGame());
}

void TestLibraryPanel::doubleClickShowsDetailsThenAsksToPlay()
{
    Shelf lib(threeGames);
    lib.panel->reload();
    QSignalSpy play(lib.panel.get(), &LibraryPanel::playRequested);
    QString nameWhenAsked;
    connect(lib.panel.get(), &LibraryPanel::playRequested, this, [&] { nameWhenAsked = lib.loc_name()->text(); });

    lib.doubleClick(3);
    QCOMPARE(play.count(), 1);
    QCOMPARE(nameWhenAsked, QStringLiteral("Four"));
    QCOMPARE(lib.panel->currentGame()->id, 4);

    // A title's double-click sorts once (by title: Four, Nine, Seven) and plays nothing.
    lib.doubleClick(0);
    QCOMPARE(play.count(), 1);
    QCOMPARE(lib.idColumn(),
             (QStringList{QStringLiteral("ID"), QStringLiteral("4"), QStringLiteral("9"), QStringLiteral("7")}));

    lib.click(3);
    QTest::mouseClick(lib.Game_Play(), Qt::LeftButton);
    QCOMPARE(play.count(), 2);
    QCOMPARE(lib.panel->currentGame()->id, 7);
}

void TestLibraryPanel::deleteTakesTheRowOutAndTheDetailsFollowTheSelection()
{
    Shelf lib(threeGames);
    lib.writeFiles({QStringLiteral("flash/nine.swf"), QStringLiteral("pic/nine.png")});
    lib.panel->reload();
    lib.click(1);
    QVERIFY(lib.detailsShown());

    QTest::mouseClick(lib.Game_Delete(), Qt::LeftButton);
    QCOMPARE(lib.idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("7"), QStringLiteral("4")}));
    QCOMPARE(lib.game_count()->text(), QStringLiteral("2 games"));
    QCOMPARE(lib.panel->currentGame()->id, 7); // the row selected in its place, with its details
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Seven"));
    QVERIFY(lib.detailsShown());
    QVERIFY(!lib.exists(QStringLiteral("flash/nine.swf")));

    // A game deleted by anyone else leaves the grid too; the details follow the row that takes its place.
    lib.click(2);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Four"));
    QCOMPARE(lib.library->deleteGame(4).status, Deletion::Status::Deleted);
    QCOMPARE(lib.idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("7")}));
    QCOMPARE(lib.game_count()->text(), QStringLiteral("1 game"));
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Seven"));
    lib.panel->reload();
    QCOMPARE(lib.idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("7")}));

    // The last game goes: no details, the placeholder picture.
    QImage placeholder(20, 20, QImage::Format_RGB32);
    placeholder.fill(Qt::blue);
    QVERIFY(placeholder.save(lib.app.filePath(QStringLiteral("no.gif")), "PNG"));
    QTest::mouseClick(lib.Game_Delete(), Qt::LeftButton);
    QCOMPARE(lib.idColumn(), QStringList{QStringLiteral("ID")});
    QVERIFY(lib.detailsHidden());
    QVERIFY(lib.loc_name()->text().isEmpty());
    QVERIFY(lib.loc_dec()->text().isEmpty());
    QVERIFY2(lib.pictureShown(), "the placeholder picture");
}

void TestLibraryPanel::deleteOfTheTitleRowDoesNothing()
{
    Shelf lib(threeGames);
    lib.writeFile(QStringLiteral("flash/nine.swf"));
    lib.panel->reload();
    lib.click(1);
    QTest::keyClick(lib.game_list(), Qt::Key_Up);
    QVERIFY(lib.detailsShown());
    QTest::mouseClick(lib.Game_Delete(), Qt::LeftButton);
    QCOMPARE(lib.idColumn().size(), 4);
    QCOMPARE(lib.panel->gameCount(), std::optional<qint64>(3));
    QVERIFY(QFileInfo::exists(lib.app.filePath(QStringLiteral("flash/nine.swf"))));
}

void TestLibraryPanel::deleteWhenTheLibraryCannotBeReadKeepsEverything()
{
    Shelf lib(threeGames);
    lib.writeFile(QStringLiteral("flash/nine.swf"));
    lib.writeFile(QStringLiteral("pic/nine.png"));
    lib.panel->reload();
    lib.click(1);
    // Another program takes the library away while it is listed.
    const QByteArray library = SqlCipherCli::bytesOf(lib.libraryFile());
    QFile file(lib.libraryFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("busy");
    file.close();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Game library:")));
    lib.panel->Game_Delete_Click();
    QCOMPARE(lib.idColumn().size(), 4);
    QVERIFY(lib.detailsShown());
    QCOMPARE(SqlCipherCli::bytesOf(lib.libraryFile()), QByteArray("busy"));
    QVERIFY(QFileInfo::exists(lib.app.filePath(QStringLiteral("flash/nine.swf"))));
    QVERIFY(QFileInfo::exists(lib.app.filePath(QStringLiteral("pic/nine.png"))));
    QCOMPARE(lib.messages.texts(),
             QStringList{QStringLiteral("The game could not be deleted: the library cannot be read.")});

    // Back in place, the same click deletes the game.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(library);
    file.close();
    lib.panel->Game_Delete_Click();
    QCOMPARE(lib.idColumn().size(), 3);
    QVERIFY(!QFileInfo::exists(lib.app.filePath(QStringLiteral("flash/nine.swf"))));
}

void TestLibraryPanel::fullDiskDeletionThatFailsKeepsTheGameListedAndSaysWhy()
{
    if (!ownMounts())
        QSKIP("A full disk is a small file system this test mounts, which takes root (CAP_SYS_ADMIN).");
    // Both games name the same files: the one deleted has none of its own to make room with.
    Shelf lib({{1, QStringLiteral("One"), QStringLiteral("one.swf"), QStringLiteral("one.png"), QString()},
               {2, QStringLiteral("Two"), QStringLiteral("one.swf"), QStringLiteral("one.png"), QString()}},
              1024);
    QVERIFY(lib.mounted);
    lib.panel->reload();
    lib.click(2);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("One"));
    lib.fillDisk();

    lib.panel->Game_Delete_Click();
    QCOMPARE(lib.idColumn().size(), 3);
    QVERIFY(lib.detailsShown());
    QCOMPARE(lib.messages.texts(), QStringList{QStringLiteral("The disk is full, so the game stays in the library. "
                                                              "Free some disk space, then delete it again.")});
    // What the message says works.
    QVERIFY(lib.freeDisk());
    lib.panel->Game_Delete_Click();
    QCOMPARE(lib.idColumn().size(), 2);
    QCOMPARE(lib.messages.texts().size(), 1);
}

namespace {

const QVector<Game> searchGames = {
    {1, QStringLiteral("Tom#39;s #34;best#34; game"), QStringLiteral("a.swf"), QString(), QStringLiteral("Racing")},
    {2, QStringLiteral("快乐方块"), QStringLiteral("b.swf"), QString(), QStringLiteral("经典 Blocks")},
    {3, QStringLiteral("Moon Lander"), QStringLiteral("c.swf"), QString(), QStringLiteral("Land softly, TOM")},
    {4, QStringLiteral("Bubble Pop"), QStringLiteral("d.swf"), QString(), QStringLiteral("Pop them all")},
};

QStringList games(const Shelf &lib)
{
    QStringList out;
    for (int row = 1; row < lib.model()->rowCount(); ++row)
        out << lib.model()->idText(row);
    return out;
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    QTest::keyClicks(edit, text);
}

} // namespace

void TestLibraryPanel::searchFiltersAsTheUserTypesAndEscapeClears()
{
    Shelf lib(searchGames);
    lib.panel->reload();
    QCOMPARE(lib.game_count()->text(), QStringLiteral("4 games"));

    typeInto(lib.game_search(), QStringLiteral("to"));
    QCOMPARE(games(lib), (QStringList{QStringLiteral("3"), QStringLiteral("1")})); // description and title
    typeInto(lib.game_search(), QStringLiteral("m's"));                            // "tom's": the code is an apostrophe
    QCOMPARE(games(lib), QStringList{QStringLiteral("1")});
    QCOMPARE(lib.game_count()->text(), QStringLiteral("1 of 4 games"));
    QCOMPARE(lib.model()->index(1, GameListModel::GameColumn).data().toString(), QStringLiteral("Tom's \"best\" game"));

    QTest::keyClick(lib.game_search(), Qt::Key_Escape);
    QVERIFY(lib.game_search()->text().isEmpty());
    QCOMPARE(games(lib).size(), 4);

    lib.game_search()->setText(QStringLiteral("方块")); // typed through an input method
    QCOMPARE(games(lib), QStringList{QStringLiteral("2")});
    lib.game_search()->setText(QStringLiteral("BLOCKS"));
    QCOMPARE(games(lib), QStringList{QStringLiteral("2")});
    lib.game_search()->setText(QStringLiteral("nothing like it"));
    QCOMPARE(games(lib), QStringList{});
    QCOMPARE(lib.game_count()->text(), QStringLiteral("0 of 4 games"));

    // A filtered game is deleted: the count follows, and opening the library again keeps the search.
    lib.game_search()->setText(QStringLiteral("pop"));
    lib.click(1);
    QTest::mouseClick(lib.Game_Delete(), Qt::LeftButton);
    QCOMPARE(lib.game_count()->text(), QStringLiteral("0 of 3 games"));
    lib.panel->reload();
    QCOMPARE(lib.game_search()->text(), QStringLiteral("pop"));
    QCOMPARE(lib.game_count()->text(), QStringLiteral("0 of 3 games"));
}

// A download that ran in the background ends while the library is shown: the game shows where it belongs.
void TestLibraryPanel::gamesRecordedWhileShownTakeTheirPlace()
{
    Shelf lib(searchGames);
    lib.panel->reload();
    lib.writeFiles({QStringLiteral("flash/z.swf"), QStringLiteral("flash/z2.swf")});
    const auto shading = [&lib](int row) { return lib.model()->index(row, 0).data(Qt::BackgroundRole); };
    QVERIFY(lib.library
                ->recordAcquired({QStringLiteral("901"), QStringLiteral("Zebra"), QStringLiteral("z.swf"), QString(),
                                  QString(), QString()})
                .row);
    QCOMPARE(games(lib).first(), QStringLiteral("5"));
    QCOMPARE(lib.game_count()->text(), QStringLiteral("5 games"));
    QVERIFY(shading(1) != shading(2));

    typeInto(lib.game_search(), QStringLiteral("zebra"));
    QVERIFY(lib.library
                ->recordAcquired({QStringLiteral("902"), QStringLiteral("Zebra two"), QStringLiteral("z2.swf"),
                                  QString(), QString(), QString()})
                .row);
    QCOMPARE(games(lib), (QStringList{QStringLiteral("6"), QStringLiteral("5")}));
    QCOMPARE(lib.game_count()->text(), QStringLiteral("2 of 6 games"));
}

void TestLibraryPanel::titleClicksSortAndTheSessionKeepsOrderSearchAndSelection()
{
    Shelf lib(searchGames);
    lib.panel->reload();
    QSignalSpy play(lib.panel.get(), &LibraryPanel::playRequested);
    const QPoint gameTitle = lib.game_list()->visualRect(lib.model()->index(0, GameListModel::GameColumn)).center();
    QTest::mouseClick(lib.game_list()->viewport(), Qt::LeftButton, {}, gameTitle);
    QCOMPARE(games(lib),
             (QStringList{QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2")}));
    QVERIFY(lib.model()->index(0, GameListModel::GameColumn).data().toString().startsWith(QStringLiteral("Game ")));
    QTest::mouseClick(lib.game_list()->viewport(), Qt::LeftButton, {}, gameTitle);
    QCOMPARE(games(lib),
             (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("4")}));
    QCOMPARE(lib.game_sort()->currentIndex(), -1); // no entry of the list names this order
    QCOMPARE(play.count(), 0);
    QCOMPARE(lib.panel->currentGame()->id, 4); // the game selected on opening stays selected, with its details
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Bubble Pop"));
    // Sorting and filtering together; rows are shaded by their new places. The selected game is filtered out:
    // the first one shown is selected.
    lib.game_search()->setText(QStringLiteral("om"));
    QCOMPARE(games(lib), (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    QVERIFY(!lib.model()->index(1, 0).data(Qt::BackgroundRole).isValid());
    QCOMPARE(lib.model()->index(2, 0).data(Qt::BackgroundRole).value<QColor>(), GameListModel::shadedBackground());
    QCOMPARE(lib.panel->currentGame()->id, 1);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Tom's \"best\" game"));

    // Opening the library again in the session keeps the order, the search and the game selected.
    lib.click(2);
    lib.panel->reload();
    QCOMPARE(games(lib), (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    QCOMPARE(lib.game_search()->text(), QStringLiteral("om"));
    QCOMPARE(lib.game_sort()->currentIndex(), -1);
    QCOMPARE(lib.panel->currentGame()->id, 3);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Moon Lander"));
}

void TestLibraryPanel::keyboardShowsPlaysAndDeletesOnlyWhenConfirmed()
{
    Shelf lib(threeGames);
    for (const QString &f : {QStringLiteral("flash/nine.swf"), QStringLiteral("flash/seven.swf")})
        lib.writeFile(f);
    RecordingMessageBox &messages = lib.messages;
    lib.panel->reload();
    QSignalSpy play(lib.panel.get(), &LibraryPanel::playRequested);
    lib.click(1);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Nine"));
    QTest::keyClick(lib.game_list(), Qt::Key_Down);
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Seven"));
    QVERIFY(lib.detailsShown());
    QTest::keyClick(lib.game_list(), Qt::Key_Up);
    QTest::keyClick(lib.game_list(), Qt::Key_Up); // onto the title row: the details stay
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Nine"));
    QTest::keyClick(lib.game_list(), Qt::Key_Return); // the title row plays nothing
    QCOMPARE(play.count(), 0);
    QTest::keyClick(lib.game_list(), Qt::Key_Down);
    QTest::keyClick(lib.game_list(), Qt::Key_Down);
    QTest::keyClick(lib.game_list(), Qt::Key_Enter);
    QCOMPARE(play.count(), 1);
    QCOMPARE(lib.panel->currentGame()->id, 7);

    // The Delete key asks first; "No" keeps everything.
    messages.answer = false;
    QTest::keyClick(lib.game_list(), Qt::Key_Delete);
    QCOMPARE(messages.asked, QStringList{QStringLiteral("Delete \"Seven\" from the library?")});
    QCOMPARE(lib.model()->rowCount(), 4);
    QVERIFY(QFileInfo::exists(lib.app.filePath(QStringLiteral("flash/seven.swf"))));
    messages.answer = true;
    QTest::keyClick(lib.game_list(), Qt::Key_Delete);
    QCOMPARE(lib.idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("9"), QStringLiteral("4")}));
    QVERIFY(!QFileInfo::exists(lib.app.filePath(QStringLiteral("flash/seven.swf"))));
    QVERIFY(!lib.store->gameById(QStringLiteral("7")));
}

void TestLibraryPanel::playsAreCountedShownAndSortedBy()
{
    Shelf lib(threeGames);
    lib.panel->reload();
    lib.click(3);
    QCOMPARE(lib.loc_stats()->text(), QStringLiteral("Never played"));
    const qint64 when = QDateTime(QDate(2021, 3, 4), QTime(10, 30)).toSecsSinceEpoch();
    QVERIFY(lib.store->recordPlay(4, when));
    QVERIFY(lib.store->recordPlay(7, when - 100));
    QVERIFY(!lib.store->recordPlay(99, when)); // no such game: nothing is kept for it
    QVERIFY(lib.library->countPlay(4));        // the details shown follow the library
    QVERIFY2(lib.loc_stats()->text().startsWith(QStringLiteral("Played 2 times, last on ")),
             qPrintable(lib.loc_stats()->text()));

    // "Recently played" is one of the orders offered; games never played come last, newest first.
    lib.panel->reload();
    lib.game_sort()->setCurrentIndex(1);
    emit lib.game_sort()->activated(1);
    QCOMPARE(lib.game_sort()->currentText(), QStringLiteral("Recently played"));
    QCOMPARE(lib.idColumn(),
             (QStringList{QStringLiteral("ID"), QStringLiteral("4"), QStringLiteral("7"), QStringLiteral("9")}));

    // Statistics go with their game, and a library made without them gets them on its next opening.
    lib.click(1);
    QTest::mouseClick(lib.Game_Delete(), Qt::LeftButton);
    const SqlCipherCli left = SqlCipherCli::run(lib.libraryFile(), QStringLiteral("SELECT id FROM playstats;\n"));
    QCOMPARE(left.out.trimmed(), QStringLiteral("7"));
    QCOMPARE(SqlCipherCli::run(lib.libraryFile(), QStringLiteral("DROP TABLE playstats;\n")).err, QString());
    lib.panel->reload();
    QCOMPARE(lib.idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("9"), QStringLiteral("7")}));
    QVERIFY(lib.store->recordPlay(9, when));
    QCOMPARE(lib.store->gameById(QStringLiteral("9"))->playCount, 1);
}

void TestLibraryPanel::oddGamesStillShowAndFilter()
{
    const QString longTitle = QString(100000, QLatin1Char('w')) + QStringLiteral("end");
    Shelf lib({{1, longTitle, QStringLiteral("a.swf"), QStringLiteral("missing.png"), QStringLiteral("x")},
               {2, QStringLiteral("<b>Bold</b>"), QStringLiteral("b.swf"), QStringLiteral("text.png"),
                QStringLiteral("<script>alert(1)</script><img src=x>")},
               {3, QStringLiteral("Own game"), QStringLiteral("c.swf"), QString(), QString()}});
    QFile notAnImage(lib.app.filePath(QStringLiteral("pic/text.png")));
    QVERIFY(notAnImage.open(QIODevice::WriteOnly));
    notAnImage.write("this is not a picture");
    notAnImage.close();
    QImage placeholder(20, 20, QImage::Format_RGB32);
    placeholder.fill(Qt::blue);
    QVERIFY(placeholder.save(lib.app.filePath(QStringLiteral("no.gif")), "PNG"));
    lib.panel->reload();
    QVERIFY(QTest::qWaitForWindowExposed(lib.panel.get()));
    lib.panel->grab();

    lib.click(1); // the user's own game, with no picture: the placeholder shows
    QCOMPARE(lib.loc_name()->text(), QStringLiteral("Own game"));
    QVERIFY(lib.pictureShown());
    lib.click(2); // markup is text, and a picture that is none shows nothing
    QCOMPARE(lib.loc_dec()->text(), QStringLiteral("<script>alert(1)</script><img src=x>"));
    QCOMPARE(lib.loc_dec()->textFormat(), Qt::PlainText);
    QVERIFY(!lib.pictureShown());
    lib.click(3);
    QVERIFY(lib.detailsShown());
    QVERIFY(!lib.pictureShown());
    QVERIFY(lib.model()->index(3, GameListModel::GameColumn).data().toString().size() <= 1000);

    lib.game_search()->setText(QStringLiteral("wend"));
    QCOMPARE(games(lib), QStringList{QStringLiteral("1")});
    lib.game_search()->setText(QStringLiteral("<img"));
    QCOMPARE(games(lib), QStringList{QStringLiteral("2")});
}

void TestLibraryPanel::detailsAndCountAreShownWholeAndApart_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en_US");
    QTest::newRow("Simplified Chinese") << QStringLiteral("zh_CN");
}

void TestLibraryPanel::detailsAndCountAreShownWholeAndApart()
{
    QFETCH(QString, language);
    Translations translations{QLocale(language)};
    translations.install();
    Shelf lib({{1, QStringLiteral("Who#39;s Fastest?"), QStringLiteral("f.swf"), QString(),
                QStringLiteral("Race round every bend of the track, then once more against the clock. ").repeated(3)},
               {2, QStringLiteral("Day"), QStringLiteral("d.swf"), QString(), QString()},
               {3, QStringLiteral("Fast day"), QStringLiteral("e.swf"), QString(), QString()}});
    QVERIFY(lib.library->countPlay(1) && lib.library->addPlayTime(1, 3 * 3600 + 25 * 60, 47 * 60));
    QVERIFY(lib.store->recordKeptFile(1, {QStringLiteral("files/1.txt"), 123456789, QByteArray(32, 'a')}));
    lib.panel->reload();
    lib.game_search()->setText(QStringLiteral("fast")); // "2 of 3 games"
    lib.click(lib.model()->rowOf(1));
    for (const char *name : {"game_count", "loc_name", "loc_stats", "loc_time", "loc_kept"}) {
        const QLabel *label = lib.part<QLabel>(name);
        QVERIFY2(!label->text().isEmpty() && label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 name);
    }
    QVERIFY(lib.loc_dec()->heightForWidth(lib.loc_dec()->width()) <= lib.loc_dec()->height());
    const QList<QWidget *> parts = lib.panel->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QWidget *one : parts) {
        for (const QWidget *other : parts)
            QVERIFY2(one == other || !one->isVisible() || !other->isVisible() ||
                         !one->geometry().intersects(other->geometry()),
                     qPrintable(one->objectName() + QStringLiteral(" over ") + other->objectName()));
    }
}

int main(int argc, char *argv[])
{
    enterOwnMounts();
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    TestLibraryPanel tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_librarypanel.moc"
