#include "base/library/gamestore.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "player/playerpanel.h"
#include "portal/downloadpanel.h"
#include "swfwriter.h"
#include "widgets/picturebutton.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first

struct Game
{
    QString name, movie, picture, desc;
};

} // namespace

// The local library as the main window shows it: opening it, a game's details, and deleting a game.
class TestLibraryWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void emptyLibraryWarnsAndChangesNothing_data();
    void emptyLibraryWarnsAndChangesNothing();
    void openingListsGamesNewestFirstAndBlanksThePlayer();
    void clickShowsTheGamesDetails_data();
    void clickShowsTheGamesDetails();
    void deleteRemovesTheGameButKeepsSharedFiles_data();
    void deleteRemovesTheGameButKeepsSharedFiles();
    void droppedMoviesOpenTheLibraryAndPlaysAreCounted();

private:
    Form1 *window() const { return m_w->window.get(); }
    LibraryPanel *library() const { return ui::game_main(window()); }
    QString appFile(const QString &relative) const { return m_w->folder.filePath(relative); }
    // Records the game; its movie and picture are written unless named empty here.
    bool addGame(const Game &game, bool writeFiles = true);
    int rowOf(qint64 id) const;
    void clickRow(int row);
    bool playGame(qint64 id);
    QStringList idColumn() const;
    QStringList visiblePanels() const;
    QColor pictureColour() const;

    PortalServer m_server;
    std::unique_ptr<WindowUnderTest> m_w;
    int m_nextGameId = 700;
};

bool TestLibraryWindow::addGame(const Game &game, bool writeFiles)
{
    if (writeFiles && !game.movie.isEmpty() && !QFileInfo::exists(appFile(QStringLiteral("flash/") + game.movie))) {
        swf::MovieSpec spec;
        spec.frameColors = {0x00ff00, 0x0000ff};
        spec.frameRate = 2;
        const std::string bytes = swf::writeSolidColourMovie(spec);
        QFile file(appFile(QStringLiteral("flash/") + game.movie));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
            return false;
    }
    if (writeFiles && !game.picture.isEmpty()) {
        QImage picture(120, 90, QImage::Format_RGB32);
        picture.fill(QColor(0x20, 0xa0, 0x40));
        if (!picture.save(appFile(QStringLiteral("pic/") + game.picture), "PNG"))
            return false;
    }
    GameStore store(m_w->folder.path());
    return store.open_db() &&
           store.insert(QString::number(m_nextGameId++), game.name, game.movie, game.picture, game.desc);
}

int TestLibraryWindow::rowOf(qint64 id) const
{
    const GameListModel *model = library()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->idText(row) == QString::number(id))
            return row;
    }
    return -1;
}

