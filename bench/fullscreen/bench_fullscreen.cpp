// Full screen moves the running game's player into the full-screen window and back. How long from F6 until the
// game is painted over the whole full-screen window (and back in the panel), against loading the same movie
// afresh into a player, all in one run of the game box; and its idle memory after start-up.
//
//   bench_fullscreen [--trace] [--switches N] [--poll MS] [--movie FILE]
//     --trace        prints every new picture seen while waiting, with its time
//     --switches N   measures N switches and loads after a warm-up (10)
//     --poll MS      takes a picture every MS milliseconds (5)
//     --movie FILE   plays FILE instead of the colour clock; its colours must be among the clock's
//
// A picture is read with QWidget::grab: centre and three corners (the top right one of the full-screen window
// holds its close picture). The game fills the full-screen window only with a frame drawn at the window's size,
// since the panel's player is smaller. Back in the panel the first picture is the last full-screen frame, cut
// to the panel, so the way back is measured until the clock shows a new colour there.
#include "base/library/library.h"
#include "gameboxbench.h"
#include "player/form2.h"
#include "portalserver.h"
#include "testappfolder.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QTextStream>

#include <functional>

namespace {

using bench::formatMs;
using bench::idle;
using bench::medianMs;
using bench::report;

int switches = 10;
int pollMs = 5;
bool traceOn = false;
constexpr int dwellMs = 300; // the game plays on this long in each window

// Six colours, twelve frames a second: none of them black (the players' background), white or grey (the
// full-screen window's).
const std::vector<uint32_t> clockColours = {0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0x00ffff, 0xff00ff};

struct Picture
{
    bool fills = false; // one clock colour at the centre and the three corners
    QColor centre;
    QString described;
};

Picture look(QWidget *widget)
{
    const QImage shot = widget->grab().toImage();
    const int w = shot.width();
    const int h = shot.height();
    Picture p;
    p.centre = shot.pixelColor(w / 2, h / 2);
    p.fills = bench::isOneOf(p.centre, clockColours);
    QStringList seen{p.centre.name()};
    for (const QPoint &at : {QPoint(2, 2), QPoint(2, h - 3), QPoint(w - 3, h - 3)}) {
        const QColor c = shot.pixelColor(at);
        p.fills = p.fills && c == p.centre;
        seen << c.name();
    }
    p.described = QStringLiteral("%1x%2 %3").arg(w).arg(h).arg(seen.join(QLatin1Char(' ')));
    return p;
}

// Looks at the widget every pollMs until done(picture) holds; milliseconds since `since`, or -1 after the
// time-out. The window's own event loop runs meanwhile, as in the program.
double watch(QWidget *widget, const QElapsedTimer &since, const char *what,
             const std::function<bool(const Picture &)> &done)
{
    QString last;
    return bench::waitFor(
        since,
        [&] {
            const Picture p = look(widget);
            if (traceOn && p.described != last) {
                report(
                    QStringLiteral("    %1 %2 ms: %3").arg(QLatin1String(what)).arg(since.elapsed()).arg(p.described));
                last = p.described;
            }
            return done(p);
        },
        pollMs);
}

} // namespace

