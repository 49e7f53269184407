// Throughput of "Verify library" against sha256sum on the same files: 10,000 games with 10 GB of movies (sparse
// files: the disk is not what is measured) and 1 GiB of real movie data (random bytes, read from the page cache),
// and how long the event loop is held up meanwhile (a 2 ms timer records its own lateness).
#include "base/library/library.h"
#include "base/library/libraryverify.h"
#include "pauseprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {

constexpr int runs = 2;

struct Shelf
{
    QTemporaryDir dir;
    QStringList movies;
    qint64 bytes = 0;
};

// A library of games whose movies write() makes, recorded in one go.
bool fill(Shelf &shelf, int games, const std::function<bool(QFile &, int)> &write)
{
    Library library(shelf.dir.path());
    if (!library.makeFolders())
        return false;
    QVector<GameRecord> records;
    for (int i = 0; i < games; ++i) {
        GameRecord game;
        game.title = QStringLiteral("Game %1").arg(i);
        game.movieFile = QStringLiteral("game%1.swf").arg(i);
        QFile file(library.folders().moviePath(game.movieFile));
        if (!file.open(QIODevice::WriteOnly) || !write(file, i))
            return false;
        shelf.bytes += file.size();
        shelf.movies << file.fileName();
        records.append(game);
    }
    return library.store().insertOwnGames(records);
}

struct Figures
{
    double seconds = 0;
    double longestPauseMs = 0;
    VerifyReport report;
};

Figures verify(Library &library)
{
    Figures f;
    LibraryVerify job(&library);
    const TimedRun run = runTimed(job, &LibraryVerify::finished, &f.report);
    f.seconds = run.seconds;
    f.longestPauseMs = run.longestPauseMs;
    return f;
}

double sha256sum(const QStringList &files)
{
    QElapsedTimer clock;
    clock.start();
    // In slices that keep each command line well under the system's limit.
    for (int from = 0; from < files.size(); from += 2000) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral("sha256sum"), files.mid(from, 2000));
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

void compare(QTextStream &out, const QString &what, const Shelf &shelf)
{
    // The first verification reads every movie and records its digest; the later ones check against it.
    double ours = 0, theirs = 0, firstPause = 0, pause = 0;
    int findings = 0;
    // As in the program, whose library is opened once: deriving its key is slow on purpose.
    Library library(shelf.dir.path());
    library.open();
    for (int run = 0; run < runs; ++run) {
        const Figures f = verify(library);
        ours = run == 0 ? f.seconds : std::min(ours, f.seconds);
        (run == 0 ? firstPause : pause) = std::max(run == 0 ? firstPause : pause, f.longestPauseMs);
        findings += int(f.report.damaged.size() + f.report.orphanMovies.size());
        const double s = sha256sum(shelf.movies);
        theirs = run == 0 ? s : std::min(theirs, s);
    }
    const double mib = shelf.bytes / 1048576.0;
    out << what << ": " << shelf.movies.size() << " games, " << QString::number(mib, 'f', 0) << " MiB\n"
        << "  verify     " << QString::number(ours, 'f', 2) << " s, " << QString::number(mib / ours, 'f', 0)
        << " MiB/s; findings " << findings << "\n"
        << "  event loop held up at most " << QString::number(firstPause, 'f', 1)
        << " ms (first verification, recording the digests), " << QString::number(pause, 'f', 1) << " ms (later)\n"
        << "  sha256sum  " << QString::number(theirs, 'f', 2) << " s, " << QString::number(mib / theirs, 'f', 0)
        << " MiB/s\n"
        << "  ratio      " << QString::number(theirs / ours, 'f', 2) << "x sha256sum's throughput (target >= 0.9x)\n";
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    Shelf sparse;
    constexpr qint64 sparseBytes = 1000LL * 1000 * 1000; // 10,000 of them: 10 GB
    if (!fill(sparse, 10000, [](QFile &file, int) { return file.resize(sparseBytes / 1000); })) {
        out << "cannot make the sparse library\n";
        return 1;
    }
    compare(out, QStringLiteral("10 GB of sparse movies"), sparse);

    Shelf real;
    constexpr qint64 realBytes = 4LL * 1024 * 1024; // 256 of them: 1 GiB
    const bool made = fill(real, 256, [](QFile &file, int) {
        QByteArray bytes(realBytes, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        return file.write(bytes) == bytes.size();
    });
    if (!made) {
        out << "cannot make the library of real data\n";
        return 1;
    }
    compare(out, QStringLiteral("1 GiB of random movie data"), real);
    return 0;
}
