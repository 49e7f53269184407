// A large library in use: opening it (count, select, fill the grid, first paint), a keystroke in the search
// field and a click on the title row until the grid is repainted, a click on a game, a deletion, the memory the
// open library takes, and adding a thousand movies of the user's own. First, once: the time and memory that
// showing games with large pictures takes, and a picture bomb. For each size given (10,000 and 100,000
// games unless told otherwise) it prints the median of several runs against the targets.
//
//     bench_library [--runs R] [N...]
#include "seededlibrary.h"

#include "base/library/library.h"
#include "library/gameadder.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "procstats.h"
#include "recordingmessagebox.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int addedMovies = 1000;
constexpr int movieBytes = 10 * 1024;
constexpr int addRuns = 5;

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
    QList<double> wall, cpu;
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

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

void report(const QString &what, const Timing &timing, double target = 0)
{
    const double wall = procstats::median(timing.wall);
    const double cpu = procstats::median(timing.cpu);
    std::printf("  %-56s %9.2f ms wall %9.2f ms cpu", qPrintable(what), wall, cpu);
    if (target > 0)
        std::printf("  (target <= %.0f ms: %s)", target,
                    wall <= target  ? "met"
                    : cpu <= target ? "met in cpu time"
                                    : "MISSED");
    std::printf("\n");
}