void TestLibraryWindow::clickRow(int row)
{
    QTableView *grid = ui::game_list(library());
    const QRect cell = grid->visualRect(grid->model()->index(row, GameListModel::GameColumn));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

bool TestLibraryWindow::playGame(qint64 id)
{
    QSignalSpy started(ui::flash(window()), &FlashPlayer::movieStarted);
    window()->b_local_Click();
    clickRow(rowOf(id));
    ui::Game_Play(library())->click();
    return started.wait(kStartTimeout) || !started.isEmpty();
}

QStringList TestLibraryWindow::idColumn() const
{
    QStringList ids;
    for (int row = 0; row < library()->model()->rowCount(); ++row)
        ids << library()->model()->idText(row);
    return ids;
}

QStringList TestLibraryWindow::visiblePanels() const
{
    QStringList shown;
    for (QWidget *panel :
         {static_cast<QWidget *>(ui::main_main(window())), static_cast<QWidget *>(library()),
          static_cast<QWidget *>(ui::flash_main(window())), static_cast<QWidget *>(ui::download_main(window())),
          static_cast<QWidget *>(ui::gg_download(window()))}) {
        if (!panel->isHidden())
            shown << panel->objectName();
    }
    return shown;
}

QColor TestLibraryWindow::pictureColour() const
{
    const QImage shot = ui::loc_pic(library())->grab().toImage();
    return shot.pixelColor(shot.width() / 2, shot.height() / 2);
}

void TestLibraryWindow::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestLibraryWindow::init()
{
    m_w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(m_w->start());
}

void TestLibraryWindow::cleanup()
{
    m_w.reset();
}

void TestLibraryWindow::emptyLibraryWarnsAndChangesNothing_data()
{
    QTest::addColumn<bool>("fromThePlayer");
    QTest::newRow("from the portal") << false;
    QTest::newRow("from the player") << true;
}

void TestLibraryWindow::emptyLibraryWarnsAndChangesNothing()
{
    QFETCH(bool, fromThePlayer);
    if (fromThePlayer) {
        QVERIFY(addGame({QStringLiteral("Gone"), QStringLiteral("gone.swf"), QStringLiteral("gone.png"), {}}));
        QVERIFY(playGame(1));
        GameStore store(m_w->folder.path());
        QVERIFY(store.open_db() && store.removeById(QStringLiteral("1")));
    }
    const QStringList panels = visiblePanels();
    const QString movie = ui::flash(window())->movie();
    const QString loaded = window()->loadedMovieName();

    if (fromThePlayer) {
        PictureButton *local = ui::flash_main(window())->b_local;
        QTest::mouseClick(window()->windowHandle(), Qt::LeftButton, {}, local->mapTo(window(), local->rect().center()));
    } else {
        window()->b_local_Click();
    }

    QCOMPARE(m_w->messages.shown.size(), 1);
    QCOMPARE(m_w->messages.shown.first().first, MessageBox::Icon::Warning);
    QCOMPARE(m_w->messages.shown.first().second,
             QStringLiteral("No games, please click Left menu to choose a game type."));
    QCOMPARE(visiblePanels(), panels);
    QCOMPARE(ui::flash(window())->movie(), movie);
    QCOMPARE(window()->loadedMovieName(), loaded);
}

void TestLibraryWindow::openingListsGamesNewestFirstAndBlanksThePlayer()
{
    for (const QString &name : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")})
        QVERIFY(addGame({name, name.toLower() + QStringLiteral(".swf"), name.toLower() + QStringLiteral(".png"),
                         QStringLiteral("About ") + name}));
    window()->b_local_Click();
    QCOMPARE(visiblePanels(), QStringList{QStringLiteral("game_main")});
    QCOMPARE(idColumn(),
             (QStringList{QStringLiteral("ID"), QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1")}));
    QVERIFY(playGame(2));
    QCOMPARE(visiblePanels(), QStringList{QStringLiteral("flash_main")});

    // Back from the player with its own button, while the game plays.
    PictureButton *local = ui::flash_main(window())->b_local;
    QTest::mouseClick(window()->windowHandle(), Qt::LeftButton, {}, local->mapTo(window(), local->rect().center()));
    QCOMPARE(visiblePanels(), QStringList{QStringLiteral("game_main")});
    QCOMPARE(ui::flash(window())->movie(), m_w->folder.path() + QStringLiteral("/noswf.wsf"));
    QVERIFY(!QFileInfo::exists(ui::flash(window())->movie()));
    QCOMPARE(idColumn(),
             (QStringList{QStringLiteral("ID"), QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1")}));
    // The game played stays selected, with its details.
    QCOMPARE(ui::loc_name(library())->text(), QStringLiteral("Two"));
    QVERIFY(ui::Game_Play(library())->isVisible() && ui::Game_Delete(library())->isVisible());
    QVERIFY(m_w->messages.shown.isEmpty());
}

void TestLibraryWindow::clickShowsTheGamesDetails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("shownDesc");
    QTest::addColumn<bool>("withPicture");
    QTest::newRow("codes") << QStringLiteral("Tom#39;s #34;best#34; game") << QStringLiteral("Tom's \"best\" game")
                           << QStringLiteral("It#39;s #34;fun#34;") << QStringLiteral("It's \"fun\"") << true;
    QTest::newRow("code halves and markup")
        << QStringLiteral("<b>Bold</b>") << QStringLiteral("<b>Bold</b>") << QStringLiteral("#3#39;9; <i>x</i>")
        << QStringLiteral("#3'9; <i>x</i>") << true;
    QTest::newRow("picture missing") << QStringLiteral("Plain") << QStringLiteral("Plain")
                                     << QStringLiteral("Nothing to turn back") << QStringLiteral("Nothing to turn back")
                                     << false;
}

void TestLibraryWindow::clickShowsTheGamesDetails()
{
    QFETCH(QString, name);
    QFETCH(QString, shownName);
    QFETCH(QString, desc);
    QFETCH(QString, shownDesc);
    QFETCH(bool, withPicture);
    QVERIFY(addGame({QStringLiteral("Other"), QStringLiteral("other.swf"), QStringLiteral("other.png"),
                     QStringLiteral("Other game")}));
    QVERIFY(addGame({name, QStringLiteral("this.swf"), QStringLiteral("this.png"), desc}, withPicture));
    window()->b_local_Click();
    const int row = 1; // the newest game
    // The characters the server's codes stand for are shown; what is stored stays as the server sent it.
    QCOMPARE(library()->model()->index(row, GameListModel::GameColumn).data().toString(), shownName);
    QCOMPARE(library()->model()->index(row, GameListModel::DescriptionColumn).data().toString(), shownDesc);

    clickRow(row);
    QCOMPARE(ui::loc_name(library())->text(), shownName);
    QCOMPARE(ui::loc_dec(library())->text(), shownDesc);
    // Texts from the server are shown as they are, never as markup.
    QCOMPARE(ui::loc_name(library())->textFormat(), Qt::PlainText);
    QCOMPARE(ui::loc_dec(library())->textFormat(), Qt::PlainText);
    QVERIFY(ui::Game_Play(library())->isVisible() && ui::Game_Delete(library())->isVisible());
    if (withPicture)
        QCOMPARE(pictureColour(), QColor(0x20, 0xa0, 0x40));
    else
        QVERIFY(ui::loc_pic(library())->pixmap().isNull());
    // Showing details plays nothing.
    QCOMPARE(visiblePanels(), QStringList{QStringLiteral("game_main")});
    QCOMPARE(ui::flash(window())->movie(), m_w->folder.path() + QStringLiteral("/noswf.wsf"));
}

void TestLibraryWindow::deleteRemovesTheGameButKeepsSharedFiles_data()
{
    // Two games with files of their own, then the one deleted, named here.
    QTest::addColumn<QString>("movie");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<bool>("filesOnDisk");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("gone");
    const QStringList ownFiles{QStringLiteral("flash/a.swf"), QStringLiteral("pic/a.png"),
                               QStringLiteral("flash/b.swf"), QStringLiteral("pic/b.png")};
    QTest::newRow("files of its own") << QStringLiteral("c.swf") << QStringLiteral("c.png") << true << ownFiles
                                      << QStringList{QStringLiteral("flash/c.swf"), QStringLiteral("pic/c.png")};
    QTest::newRow("movie another game names") << QStringLiteral("a.swf") << QStringLiteral("c.png") << true << ownFiles
                                              << QStringList{QStringLiteral("pic/c.png")};
    QTest::newRow("picture another game names") << QStringLiteral("c.swf") << QStringLiteral("b.png") << true
                                                << ownFiles << QStringList{QStringLiteral("flash/c.swf")};
    QTest::newRow("files removed by hand") << QStringLiteral("c.swf") << QStringLiteral("c.png") << false << ownFiles
                                           << QStringList{QStringLiteral("flash/c.swf"), QStringLiteral("pic/c.png")};
}

void TestLibraryWindow::deleteRemovesTheGameButKeepsSharedFiles()
{
    QFETCH(QString, movie);
    QFETCH(QString, picture);
    QFETCH(bool, filesOnDisk);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, gone);
    QVERIFY(addGame({QStringLiteral("A"), QStringLiteral("a.swf"), QStringLiteral("a.png"), QStringLiteral("a")}));
    QVERIFY(addGame({QStringLiteral("B"), QStringLiteral("b.swf"), QStringLiteral("b.png"), QStringLiteral("b")}));
    QVERIFY(addGame({QStringLiteral("C"), movie, picture, QStringLiteral("c")}, filesOnDisk));

    window()->b_local_Click();
    QCOMPARE(rowOf(3), 1);
    clickRow(1);
    QCOMPARE(ui::loc_name(library())->text(), QStringLiteral("C"));
    QTest::mouseClick(ui::Game_Delete(library()), Qt::LeftButton);
    // The panel first asks the player whether the game has saves, which takes a moment.
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(3), -1, kStartTimeout);

    for (const QString &file : kept)
        QVERIFY2(QFileInfo::exists(appFile(file)), qPrintable(file));
    for (const QString &file : gone)
        QVERIFY2(!QFileInfo::exists(appFile(file)), qPrintable(file));
    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    QVERIFY(!store.gameById(QStringLiteral("3")));
    QCOMPARE(store.count(), std::optional<qint64>(2));

    QCOMPARE(idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("2"), QStringLiteral("1")}));
    // The details are those of the game selected in its place.
    QCOMPARE(ui::loc_name(library())->text(), QStringLiteral("B"));
    QVERIFY(ui::Game_Play(library())->isVisible() && ui::Game_Delete(library())->isVisible());
    QVERIFY(m_w->messages.shown.isEmpty());

    window()->b_local_Click();
    QCOMPARE(idColumn(), (QStringList{QStringLiteral("ID"), QStringLiteral("2"), QStringLiteral("1")}));
    QCOMPARE(visiblePanels(), QStringList{QStringLiteral("game_main")});
}

void TestLibraryWindow::droppedMoviesOpenTheLibraryAndPlaysAreCounted()
{
    // The user's own folder: two movies and a text file named like one, dropped on an empty library.
    QTemporaryDir own;
    swf::MovieSpec spec;
    for (const QString &name : {QStringLiteral("Red Planet.swf"), QStringLiteral("blue.SWF")}) {
        spec.frameColors = {name.startsWith(QLatin1Char('R')) ? 0xff0000u : 0x0000ffu};
        const std::string bytes = swf::writeSolidColourMovie(spec);
        QFile file(own.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes.data(), qint64(bytes.size())) > 0);
    }
    QFile fake(own.filePath(QStringLiteral("notes.swf")));
    QVERIFY(fake.open(QIODevice::WriteOnly) && fake.write("just some notes") > 0);
    fake.close();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(own.path())});
    const QPoint at = window()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window(), &drop);
    QVERIFY(QTest::qWaitFor([&] { return window()->currentPane() == Form1::Pane::Library; }, 20000));

    QCOMPARE(m_w->messages.texts(),
             QStringList{QStringLiteral("These files were not added:\nnotes.swf: not a Flash movie")});
    // Added in name order, so the second is the newest; titles from the file names; ids below zero.
    QCOMPARE(library()->model()->index(1, GameListModel::GameColumn).data().toString(), QStringLiteral("Red Planet"));
    QCOMPARE(library()->model()->index(2, GameListModel::GameColumn).data().toString(), QStringLiteral("blue"));
    GameStore store(m_w->folder.path());
    QVERIFY(store.open_db());
    QCOMPARE(store.gameById(library()->model()->idText(1))->gameId, QStringLiteral("-2"));
    QVERIFY(QFileInfo::exists(appFile(QStringLiteral("flash/Red Planet.swf"))));

    const qint64 blue = library()->model()->idAt(2);
    QVERIFY(playGame(blue));
    QVERIFY(playGame(blue));
    window()->b_local_Click();
    clickRow(rowOf(blue));
    QVERIFY2(ui::loc_stats(library())->text().startsWith(QStringLiteral("Played 2 times")),
             qPrintable(ui::loc_stats(library())->text()));
    QCOMPARE(store.gameById(QString::number(blue))->playCount, 2);
}

QUILLABRIX_WINDOW_TEST_MAIN(TestLibraryWindow)
#include "tst_librarywindow.moc"
