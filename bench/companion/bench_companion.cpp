// The time a game takes to load the files beside its movie: a movie asking for 200 files of 50 KB at once, from
// its first frame until the last has arrived, (a) at its first play from the portal on 127.0.0.1 through the
// game box, (b) in a plain page of Ruffle loading the same movie straight from the same server, and (c) played
// again from the library with the server stopped.
//
//   bench_companion [--runs N] [--poll MS] [--trace]
//     --runs N    measures each way N times, each first play in a fresh application folder (5)
//     --poll MS   takes a picture every MS milliseconds (5)
//     --trace     prints each run's figures as it ends
//
// The movie (companionbench) shows grey until every file has come whole, then green; red when one failed. Its
// first frame is the first grey picture; the time from the user's action (the portal's link, Play, the page's
// load) to green is printed beside.
#include "base/library/library.h"
#include "gameboxbench.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "portalserver.h"
#include "testappfolder.h"
#include "testfiles.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <memory>

namespace {

using bench::formatMs;
using bench::medianMs;
using bench::report;

constexpr int files = 200;
constexpr int fileBytes = 50 * 1024;
const QString movieName = QStringLiteral("companionbench");
const QColor waiting(0x80, 0x80, 0x80);
const QColor done(0x00, 0xff, 0x00);
const QColor failed(0xff, 0x00, 0x00);

int pollMs = 5;

// One way of playing, timed from the user's action: the movie's first frame and its last file.
struct Times
{
    double firstFrameMs = -1;
    double lastFileMs = -1;
    bool failed = false;
    double filesMs() const { return firstFrameMs >= 0 && lastFileMs >= 0 ? lastFileMs - firstFrameMs : -1; }
};

// Waits, from clock's start, for the movie's first frame (grey, or `started` once set when the grey passed
// between two pictures) and then for its last file (green).
Times timeMovie(QWidget *view, const QElapsedTimer &clock, const bool *started = nullptr)
{
    Times t;
    const auto colour = [view] {
        const QImage shot = view->grab().toImage();
        return shot.pixelColor(shot.width() / 2, shot.height() / 2);
    };
    t.firstFrameMs = bench::waitFor(
        clock, [&] { return near(colour(), waiting) || (started && *started); }, pollMs);
    t.lastFileMs = bench::waitFor(
        clock,
        [&] {
            const QColor c = colour();
            t.failed = near(c, failed);
            return near(c, done) || t.failed;
        },
        pollMs);
    if (t.failed)
        t.lastFileMs = -1;
    return t;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(file));
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

// The portal's games folder: the movie and its files, and a plain page of Ruffle (not a game: no movie of its own)
// that plays the movie with its relative requests resolved beside it, as a web site embeds a game.
bool makeGamesFolder(const QString &folder)
{
    const QDir built(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("../testmovies")));
    const QDir games(folder);
    if (!QFile::copy(built.filePath(movieName + QStringLiteral(".swf")),
                     games.filePath(movieName + QStringLiteral(".swf"))) ||
        !games.mkpath(movieName) || !games.mkpath(QStringLiteral("plain")))
        return false;
    QRandomGenerator random(20240601);
    QByteArray bytes(fileBytes, Qt::Uninitialized);
    for (int i = 0; i < files; ++i) {
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), fileBytes / 4);
        QFile file(games.filePath(QStringLiteral("%1/%2.bin").arg(movieName).arg(i, 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != fileBytes)
            return false;
    }
    QFile page(games.filePath(QStringLiteral("plain/page.html")));
    return copyTree(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("ruffle")),
                    games.filePath(QStringLiteral("plain/ruffle"))) &&
           page.open(QIODevice::WriteOnly) &&
           page.write(R"(<!doctype html><html><head><style>body { margin: 0; background: #000; overflow: hidden; }
ruffle-player { width: 100vw; height: 100vh; display: block; }</style><script src="ruffle/ruffle.js"></script></head>
<body><script>
window.RufflePlayer.config = {autoplay: "on", unmuteOverlay: "hidden", splashScreen: false, letterbox: "on"};
const player = window.RufflePlayer.newest().createPlayer();
document.body.appendChild(player);
const movie = new URL("../companionbench.swf", location.href);
player.load({url: movie.href, base: new URL(".", movie).href});
</script></body></html>
)") > 0;
}

// The game box's first play of the game from the portal's link, then its play from the library with the server
// stopped; false when the window did not start.
bool timeGameBox(PortalServer &server, const QString &games, Times *first, Times *offline, QSize *playerSize)
{
    if (!server.start({QStringLiteral("--games"), games}))
        return false;
    TestAppFolder folder(TestAppFolder::WithLibrary);
    Library gameLibrary(folder.config().dataDir());
    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    Form1 window(
        std::make_unique<AppSession>(folder.config(server.baseUrl()), &gameLibrary, &network, &messages, &opener));
    if (!bench::startGameBox(window))
        return false;
    bench::idle(bench::idleMs);
    auto *player = window.findChild<FlashPlayer *>(QStringLiteral("flash"));
    auto *library = window.findChild<LibraryPanel *>();
    if (!player || !library)
        return false;
    bool started = false;
    QObject::connect(player, &FlashPlayer::movieStarted, &window, [&] { started = true; });

    QElapsedTimer clock;
    clock.start();
    window.Web_V2_NewWindow(server.url(QStringLiteral("game.asp?id=101")));
    *first = timeMovie(player, clock, &started);
    *playerSize = player->size();

    server.stop();
    window.b_local_Click();
    const GameListModel *model = library->model();
    QTableView *grid = library->findChild<QTableView *>(QStringLiteral("game_list"));
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->isGameRow(row))
            grid->setCurrentIndex(model->index(row, GameListModel::GameColumn));
    }
    library->game_list_Click();
    bench::idle(1000);
    started = false;
    clock.restart();
    library->findChild<QPushButton *>(QStringLiteral("Game_Play"))->click();
    *offline = timeMovie(player, clock, &started);
    window.close();
    return true;
}