int main(int argc, char *argv[])
{
    bench::prepareWebApplication();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    traceOn = args.contains(QStringLiteral("--trace"));
    switches = qMax(1, bench::argValue(args, "--switches", switches));
    pollMs = qMax(0, bench::argValue(args, "--poll", pollMs));
    const int movieArg = args.indexOf(QStringLiteral("--movie"));
    const bool clockMovie = movieArg < 0;

    PortalServer server;
    if (!server.start()) {
        report(QStringLiteral("bench_fullscreen: the portal server did not start"));
        return 1;
    }
    TestAppFolder folder(TestAppFolder::WithLibrary);
    QDir().mkpath(folder.filePath(QStringLiteral("flash")));
    const QString game = QStringLiteral("clock.swf");
    const QString gamePath = folder.filePath(QStringLiteral("flash/") + game);
    if (!clockMovie) {
        if (!QFile::copy(args.value(movieArg + 1), gamePath)) {
            report(QStringLiteral("bench_fullscreen: cannot copy %1").arg(args.value(movieArg + 1)));
            return 1;
        }
    } else if (bench::writeColourMovie(gamePath, clockColours) < 0) {
        report(QStringLiteral("bench_fullscreen: cannot write %1").arg(gamePath));
        return 1;
    }

    Library library(folder.config().dataDir());
    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    auto window = std::make_unique<Form1>(
        std::make_unique<AppSession>(folder.config(server.baseUrl()), &library, &network, &messages, &opener));

    // Start-up: the window shown and its banner painted; then idle, as after bench_startup's start-up.
    if (!bench::startGameBox(*window)) {
        report(QStringLiteral("bench_fullscreen: the game box did not start"));
        return 1;
    }
    idle(bench::idleMs);
    const qint64 idlePss = procstats::treePssKiB(QCoreApplication::applicationPid());

    // The game, playing in the panel.
    FlashPlayer *player = window->findChild<FlashPlayer *>(QStringLiteral("flash"));
    auto *fullScreen = window->findChild<QAction *>(QStringLiteral("m_fullscreen"));
    Form2 *form2 = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<Form2 *>(w))
            form2 = candidate;
    }
    if (!player || !fullScreen || !form2) {
        report(QStringLiteral("bench_fullscreen: the window lacks its player, its menu entry or Form2"));
        return 1;
    }
    int starts = 0;
    QObject::connect(player, &FlashPlayer::movieStarted, [&] { ++starts; });
    QElapsedTimer clock;
    clock.start();
    window->show_player(gamePath, game);
    if (watch(player, clock, "panel", [&](const Picture &p) { return starts > 0 && p.fills; }) < 0) {
        report(QStringLiteral("bench_fullscreen: the game did not start in the panel"));
        return 1;
    }
    idle(dwellMs);

    // F6 and back.
    const int startsBefore = starts;
    QWebEngineView *view = player->view();
    QList<double> enterMs, backMs, backFirstMs;
    for (int i = 0; i <= switches; ++i) {
        if (traceOn)
            report(QStringLiteral("  switch %1").arg(i));
        clock.restart();
        fullScreen->trigger();
        const double in = watch(form2, clock, "full screen", [](const Picture &p) { return p.fills; });
        idle(dwellMs);
        const QColor leaving = look(form2).centre;
        clock.restart();
        form2->b_exit_Click();
        double first = -1;
        const double back = watch(player, clock, "panel", [&](const Picture &p) {
            if (p.fills && first < 0)
                first = clock.nsecsElapsed() / 1e6;
            return p.fills && (!clockMovie || p.centre != leaving);
        });
        idle(dwellMs);
        if (i > 0) {
            enterMs << in;
            backMs << back;
            backFirstMs << first;
        }
    }
    const bool samePlayer =
        player->view() == view && window->findChild<FlashPlayer *>(QStringLiteral("flash")) == player;
    const int restarts = starts - startsBefore;
    const qint64 playingPss = procstats::treePssKiB(QCoreApplication::applicationPid());

    // The same movie loaded afresh into a player of the same profile that already has its page, at the size of
    // the full-screen window, while the panel's player shows nothing: what a full-screen window with a player
    // of its own paid at each F6.
    player->setMovie(QString());
    PlayerProfile *profile = bench::profileOf(player);
    FlashPlayer *fresh = bench::newPlayer(profile, form2->size());
    int freshStarts = 0;
    QObject::connect(fresh, &FlashPlayer::movieStarted, [&] { ++freshStarts; });
    fresh->show();
    const auto blank = [&] {
        fresh->setMovie(QString());
        clock.restart();
        watch(fresh, clock, "blank", [](const Picture &p) { return p.centre == QColor(Qt::black); });
    };
    QList<double> freshStartedMs, freshPaintedMs;
    for (int i = 0; i <= switches; ++i) {
        if (traceOn)
            report(QStringLiteral("  fresh load %1").arg(i));
        // To movieStarted, with no pictures taken meanwhile.
        blank();
        int before = freshStarts;
        clock.restart();
        fresh->setMovie(gamePath);
        const double started = bench::waitFor(
            clock, [&] { return freshStarts > before; }, 0);
        // To the game filling the player, looked at as the switches are.
        blank();
        before = freshStarts;
        clock.restart();
        fresh->setMovie(gamePath);
        const double painted =
            watch(fresh, clock, "fresh", [&](const Picture &p) { return freshStarts > before && p.fills; });
        if (i > 0) {
            freshStartedMs << started;
            freshPaintedMs << painted;
        }
    }
    delete fresh;

    // A player never shown before: its page and Ruffle load with the movie, as for a full-screen window with a
    // player of its own at its first F6.
    QList<double> newPlayerMs;
    for (int i = 0; i <= switches; ++i) {
        FlashPlayer *another = bench::newPlayer(profile, form2->size());
        bool started = false;
        QObject::connect(another, &FlashPlayer::movieStarted, [&] { started = true; });
        clock.restart();
        another->setMovie(gamePath);
        another->show();
        const double at = bench::waitFor(
            clock, [&] { return started; }, 0);
        if (i > 0)
            newPlayerMs << at;
        delete another;
    }

    const double enter = medianMs(enterMs);
    const double freshStarted = medianMs(freshStartedMs);
    const double freshPainted = medianMs(freshPaintedMs);
    const double newPlayer = medianMs(newPlayerMs);
    QTextStream out(stdout);
    out << "full screen and back, the running game's player moved (median of " << switches
        << " after a warm-up; a picture every " << pollMs << " ms)\n";
    out << QStringLiteral("  F6 -> game fills the full-screen window:      %1 (target at most 300 ms)\n")
               .arg(formatMs(enter));
    out << QStringLiteral("  close -> first picture filling the panel:     %1 (the last full-screen frame)\n")
               .arg(formatMs(medianMs(backFirstMs)));
    if (clockMovie)
        out << QStringLiteral("  close -> the clock moves on in the panel:     %1\n").arg(formatMs(medianMs(backMs)));
    out << QStringLiteral("  game started again meanwhile:                 %1 times; same player and page: %2\n")
               .arg(restarts)
               .arg(samePlayer ? QStringLiteral("yes") : QStringLiteral("no"));
    out << "the same movie loaded afresh (median of " << switches << ", same profile, full-screen size)\n";
    out << QStringLiteral("  player with its page, setMovie -> movieStarted:  %1\n").arg(formatMs(freshStarted));
    out << QStringLiteral("  player with its page, setMovie -> game fills it: %1\n").arg(formatMs(freshPainted));
    out << QStringLiteral("  new player, setMovie + show -> movieStarted:     %1\n").arg(formatMs(newPlayer));
    const auto ratio = [enter](double to) { return QStringLiteral("%1").arg(to > 0 ? enter / to : 0, 0, 'f', 2); };
    out << QStringLiteral("  F6 / fresh load: %1 to movieStarted, %2 to filled, %3 to a new player's start"
                          " (target at most 0.33)\n")
               .arg(ratio(freshStarted), ratio(freshPainted), ratio(newPlayer));
    out << "memory: PSS of the process tree\n";
    out << QStringLiteral("  idle after start-up:                          %1 MiB\n").arg(idlePss / 1024.0, 0, 'f', 0);
    out << QStringLiteral("  game playing, after the switches:             %1 MiB\n")
               .arg(playingPss / 1024.0, 0, 'f', 0);
    out.flush();

    window->close();
    window.reset();
    return 0;
}
