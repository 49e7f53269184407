// The time to play: from a click on Play in the library to the first picture that shows the game, for a movie
// of 1 MB, against a fresh player view loading the same movie, all in one run of the game box.
//
//   bench_play [--trace] [--windows N] [--plays N] [--rest MS] [--poll MS] [--size BYTES]
//     --trace       prints every new picture seen while waiting, with its time
//     --windows N   measures the first play after start-up in N windows started one after the other (3)
//     --plays N     then measures N more plays and N fresh views after a warm-up one (10)
//     --rest MS     waits MS milliseconds between opening the library and Play (1000)
//     --poll MS     takes a picture every MS milliseconds (5)
//     --size BYTES  the movie's size (1048576)
//
// A picture is read with QWidget::grab at the player's centre: the game is shown once it has one of the movie's
// colours there (the player shows black before). The first play after start-up is given apart: the panel's
// player has never been shown then.
#include "base/library/gamestore.h"
#include "base/library/library.h"
#include "gameboxbench.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "portalserver.h"
#include "testappfolder.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTableView>
#include <QTextStream>

namespace {

using bench::formatMs;
using bench::idle;
using bench::medianMs;
using bench::report;

int plays = 10;
int windows = 3;
int pollMs = 5;
bool traceOn = false;
int restMs = 1000; // between opening the library and Play, as a user picks a game

// Two movies of disjoint colours, played in turn: a picture left over from the movie played before never
// counts as the new one's first frame.
const std::vector<uint32_t> movieColours[2] = {{0xff0000, 0x00ff00, 0x0000ff}, {0xffff00, 0x00ffff, 0xff00ff}};

bool showsTheGame(QWidget *player, int movie)
{
    const QImage shot = player->grab().toImage();
    const QColor c = shot.pixelColor(shot.width() / 2, shot.height() / 2);
    if (bench::isOneOf(c, movieColours[movie]))
        return true;
    if (traceOn)
        report(QStringLiteral("    %1").arg(c.name()));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::prepareWebApplication();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    traceOn = args.contains(QStringLiteral("--trace"));
    plays = qMax(1, bench::argValue(args, "--plays", plays));
    windows = qMax(1, bench::argValue(args, "--windows", windows));
    restMs = qMax(0, bench::argValue(args, "--rest", restMs));
    pollMs = qMax(0, bench::argValue(args, "--poll", pollMs));
    const int size = qMax(0, bench::argValue(args, "--size", 1024 * 1024));

    PortalServer server;
    if (!server.start()) {
        report(QStringLiteral("bench_play: the portal server did not start"));
        return 1;
    }
    TestAppFolder folder(TestAppFolder::WithLibrary);
    QDir().mkpath(folder.filePath(QStringLiteral("flash")));
    QString gamePaths[2];
    qint64 movieBytes = 0;
    GameStore store(folder.path());
    for (int movie = 0; movie < 2; ++movie) {
        const QString game = QStringLiteral("big%1.swf").arg(movie);
        gamePaths[movie] = folder.filePath(QStringLiteral("flash/") + game);
        movieBytes = bench::writeColourMovie(gamePaths[movie], movieColours[movie], std::size_t(size));
        if (movieBytes < 0) {
            report(QStringLiteral("bench_play: cannot write %1").arg(gamePaths[movie]));
            return 1;
        }
        if (!store.insert(QString::number(movie + 1), game, game, QString(), QString())) {
            report(QStringLiteral("bench_play: cannot record the movie in the library"));
            return 1;
        }
    }

    Library gameLibrary(folder.config().dataDir());
    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<Form1> window;
    FlashPlayer *player = nullptr;
    LibraryPanel *library = nullptr;
    int starts = 0;
    // A window started, its banner painted, then idle, as after bench_startup's start-up.
    const auto startWindow = [&] {
        window = std::make_unique<Form1>(
            std::make_unique<AppSession>(folder.config(server.baseUrl()), &gameLibrary, &network, &messages, &opener));
        if (!bench::startGameBox(*window))
            return false;
        idle(bench::idleMs);
        player = window->findChild<FlashPlayer *>(QStringLiteral("flash"));
        library = window->findChild<LibraryPanel *>();
        if (player)
            QObject::connect(player, &FlashPlayer::movieStarted, [&] { ++starts; });
        return player && library;
    };
    // One play of a movie: the library opened and the movie's row chosen (the newest, big1, is the first row), a
    // rest, then Play; until the first picture of the movie, and until movieStarted.
    const auto play = [&](int movie, double *startedMs) {
        window->b_local_Click();
        QTableView *grid = library->findChild<QTableView *>(QStringLiteral("game_list"));
        grid->setCurrentIndex(grid->model()->index(movie == 1 ? 1 : 2, GameListModel::GameColumn));
        library->game_list_Click();
        idle(restMs);
        const int before = starts;
        clock.restart();
        library->findChild<QPushButton *>(QStringLiteral("Game_Play"))->click();
        if (traceOn)
            report(QStringLiteral("    the click returned after %1 ms").arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));
        const double shownAt = bench::waitFor(
            clock, [&] { return showsTheGame(player, movie); }, pollMs);
        *startedMs = bench::waitFor(
            clock, [&] { return starts > before; }, 0);
        return shownAt;
    };
    // The first play of each of a few windows, each window started anew.
    QList<double> firstMs, firstStartedMs;
    for (int run = 0; run < windows; ++run) {
        if (!startWindow()) {
            report(QStringLiteral("bench_play: the game box did not start with its player and library"));
            return 1;
        }
        double started = -1;
        firstMs << play(0, &started);
        firstStartedMs << started;
        if (run + 1 < windows) {
            window->close();
            window.reset();
        }
    }
    QList<double> playMs, playStartedMs;
    for (int i = 0; i < plays; ++i) {
        if (traceOn)
            report(QStringLiteral("  play %1").arg(i));
        double started = -1;
        playMs << play((i + 1) % 2, &started);
        playStartedMs << started;
    }
    const QSize playerSize = player->size();