// How often the server was asked for the movie's first file.
int firstFileRequests(QNetworkAccessManager &network, const PortalServer &server)
{
    return testfiles::httpGet(network, server.url(QStringLiteral("stats?path=/movies/%1/000.bin").arg(movieName)))
        .toInt();
}

// A plain page of Ruffle loading the movie from the server, in a web profile that every such page shares (so that
// the page's renderer is as warm as the game box's player); the files are not kept fresh in its cache (the portal
// sends no freshness), and a run whose first file did not reach the server counts as failed.
Times timePlainPage(QWebEngineProfile *profile, const PortalServer &server, const QSize &size)
{
    QNetworkAccessManager network;
    const int before = firstFileRequests(network, server);
    auto view = std::make_unique<QWebEngineView>();
    view->setPage(new QWebEnginePage(profile, view.get()));
    view->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view->resize(size);
    view->show();
    QElapsedTimer clock;
    clock.start();
    view->load(server.url(QStringLiteral("movies/plain/page.html")));
    Times t = timeMovie(view.get(), clock);
    if (firstFileRequests(network, server) != before + 1) {
        t.failed = true;
        t.lastFileMs = -1;
    }
    return t;
}

QString ratio(double a, double b)
{
    return a > 0 && b > 0 ? QString::number(a / b, 'f', 2) : QStringLiteral("-");
}

} // namespace

int main(int argc, char *argv[])
{
    bench::prepareWebApplication();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    const int runs = qMax(1, bench::argValue(args, "--runs", 5));
    pollMs = qMax(0, bench::argValue(args, "--poll", pollMs));
    const bool trace = args.contains(QStringLiteral("--trace"));

    QTemporaryDir games;
    if (!makeGamesFolder(games.path())) {
        report(QStringLiteral("bench_companion: cannot make the games folder in %1").arg(games.path()));
        return 1;
    }
    const auto line = [](const Times &t) {
        return QStringLiteral("first frame %1, last file %2, files %3%4")
            .arg(formatMs(t.firstFrameMs), formatMs(t.lastFileMs), formatMs(t.filesMs()),
                 t.failed ? QStringLiteral(" (a file failed)") : QString());
    };

    PortalServer server;
    QList<Times> firsts, offlines, plains;
    QSize playerSize(550, 400);
    for (int run = 0; run < runs; ++run) {
        Times first, offline;
        if (!timeGameBox(server, games.path(), &first, &offline, &playerSize)) {
            report(QStringLiteral("bench_companion: the game box did not start against the portal"));
            return 1;
        }
        firsts << first;
        offlines << offline;
        if (trace)
            report(QStringLiteral("  run %1: first play: %2; offline: %3").arg(run).arg(line(first), line(offline)));
    }
    if (!server.start({QStringLiteral("--games"), games.path()})) {
        report(QStringLiteral("bench_companion: the portal server did not start"));
        return 1;
    }
    // One page first, as the game box's runs had Ruffle compiled before their first frame.
    QWebEngineProfile plainProfile; // off the record: its cache is in memory
    timePlainPage(&plainProfile, server, playerSize);
    for (int run = 0; run < runs; ++run) {
        plains << timePlainPage(&plainProfile, server, playerSize);
        if (trace)
            report(QStringLiteral("  run %1: plain page: %2").arg(run).arg(line(plains.last())));
    }

    const auto medianOf = [](const QList<Times> &all, double (*pick)(const Times &)) {
        QList<double> values;
        for (const Times &t : all)
            values << pick(t);
        return medianMs(values);
    };
    const auto filesTime = [](const Times &t) { return t.filesMs(); };
    const auto total = [](const Times &t) { return t.lastFileMs; };
    const double first = medianOf(firsts, filesTime), plain = medianOf(plains, filesTime),
                 offline = medianOf(offlines, filesTime);
    bool allLoaded = true;
    for (const QList<Times> *all : {&firsts, &plains, &offlines}) {
        for (const Times &t : *all)
            allLoaded = allLoaded && t.filesMs() >= 0;
    }

    QTextStream out(stdout);
    out << QStringLiteral("a movie loading %1 files of %2 KB beside it, from its first frame to its last file"
                          " (median of %3 runs; a picture every %4 ms)\n")
               .arg(files)
               .arg(fileBytes / 1024)
               .arg(runs)
               .arg(pollMs);
    out << QStringLiteral("  (a) game box, first play from the portal on 127.0.0.1: %1 (from the portal's link: %2)\n")
               .arg(formatMs(first), formatMs(medianOf(firsts, total)));
    out << QStringLiteral("  (b) plain page of Ruffle, straight from the server:    %1 (from the page's load: %2)\n")
               .arg(formatMs(plain), formatMs(medianOf(plains, total)));
    out << QStringLiteral("  (c) game box, played again with the server stopped:  %1 (from Play: %2)\n")
               .arg(formatMs(offline), formatMs(medianOf(offlines, total)));
    out << QStringLiteral("  first play / plain page: %1 (target at most 1.2)\n").arg(ratio(first, plain));
    out << QStringLiteral("  offline / first play:    %1 (target at most 1.0)\n").arg(ratio(offline, first));
    if (!allLoaded)
        out << "  WARNING: a run did not load every file whole\n";
    out.flush();
    return allLoaded ? 0 : 1;
}
