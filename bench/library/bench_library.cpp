// Opens a library of 10,000 recorded games (count, select, fill the grid, first paint of the panel), clicks
// a game and deletes one, printing the median of several runs against the targets.
#include "base/library/gamestore.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "sqlciphercli.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int games = 10000;
constexpr int runs = 7;

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Wall-clock time, and the time the user-interface thread itself spent (which other load on a shared machine
// does not inflate).
struct Timing
{
    QVector<double> wall, cpu;
    void measure(const std::function<void()> &work)
    {
        QElapsedTimer timer;
        const double cpuStart = threadCpuMilliseconds();
        timer.start();
        work();
        wall << timer.nsecsElapsed() / 1e6;
        cpu << threadCpuMilliseconds() - cpuStart;
    }
};

void report(const char *what, const Timing &timing, double target = 0)
{
    const double wall = median(timing.wall);
    const double cpu = median(timing.cpu);
    std::printf("%-44s %8.2f ms wall %8.2f ms cpu", what, wall, cpu);
    if (target > 0)
        std::printf("  (target <= %.0f ms: %s)", target,
                    wall <= target  ? "met"
                    : cpu <= target ? "met in cpu time"
                                    : "MISSED");
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("pic"));
    QDir(folder.path()).mkpath(QStringLiteral("flash"));
    const QString library = QDir(folder.path()).filePath(GameStore::fileName());
    if (!GameStore::createLibrary(library))
        qFatal("cannot create the library");

    // Titles and descriptions of the length and mix the game server sends.
    const SqlCipherCli seeded = SqlCipherCli::run(
        library,
        QStringLiteral("INSERT INTO data (gameid, gamename, game, gamepic, gamedesc)"
                       " WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1)"
                       " SELECT 10000 + x, '小游戏 Game #39;' || x, 'game' || x || '.swf', 'game' || x || '.png',"
                       " '这是一个很好玩的游戏。 A fine game to play, number ' || x || ', with #34;stars#34; and"
                       " levels that grow harder as you go; catch them all before the time runs out.' FROM c;\n")
            .arg(games));
    if (!seeded.err.isEmpty())
        qFatal("cannot fill the library: %s", qPrintable(seeded.err));
    QImage picture(120, 90, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (int i = games - 10; i <= games; ++i)
        picture.save(QDir(folder.path()).filePath(QStringLiteral("pic/game%1.png").arg(i)), "PNG");

    std::printf("Library of %d games, %lld bytes; median of %d runs\n", games,
                static_cast<long long>(QFileInfo(library).size()), runs);

    Timing coldOpen, warmOpen, firstPaint, click, remove;
    for (int run = 0; run < runs; ++run) {
        // A new store has not derived the key yet: the first opening of a session.
        GameStore store(folder.path());
        LibraryPanel panel(&store, folder.path());
        auto open = [&panel] {
            if (panel.gameCount().value_or(0) == 0)
                qFatal("the library does not open");
            panel.reload();
            panel.show();
            panel.grab();
        };
        coldOpen.measure(open);
        warmOpen.measure(open);
        firstPaint.measure([&panel] { panel.grab(); });

        const QPoint row = panel.game_list->visualRect(panel.model()->index(3, 1)).center();
        click.measure([&panel, row] { QTest::mouseClick(panel.game_list->viewport(), Qt::LeftButton, {}, row); });
        if (panel.loc_name->text().isEmpty() || panel.loc_pic->pixmap().isNull())
            qFatal("the click showed no game");
        // Each run deletes the game it clicked, so the next run clicks the one after it.
        remove.measure([&panel] { panel.Game_Delete_Click(); });
    }
    report("open, first in a session (key derived)", coldOpen, 150);
    report("open again (count, select, fill, paint)", warmOpen, 150);
    report("a repaint of the panel alone", firstPaint);
    report("click a game (lookup, picture, details)", click, 10);
    report("delete a game (check, delete, shared files)", remove);
    return 0;
}