// Resident and proportional set size of this process, in KiB.
struct Memory
{
    qint64 rss = 0;
    qint64 pss = 0;
    static Memory now()
    {
        Memory memory;
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    memory.rss = line.mid(6).trimmed().split(' ').value(0).toLongLong();
            }
        }
        memory.pss = procstats::treePssKiB(getpid());
        return memory;
    }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) : m_widget(widget) { widget->installEventFilter(this); }
    int paints = 0;
    int forced = 0;

    // Runs what the last input queued (the grid's layout, its repaint); a grid the event loop did not repaint
    // is painted now, so that the figure always holds a paint.
    void untilPainted(int paintsBefore)
    {
        QApplication::processEvents();
        if (paints == paintsBefore) {
            ++forced;
            m_widget->grab();
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QWidget *m_widget;
};

// The parts of an opening, each timed on its own when asked.
struct OpenParts
{
    Timing count, fill, paint;
};

void openPanel(LibraryPanel &panel, OpenParts *parts = nullptr)
{
    OpenParts unused;
    OpenParts &timed = parts ? *parts : unused;
    timed.count.measure([&panel] {
        if (panel.gameCount().value_or(0) == 0)
            qFatal("the library does not open");
    });
    timed.fill.measure([&panel] { panel.reload(); });
    timed.paint.measure([&panel] {
        panel.show();
        panel.grab();
    });
}

// The grid as a run starts: every game, newest first, scrolled to the top, nothing pending.
void resetGrid(LibraryPanel &panel)
{
    panel.findChild<QLineEdit *>(QStringLiteral("game_search"))->clear();
    panel.model()->setSort(GameIndex::defaultSort());
    panel.findChild<QTableView *>(QStringLiteral("game_list"))->scrollToTop();
    QApplication::processEvents();
}

QPoint cellCentre(LibraryPanel &panel, int row, int column)
{
    return panel.findChild<QTableView *>(QStringLiteral("game_list"))
        ->visualRect(panel.model()->index(row, column))
        .center();
}

// Writes count distinct uncompressed movies of movieBytes each: signature, version, length, then a body.
void writeMovies(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QByteArray movie("FWS");
        movie += char(10);
        for (int shift = 0; shift < 32; shift += 8)
            movie += char((quint32(movieBytes) >> shift) & 0xFF);
        movie += QByteArray::number(i).rightJustified(8, '0');
        quint32 state = 2166136261U ^ quint32(i);
        while (movie.size() < movieBytes) {
            state = state * 1664525U + 1013904223U;
            movie += char(state >> 24);
        }
        QFile file(QDir(folder).filePath(QStringLiteral("movie%1.swf").arg(i, 4, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(movie) != movie.size())
            qFatal("cannot write the movies");
    }
}

void emptyFolder(const QString &path)
{
    QDir folder(path);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(name);
}

// Opens a panel over a tiny library and lets it paint: what the first window of the process loads (fonts,
// style, the cipher) is not counted as the library's.
void warmUp()
{
    QTemporaryDir folder;
    SeededLibrary::write(folder.path(), 20);
    Library library(folder.path());
    RecordingMessageBox messages;
    LibraryPanel panel(&library, &messages, QDir(folder.path()).filePath(QStringLiteral("no.gif")));
    openPanel(panel);
    QApplication::processEvents();
}

void benchmark(int games, int runs)
{
    QTemporaryDir folder;
    const SeededLibrary seeded = SeededLibrary::write(folder.path(), games);
    std::printf("\nLibrary of %d games, %.1f MiB, seeded in %.0f ms; median of %d runs (adding: %d)\n", games,
                seeded.fileBytes / 1048576.0, seeded.seedMilliseconds, runs, addRuns);

    // Opening, each run with a library of its own: the first opening also derives the key.
    Timing coldOpen, warmOpen, repaint, indexing;
    OpenParts parts;
    Memory before, opened;
    qint64 indexBytes = 0;
    for (int run = 0; run < runs; ++run) {
        if (run == 0) {
            malloc_trim(0);
            before = Memory::now();
        }
        Library library(folder.path());
        RecordingMessageBox messages;
        LibraryPanel panel(&library, &messages, QDir(folder.path()).filePath(QStringLiteral("no.gif")));
        coldOpen.measure([&panel] { openPanel(panel); });
        // What filtering and sorting need is read after the first paint, in parts between other events.
        indexing.measure([&panel] {
            while (!panel.model()->isIndexReady())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
        if (run == 0) {
            opened = Memory::now();
            indexBytes = panel.model()->gameIndex().memoryBytes();
        }
        warmOpen.measure([&panel, &parts] { openPanel(panel, &parts); });
        repaint.measure([&panel] { panel.grab(); });
    }
    report(QStringLiteral("open, first in a session (key derived)"), coldOpen, 150);
    report(QStringLiteral("open again (count, select, fill, first paint)"), warmOpen, 150);
    report(QStringLiteral("  then the search index, read in the background"), indexing);
    report(QStringLiteral("  of which count (open_db, count)"), parts.count);
    report(QStringLiteral("  of which select and fill (reload: ids, first rows)"), parts.fill);
    report(QStringLiteral("  of which first paint (show, grab)"), parts.paint);
    report(QStringLiteral("a repaint of the panel alone"), repaint);
    const double addedMiB = (opened.rss - before.rss) / 1024.0;
    std::printf("  %-56s %9.1f MiB RSS %8.1f MiB PSS  (target <= 80 MiB: %s)\n", "memory the open library adds",
                addedMiB, (opened.pss - before.pss) / 1024.0, verdict(addedMiB <= 80));
    std::printf("  %-56s %9.1f MiB\n", "  of which the game index (GameIndex::memoryBytes)", indexBytes / 1048576.0);

    // One panel for the rest, as the user has it open.
    Library library(folder.path());
    RecordingMessageBox messages;
    LibraryPanel panel(&library, &messages, QDir(folder.path()).filePath(QStringLiteral("no.gif")));
    openPanel(panel);
    while (!panel.model()->isIndexReady())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QWidget *viewport = panel.findChild<QTableView *>(QStringLiteral("game_list"))->viewport();
    PaintCounter painted(viewport);

    // A click on the fourth game, then its deletion; the next run clicks the game that took its row.
    Timing click, remove;
    for (int run = 0; run < runs; ++run) {
        resetGrid(panel);
        const QPoint row = cellCentre(panel, 4, GameListModel::GameColumn);
        click.measure([&] {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, row);
            QApplication::processEvents();
        });
        if (panel.findChild<QLabel *>(QStringLiteral("loc_name"))->text().isEmpty() ||
            panel.findChild<QLabel *>(QStringLiteral("loc_pic"))->pixmap().isNull())
            qFatal("the click showed no game");
        remove.measure([&panel] { panel.Game_Delete_Click(); });
        if (!panel.findChild<QLabel *>(QStringLiteral("loc_name"))->text().isEmpty())
            qFatal("the game was not deleted");
    }
    report(QStringLiteral("click a game (lookup, picture, details painted)"), click, 5);
    report(QStringLiteral("delete a game (check, delete, shared files)"), remove);

    // Keystrokes in the search field, each until the grid shows its outcome.
    auto keystroke = [&](const QString &typedBefore, QChar key, int expected) {
        const int shown = int(panel.model()->gameIndex().select(typedBefore + key, GameIndex::defaultSort()).size());
        if (expected >= 0 && shown != expected)
            qFatal("\"%s\" matches %d games, not %d", qPrintable(typedBefore + key), shown, expected);
        Timing timing;
        for (int run = 0; run < runs; ++run) {
            resetGrid(panel);
            panel.findChild<QLineEdit *>(QStringLiteral("game_search"))->setText(typedBefore);
            QApplication::processEvents();
            const int paintsBefore = painted.paints;
            timing.measure([&] {
                QTest::keyClick(panel.findChild<QLineEdit *>(QStringLiteral("game_search")), key.toLatin1());
                painted.untilPainted(paintsBefore);
            });
            if (panel.model()->shownGames() != shown)
                qFatal("\"%s\" shows %d games, not %d",
                       qPrintable(panel.findChild<QLineEdit *>(QStringLiteral("game_search"))->text()),
                       panel.model()->shownGames(), shown);
        }
        return std::make_pair(timing, shown);
    };
    const int left = panel.model()->totalGames();
    const QString search = seeded.search;
    const auto [few, fewShown] = keystroke(search.left(2), search.at(2), -1);
    report(
        QStringLiteral("type \"%1\" after \"%2\" (%3 games shown)").arg(search.right(1), search.left(2)).arg(fewShown),
        few, 30);
    report(QStringLiteral("type \"%1\" after \"%2\" (no game shown)").arg(seeded.matchesNone).arg(search),
           keystroke(search, seeded.matchesNone, 0).first, 30);
    report(QStringLiteral("type \"%1\" in the empty field (all %2 games shown)").arg(seeded.matchesAll).arg(left),
           keystroke(QString(), seeded.matchesAll, left).first, 30);

    // A click on the title row's "Game" cell sorts by title.
    Timing sort;
    for (int run = 0; run < runs; ++run) {
        resetGrid(panel);
        const QPoint title = cellCentre(panel, GameListModel::TitleRow, GameListModel::GameColumn);
        const int paintsBefore = painted.paints;
        sort.measure([&] {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, title);
            painted.untilPainted(paintsBefore);
        });
        if (panel.model()->sort() != GameIndex::Sort{GameIndex::SortKey::Title, Qt::AscendingOrder})
            qFatal("the click did not sort by title");
    }
    report(QStringLiteral("click the title row's \"Game\" cell (sort by title)"), sort, 100);
    if (painted.forced > 0)
        std::printf("  (%d of the grid's paints above were forced: the event loop had not painted it)\n",
                    painted.forced);

    // Adding a folder of the user's movies, a progress dialog showing, into an empty flash folder each run.
    const QString movies = QDir(folder.path()).filePath(QStringLiteral("movies"));
    writeMovies(movies, addedMovies);
    Timing add, relist;
    QList<double> longestBlock, finalBlock;
    for (int run = 0; run < addRuns; ++run) {
        resetGrid(panel);
        emptyFolder(QDir(folder.path()).filePath(QStringLiteral("flash")));
        messages.shown.clear();
        auto *adder = new GameAdder(&library, &messages, &panel);
        QEventLoop loop;
        int recorded = -1;
        bool sawProgress = false;
        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 longest = 0;
        qint64 atFinish = 0; // the last stretch: the batch recorded in the library on this thread
        auto tick = [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = qMax(longest, now - lastTick);
            lastTick = now;
        };
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, &loop, tick);
        QObject::connect(adder, &GameAdder::finished, &loop, [&](int count) {
            atFinish = clock.nsecsElapsed() - lastTick;
            tick();
            recorded = count;
            loop.quit();
        });
        add.measure([&] {
            clock.start();
            ticker.start();
            adder->add({movies});
            sawProgress = panel.findChild<QProgressDialog *>() != nullptr;
            if (recorded < 0)
                loop.exec();
            ticker.stop();
        });
        if (!sawProgress)
            qFatal("no progress was shown");
        longestBlock << longest / 1e6;
        finalBlock << atFinish / 1e6;
        if (recorded != addedMovies || !messages.shown.isEmpty())
            qFatal("%d of %d movies were recorded: %s", recorded, addedMovies,
                   qPrintable(messages.texts().join(QLatin1Char(' '))));
        delete adder;
        // What the window does next: the library shows what came in.
        relist.measure([&panel] {
            panel.reload();
            panel.grab();
        });
    }
    report(QStringLiteral("add %1 movies of %2 KB (until finished)").arg(addedMovies).arg(movieBytes / 1024), add,
           5000);
    std::printf("  %-56s %9.2f ms  (target <= 50 ms: %s)\n", "  the event loop blocked at most",
                procstats::median(longestBlock), verdict(procstats::median(longestBlock) <= 50));
    std::printf("  %-56s %9.2f ms\n", "    of which the end (recording the games, until finished)",
                procstats::median(finalBlock));
    report(QStringLiteral("  then the library listed anew (reload, paint)"), relist);
}

// Walks through games whose pictures are large, as a user with the arrow keys would, then shows a game whose
// picture is a bomb: a small file that decodes to a picture of 5700 by 5700.
void viewingBigPictures()
{
    constexpr int games = SeededLibrary::pictures;
    constexpr int side = 2048;
    QTemporaryDir folder;
    SeededLibrary::write(folder.path(), games);
    QImage big(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<QRgb *>(big.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qRgb(x * 255 / side, y * 255 / side, (x ^ y) & 0xFF);
    }
    QByteArray bigPng;
    {
        QBuffer buffer(&bigPng);
        buffer.open(QIODevice::WriteOnly);
        big.save(&buffer, "PNG");
    }
    big = QImage();
    QImage bomb(5700, 5700, QImage::Format_Grayscale8);
    bomb.fill(0);
    const QString bombPath = QDir(folder.path()).filePath(QStringLiteral("pic/game1.png"));
    bomb.save(bombPath, "PNG");
    bomb = QImage();
    for (int game = 2; game <= games; ++game) {
        QFile file(QDir(folder.path()).filePath(QStringLiteral("pic/game%1.png").arg(game)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bigPng) != bigPng.size())
            qFatal("cannot write the pictures");
    }
    std::printf(
        "\nViewing %d games with %dx%d pictures (%.0f KiB each), then one whose %.0f KiB picture is 5700x5700\n",
        games - 1, side, side, bigPng.size() / 1024.0, QFileInfo(bombPath).size() / 1024.0);

    Library library(folder.path());
    RecordingMessageBox messages;
    LibraryPanel panel(&library, &messages, QDir(folder.path()).filePath(QStringLiteral("no.gif")));
    openPanel(panel);
    QApplication::processEvents();
    malloc_trim(0);
    const Memory before = Memory::now();
    // Row r shows game games - r + 1: the bomb is the last row.
    Timing view, viewAgain, bombView;
    QTableView *grid = panel.findChild<QTableView *>(QStringLiteral("game_list"));
    for (int row = 1; row < games; ++row)
        view.measure([&] { grid->setCurrentIndex(panel.model()->index(row, GameListModel::GameColumn)); });
    if (panel.findChild<QLabel *>(QStringLiteral("loc_pic"))->pixmap().isNull())
        qFatal("the last picture did not show");
    const Memory viewed = Memory::now();
    for (int row = 1; row < games; ++row)
        viewAgain.measure([&] { grid->setCurrentIndex(panel.model()->index(row, GameListModel::GameColumn)); });
    bombView.measure([&] { grid->setCurrentIndex(panel.model()->index(games, GameListModel::GameColumn)); });
    if (panel.findChild<QLabel *>(QStringLiteral("loc_name"))->text().isEmpty())
        qFatal("the game with the bomb did not show");
    malloc_trim(0);
    const Memory after = Memory::now();
    report(QStringLiteral("show a game with a %1x%1 picture (decoded at the size shown)").arg(side), view);
    report(QStringLiteral("show it again (from the picture cache)"), viewAgain);
    report(QStringLiteral("show the game whose picture is 5700x5700 (refused)"), bombView);
    std::printf("  %-56s %9.1f MiB RSS %8.1f MiB PSS\n", "memory after viewing them all",
                (viewed.rss - before.rss) / 1024.0, (viewed.pss - before.pss) / 1024.0);
    std::printf("  %-56s %9.1f MiB RSS %8.1f MiB PSS  (cache bound %.0f MiB)\n", "  and after the bomb, trimmed",
                (after.rss - before.rss) / 1024.0, (after.pss - before.pss) / 1024.0,
                LibraryPanel::pictureCacheBytes / 1048576.0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QElapsedTimer total;
    total.start();

    int runs = 7;
    QList<int> sizes;
    const QStringList arguments = QApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        bool ok = false;
        if (arguments.at(i) == QLatin1String("--runs") && i + 1 < arguments.size())
            runs = arguments.at(++i).toInt(&ok);
        else
            sizes << arguments.at(i).toInt(&ok);
        // Each run clicks and deletes one of the newest games, which have pictures.
        if (!ok || runs < 1 || runs > SeededLibrary::pictures - 5 ||
            (!sizes.isEmpty() && sizes.last() < SeededLibrary::pictures)) {
            std::fprintf(stderr, "usage: bench_library [--runs R] [N...]  (R <= %d, N >= %d games)\n",
                         SeededLibrary::pictures - 5, SeededLibrary::pictures);
            return 2;
        }
    }
    if (sizes.isEmpty())
        sizes = {10000, 100000};

    warmUp();
    viewingBigPictures();
    for (int games : sizes)
        benchmark(games, runs);
    std::printf("\nWhole run: %.1f s\n", total.nsecsElapsed() / 1e9);
    return 0;
}