    // A fresh player view of the same profile loading the same movie at the same size, the panel's player
    // showing the library meanwhile.
    window->b_local_Click();
    PlayerProfile *profile = bench::profileOf(player);
    QList<double> freshMs, freshStartedMs;
    for (int i = 0; i <= plays; ++i) {
        if (traceOn)
            report(QStringLiteral("  fresh view %1").arg(i));
        FlashPlayer *fresh = bench::newPlayer(profile, playerSize);
        bool started = false;
        QObject::connect(fresh, &FlashPlayer::movieStarted, [&] { started = true; });
        idle(restMs);
        clock.restart();
        fresh->setMovie(gamePaths[i % 2]);
        fresh->show();
        const double at = bench::waitFor(
            clock, [&] { return showsTheGame(fresh, i % 2); }, pollMs);
        const double startedAt = bench::waitFor(
            clock, [&] { return started; }, 0);
        if (i > 0) {
            freshMs << at;
            freshStartedMs << startedAt;
        }
        delete fresh;
    }

    const double warm = medianMs(playMs);
    const double freshView = medianMs(freshMs);
    QTextStream out(stdout);
    out << "time to play a movie of " << movieBytes << " bytes (a picture every " << pollMs << " ms)\n";
    const double first = medianMs(firstMs);
    QStringList each;
    for (double v : firstMs)
        each << formatMs(v);
    out << QStringLiteral("  Play -> the game's first frame shown, first play after start-up, median of %1: %2"
                          " (movieStarted %3; each: %4)\n")
               .arg(windows)
               .arg(formatMs(first), formatMs(medianMs(firstStartedMs)), each.join(QStringLiteral(", ")));
    out << QStringLiteral("  Play -> the game's first frame shown, median of %1 later plays: %2 (movieStarted %3)"
                          " (target at most 200 ms)\n")
               .arg(plays)
               .arg(formatMs(warm), formatMs(medianMs(playStartedMs)));
    out << QStringLiteral("  fresh player view, setMovie + show -> first frame shown, median of %1: %2"
                          " (movieStarted %3)\n")
               .arg(plays)
               .arg(formatMs(freshView), formatMs(medianMs(freshStartedMs)));
    out << QStringLiteral("  Play / fresh view: %1 later, %2 first (target at most 1.2)\n")
               .arg(freshView > 0 ? warm / freshView : 0, 0, 'f', 2)
               .arg(freshView > 0 ? first / freshView : 0, 0, 'f', 2);
    out.flush();

    window->close();
    window.reset();
    return 0;
}
