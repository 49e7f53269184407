#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "pagedriver.h"
#include "pixelcolours.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

constexpr int kTimeout = 30000;
constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first

const QString kProbe = QStringLiteral("companionprobe");

// The companion probe shows in each quarter how one of its files came: the text's colour (green), the picture
// (blue), the sound complete (yellow), the second movie (magenta); grey while waiting, red or orange for an error.
struct Quarter
{
    const char *file;
    double x, y; // the quarter's centre, as a share of the player's width and height
    QColor loaded;
};
const Quarter kQuarters[] = {{"colour.txt", 0.25, 0.25, QColor(0x00, 0xff, 0x00)},
                             {"art/picture.png", 0.75, 0.25, QColor(0x00, 0x00, 0xff)},
                             {"sound.mp3", 0.25, 0.75, QColor(0xff, 0xff, 0x00)},
                             {"second.swf", 0.75, 0.75, QColor(0xff, 0x00, 0xff)}};

// The probe as the build makes it, copied into folder: its movie and, beside it, its folder of files.
bool copyProbe(const QString &folder)
{
    const QDir built(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies")));
    if (!QFile::copy(built.filePath(kProbe + QStringLiteral(".swf")),
                     QDir(folder).filePath(kProbe + QStringLiteral(".swf"))))
        return false;
    QDirIterator it(built.filePath(kProbe), QDir::Files, QDirIterator::Subdirectories);
    int copied = 0;
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = QDir(folder).filePath(built.relativeFilePath(from));
        if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to))
            return false;
        ++copied;
    }
    return copied == int(std::size(kQuarters));
}

// Waits until the player shows every file of the probe loaded; what it showed when it did not.
QString waitForEveryFile(FlashPlayer *player)
{
    QString shown;
    const auto allLoaded = [&] {
        const QImage shot = player->grab().toImage();
        shown.clear();
        bool all = true;
        for (const Quarter &q : kQuarters) {
            const QColor c = shot.pixelColor(int(shot.width() * q.x), int(shot.height() * q.y));
            shown += QStringLiteral("%1 %2; ").arg(QLatin1String(q.file), c.name());
            all = all && near(c, q.loaded);
        }
        return all;
    };
    return QTest::qWaitFor(allLoaded, kTimeout) ? QString() : shown;
}

} // namespace

// A game whose movie loads files beside it (a text, a picture, a sound, a second movie) shows them the first time
// from where it came, and again from the library once they are gone from there: a game of the portal, and a
// movie the user added from a folder of their own.
class TestCompanion : public QObject
{
    Q_OBJECT

private slots:
    void serverGameKeepsItsFilesForOfflinePlay();
    void importedGameKeepsItsFilesForOfflinePlay();

private:
    // Plays the probe from the library as the user does.
    static bool playFromLibrary(Form1 *window);
};

bool TestCompanion::playFromLibrary(Form1 *window)
{
    window->b_local_Click();
    LibraryPanel *library = ui::game_main(window);
    const GameListModel *model = library->model();
    int row = -1;
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->isGameRow(r) && model->index(r, GameListModel::GameColumn).data().toString() == kProbe)
            row = r;
    }
    if (row < 0)
        return false;
    QTableView *grid = ui::game_list(library);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(model->index(row, GameListModel::GameColumn)).center());
    QSignalSpy started(ui::flash(window), &FlashPlayer::movieStarted);
    QTest::mouseClick(ui::Game_Play(library), Qt::LeftButton);
    return started.wait(kStartTimeout) || !started.isEmpty();
}

void TestCompanion::serverGameKeepsItsFilesForOfflinePlay()
{
    QTemporaryDir games;
    QVERIFY(copyProbe(games.path()));
    PortalServer server;
    QVERIFY(server.start({QStringLiteral("--games"), games.path()}));
    WindowUnderTest w(server.baseUrl());
    QVERIFY(w.start());
    Form1 *window = w.window.get();
    WebBrowser *portal = ui::main_web(window);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return portal->url() == server.url(QStringLiteral("main.htm")) &&
                   portal->ReadyState() == WebBrowser::Complete;
        },
        kTimeout));
    QSignalSpy recorded(window, &Form1::gameRecorded);
    QVERIFY(pagedriver::clickElement(portal, QStringLiteral("a.game[href=\"game.asp?id=101\"]")));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, kTimeout);
    const QString first = waitForEveryFile(ui::flash(window));
    QVERIFY2(first.isEmpty(), qPrintable(first));

    // Gone from the server: the program's next start plays what it kept.
    QVERIFY(QDir(games.filePath(kProbe)).removeRecursively());
    QVERIFY(w.restart(server.baseUrl()));
    QVERIFY(playFromLibrary(w.window.get()));
    const QString again = waitForEveryFile(ui::flash(w.window.get()));
    QVERIFY2(again.isEmpty(), qPrintable(again));
    QVERIFY(w.messages.shown.isEmpty());
}

void TestCompanion::importedGameKeepsItsFilesForOfflinePlay()
{
    auto own = std::make_unique<QTemporaryDir>();
    QVERIFY(copyProbe(own->path()));
    PortalServer server;
    QVERIFY(server.start());
    WindowUnderTest w(server.baseUrl());
    QVERIFY(w.start());
    Form1 *window = w.window.get();

    // The folder dropped on the window, as the user adds their own games (its movie, not those of its subfolders);
    // the library opens with it.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(own->path())});
    const QPoint at = window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &drop);
    QVERIFY(QTest::qWaitFor([&] { return window->currentPane() == Form1::Pane::Library; }, kTimeout));
    QVERIFY(playFromLibrary(window));
    const QString first = waitForEveryFile(ui::flash(window));
    QVERIFY2(first.isEmpty(), qPrintable(first));

    // The user's folder gone: the program's next start plays what it kept.
    own.reset();
    QVERIFY(w.restart(server.baseUrl()));
    QVERIFY(playFromLibrary(w.window.get()));
    const QString again = waitForEveryFile(ui::flash(w.window.get()));
    QVERIFY2(again.isEmpty(), qPrintable(again));
    QVERIFY(w.messages.shown.isEmpty());
}

QUILLABRIX_WINDOW_TEST_MAIN(TestCompanion)
#include "tst_companion.moc"
