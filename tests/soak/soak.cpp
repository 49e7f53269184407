// Fault soak: many game acquisitions in a row through the real main window against the real portal server,
// each with a random fault of the server and a random user action in the middle, then checks of what the
// program left behind: the library whole, stored movies as served, no temporary files, nothing written
// elsewhere in its folder, memory back where it was, no crash.
//
//   soak [N] [--seed S] [--faults KIND,KIND] [--step-timeout SECONDS] [--movie-limit BYTES]
//        [--memory-limit MIB] [--trace-memory]
//
// N defaults to 200. The seed is printed (QUILLABRIX_SOAK_SEED sets it too); the same seed gives the same
// steps as long as the program answers them alike. A fault the program does not bound (the harness had to
// cut the connections) is left out for the rest of the run and reported.

#include "base/library/gamestore.h"
#include "base/portal/gameacquisition.h"
#include "form1fixture.h"
#include "procstats.h"
#include "soakdriver.h"
#include "testfiles.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QTextStream>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// What runs now, for a crash report written from a signal handler.
char currentStep[512] = "start-up";

void onCrash(int signal)
{
    const char head[] = "\nsoak: CRASHED (signal) during: ";
    (void)!::write(STDERR_FILENO, head, sizeof head - 1);
    (void)!::write(STDERR_FILENO, currentStep, std::strlen(currentStep));
    (void)!::write(STDERR_FILENO, "\n", 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void setCurrent(const QString &text)
{
    const QByteArray bytes = text.toUtf8().left(sizeof currentStep - 1);
    std::memcpy(currentStep, bytes.constData(), size_t(bytes.size()));
    currentStep[bytes.size()] = '\0';
}

// The kernel's name of the test's portal server process (cut to 15 bytes).
const QByteArray portalServerCommand = QByteArrayLiteral("quillabrix-port");

// What the tree holds for itself alone decides: shared library pages counted in proportion (PSS) rise and
// fall as other programs using the web engine start and stop on the same machine.
struct Memory
{
    qint64 treePrivateKiB = 0;
    qint64 treePssKiB = 0;
    qint64 rssKiB = 0;
    QStringList processes; // "KIND private" of every process in the tree but this one
};

// The web engine's processes beside this one, each with what it shows: the views whose pages it renders.
QStringList descendants(qint64 pid)
{
    QMap<qint64, QStringList> shows;
    QList<QWebEngineView *> views;
    for (QWidget *top : QApplication::topLevelWidgets())
        views += top->findChildren<QWebEngineView *>();
    for (QWebEngineView *view : views) {
        // A player's view is nameless inside its named player.
        const QString name = view->objectName().isEmpty() && view->parentWidget() ? view->parentWidget()->objectName()
                                                                                  : view->objectName();
        shows[view->page()->renderProcessPid()] << name;
    }
    QMap<qint64, QList<qint64>> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray stat = testfiles::contentOf(QStringLiteral("/proc/%1/stat").arg(entry));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children[fields.at(1).toLongLong()] << entry.toLongLong();
    }
    QStringList out;
    QList<qint64> todo = children.value(pid);
    while (!todo.isEmpty()) {
        const qint64 p = todo.takeFirst();
        todo += children.value(p);
        const QByteArray command = testfiles::contentOf(QStringLiteral("/proc/%1/comm").arg(p)).trimmed();
        const QString what = shows.contains(p)                ? shows.value(p).join(QLatin1Char('+'))
                             : command == portalServerCommand ? QStringLiteral("portal server (not counted)")
                                                              : QStringLiteral("helper");
        out << QStringLiteral("%1 %2 MiB").arg(what).arg(procstats::privateKiB(p) / 1024);
    }
    return out;
}

Memory measure()
{
    const qint64 pid = QCoreApplication::applicationPid();
    // The portal server serves the faults; it is the test's, not the program's.
    return {procstats::treePrivateKiB(pid, portalServerCommand), procstats::treePssKiB(pid),
            soak::residentBytes() / 1024, descendants(pid)};
}

// The memory once the process tree has stopped changing: a page that was just left keeps its renderer
// process for a while after the new one came, and a renderer that just started a movie goes on compiling
// the player's code in the background for several seconds. Still means within 2 MiB for 5 s.
Memory settledMemory(bool trace)
{
    constexpr int sampleMs = 500;
    constexpr int stillSamples = 10;
    Memory last = measure();
    qint64 low = last.treePrivateKiB;
    qint64 high = last.treePrivateKiB;
    int still = 0;
    QElapsedTimer sinceLast;
    sinceLast.start();
    (void)QTest::qWaitFor(
        [&] {
            if (sinceLast.elapsed() < sampleMs)
                return false;
            sinceLast.restart();
            last = measure();
            if (trace)
                out() << "    settling: tree private " << last.treePrivateKiB / 1024 << " MiB; "
                      << last.processes.join(QLatin1String(", ")) << "\n";
            low = qMin(low, last.treePrivateKiB);
            high = qMax(high, last.treePrivateKiB);
            if (high - low >= 2048) {
                low = high = last.treePrivateKiB;
                still = 0;
            }
            return ++still >= stillSamples;
        },
        60000);
    return last;
}

struct Tally
{
    QMap<soak::Outcome, int> outcomes;
    int total = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    soak::prepareEnvironment();
    PlayerProfile::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    for (int s : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(s, onCrash);

    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("N"), QStringLiteral("acquisitions (200)"));
    parser.addOption({QStringLiteral("seed"), QStringLiteral("random seed"), QStringLiteral("S")});
    parser.addOption({QStringLiteral("faults"), QStringLiteral("fault kinds to choose from"), QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("step-timeout"), QStringLiteral("seconds one acquisition may take"),
                      QStringLiteral("SECONDS"), QStringLiteral("60")});
    // A movie limit an endless movie reaches quickly; the program's own is a gigabyte.
    parser.addOption({QStringLiteral("movie-limit"), QStringLiteral("largest movie the program accepts"),
                      QStringLiteral("BYTES"), QString::number(4 << 20)});
    parser.addOption({QStringLiteral("memory-limit"),
                      QStringLiteral("growth of the process tree allowed after the warm-up"), QStringLiteral("MIB"),
                      QStringLiteral("50")});
    parser.addOption({QStringLiteral("trace-memory"), QStringLiteral("print the memory after every acquisition")});
    parser.addHelpOption();
    parser.process(app);
    const int total = parser.positionalArguments().value(0, QStringLiteral("200")).toInt();
    const QString seedText = parser.isSet(QStringLiteral("seed")) ? parser.value(QStringLiteral("seed"))
                                                                  : qEnvironmentVariable("QUILLABRIX_SOAK_SEED");
    const quint32 seed = seedText.isEmpty() ? QRandomGenerator::system()->generate() : seedText.toUInt();
    const int stepTimeoutMs = parser.value(QStringLiteral("step-timeout")).toInt() * 1000;
    QStringList kinds = soak::faultKinds();
    if (parser.isSet(QStringLiteral("faults")))
        kinds = parser.value(QStringLiteral("faults")).split(QLatin1Char(','));
    const int warmUp = qBound(1, total / 4, 5);
    QRandomGenerator rng(seed);
    out() << "soak: " << total << " acquisitions, seed " << seed << ", movie limit "
          << parser.value(QStringLiteral("movie-limit")) << " bytes\n"
          << Qt::flush;

    PortalServer server;
    if (!server.start()) {
        out() << "soak: the portal server did not start\n";
        return 2;
    }
    const QString port = QString::number(server.port());
    soak::Guards guards;
    guards.cutConnections = [&] {
        // Stopping the server ends every transfer; it comes back on its port for the next steps.
        server.stop();
        if (!QTest::qWaitFor([&] { return server.start({QStringLiteral("--port"), port}); }, 10000))
            out() << "soak: the portal server did not come back on port " << port << "\n";
    };
    soak::CleanFiles clean;
    QNetworkAccessManager network;
    QString error;
    if (!clean.load(network, server.baseUrl(), &error)) {
        out() << "soak: " << error << "\n";
        return 2;
    }

    TestAppFolder folder(TestAppFolder::WithLibrary);
    soak::WindowSession session(folder.path(), server.baseUrl());
    if (!session.start()) {
        out() << "soak: the window did not start\n";
        return 2;
    }
    Form1 *window = session.window.get();
    ui::acquisition(window)->setMaxMovieBytes(parser.value(QStringLiteral("movie-limit")).toLongLong());
    // The program's own: movies, pictures, the library, and the games' saves (kept by the player's web profile).
    const QStringList ownFiles{QStringLiteral("flash"), QStringLiteral("pic"), GameStore::fileName(),
                               QStringLiteral("saves")};
    const QStringList outsideBefore = soak::snapshotOutside(folder.path(), ownFiles);
    soak::Driver driver(session, clean, server.baseUrl(), guards);
    if (!driver.toPortal()) {
        out() << "soak: the portal did not show\n";
        return 2;
    }

    // How the program keeps a movie it is still writing: seen from /proc while the first one comes in.
    QStringList writingProbe;
    QObject probeScope;
    QObject::connect(ui::acquisition(window), &GameAcquisition::progress, &probeScope, [&] {
        if (!writingProbe.isEmpty())
            return;
        writingProbe = driver.openFilesUnderFolder();
        for (const QString &name : testfiles::filesIn(folder.filePath(QStringLiteral("flash"))))
            writingProbe << QStringLiteral("listed: flash/") + name;
    });

    QStringList failures;
    QMap<QString, Tally> perFault;
    QMap<soak::Outcome, int> outcomes;
    QMap<QString, int> actionsTaken, actionsLate;
    QStringList unbounded, folderBefore;
    Memory before;
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    for (; done < total; ++done) {
        soak::Step step = soak::randomStep(rng, kinds, 0.5);
        const QString label =
            QStringLiteral("step %1/%2 (seed %3): %4").arg(done + 1).arg(total).arg(seed).arg(step.describe());
        setCurrent(label);
        const soak::StepReport report = driver.run(step, stepTimeoutMs);
        // A problem the folder keeps is told once, at the step that made it.
        const QStringList folderNow = driver.folderProblems();
        QStringList problems = report.problems + report.guardHits;
        for (const QString &problem : folderNow) {
            if (!folderBefore.contains(problem))
                problems << problem;
        }
        folderBefore = folderNow;
        Tally &tally = perFault[step.fault.kind];
        ++tally.total;
        ++tally.outcomes[report.outcome];
        ++outcomes[report.outcome];
        if (report.actionTaken)
            ++actionsTaken[soak::actionName(step.action)];
        if (report.actionTaken && report.actionLate)
            ++actionsLate[soak::actionName(step.action)];
        out() << label << " -> " << soak::outcomeName(report.outcome)
              << (report.actionTaken ? (report.actionLate ? " (action after the end)" : "") : "")
              << (step.action != soak::Action::None && !report.actionTaken ? " (action not possible)" : "") << "\n";
        for (const QString &problem : problems)
            out() << "    PROBLEM: " << problem << "\n";
        if (parser.isSet(QStringLiteral("trace-memory"))) {
            const Memory now = measure();
            out() << "    memory: tree private " << now.treePrivateKiB / 1024 << " MiB, PSS " << now.treePssKiB / 1024
                  << " MiB, own RSS " << now.rssKiB / 1024 << " MiB (" << soak::residentKinds() << "); "
                  << now.processes.join(QLatin1String(", ")) << "\n";
        }
        out() << Qt::flush;
        for (const QString &problem : problems)
            failures << QStringLiteral("%1: %2").arg(label, problem);
        if (!report.guardHits.isEmpty() && kinds.removeAll(step.fault.kind) > 0) {
            unbounded << step.fault.kind;
            out() << "    " << step.fault.kind << " is left out from now on: the program does not bound it\n";
        }
        if (report.stuck) {
            out() << "soak: the window stays stuck; stopping here\n";
            ++done;
            break;
        }
        if (done + 1 == warmUp) {
            driver.toPortal();
            before = settledMemory(parser.isSet(QStringLiteral("trace-memory")));
        }
    }
    const qint64 seconds = clock.elapsed() / 1000;
    setCurrent(QStringLiteral("final checks (seed %1)").arg(seed));

    driver.toPortal();
    const Memory after = settledMemory(parser.isSet(QStringLiteral("trace-memory")));
    const qint64 growthKiB = after.treePrivateKiB - before.treePrivateKiB;
    if (done > warmUp && growthKiB > parser.value(QStringLiteral("memory-limit")).toLongLong() * 1024)
        failures << QStringLiteral("memory: the process tree grew by %1 MiB after the warm-up").arg(growthKiB / 1024);

    const QString integrity = soak::integrityCheck(folder.filePath(GameStore::fileName()));
    if (integrity != QLatin1String("ok"))
        failures << QStringLiteral("integrity check: %1").arg(integrity);
    GameStore store(folder.path());
    const auto rows = store.open_db() ? store.gamesNewestFirst() : std::nullopt;
    int moviesChecked = 0;
    for (const GameRecord &row : rows.value_or(QVector<GameRecord>())) {
        const std::optional<QByteArray> served = clean.movie(row.movieFile);
        if (served && testfiles::contentOf(store.moviePath(row.movieFile)) == *served)
            ++moviesChecked;
        else
            failures << QStringLiteral("game %1: its movie %2 is not the one the server serves")
                            .arg(row.gameId, row.movieFile);
    }
    // The download queue keeps its unfinished games beside the settings; nothing else may be written there.
    const QString queueFile = QDir(folder.path()).relativeFilePath(ui::acquisition(window)->queueFile());
    const QStringList outsideAfter = soak::snapshotOutside(folder.path(), ownFiles);
    for (const QString &entry : outsideAfter) {
        if (!outsideBefore.contains(entry) && entry.section(QLatin1Char(' '), 0, -3) != queueFile)
            failures << QStringLiteral("written outside flash/, pic/, saves/ and the library: %1").arg(entry);
    }
    if (driver.renderCrashes() > 0)
        failures << QStringLiteral("%1 renderer processes ended abnormally").arg(driver.renderCrashes());

    out() << "\n== soak summary (seed " << seed << ", " << done << " acquisitions in " << seconds << " s) ==\n";
    out() << "acquisitions per fault (installed/failed/refused/hung; after a second link: how the second "
             "game ended):\n";
    const soak::Outcome order[] = {soak::Outcome::Installed, soak::Outcome::Failed, soak::Outcome::Refused,
                                   soak::Outcome::Hung};
    for (const QString &kind : soak::faultKinds()) {
        const Tally &t = perFault[kind];
        out() << QStringLiteral("  %1 %2  ").arg(kind, -18).arg(t.total, 4);
        for (soak::Outcome o : order)
            out() << t.outcomes.value(o) << (o == soak::Outcome::Hung ? "\n" : "/");
    }
    out() << "outcomes:";
    for (soak::Outcome o : order)
        out() << " " << soak::outcomeName(o) << " " << outcomes.value(o);
    out() << "\nactions taken (after the end):";
    for (soak::Action a : soak::allActions)
        out() << " " << soak::actionName(a) << " " << actionsTaken.value(soak::actionName(a)) << " ("
              << actionsLate.value(soak::actionName(a)) << ")";
    out() << "\nlibrary: " << rows.value_or(QVector<GameRecord>()).size() << " games, integrity " << integrity << ", "
          << moviesChecked << " movies as served\n";
    out() << "pictures not as served: " << driver.picturesNotAsServed().join(QLatin1String(", ")) << "\n";
    out() << "a movie being written, seen from /proc: " << writingProbe.join(QLatin1String("; ")) << "\n";
    out() << "faults the program did not bound (left out after their first time): "
          << (unbounded.isEmpty() ? QStringLiteral("none") : unbounded.join(QLatin1String(", "))) << "\n";
    out() << "memory after " << warmUp << " warm-up acquisitions: tree private " << before.treePrivateKiB / 1024
          << " MiB (PSS " << before.treePssKiB / 1024 << " MiB), own RSS " << before.rssKiB / 1024
          << " MiB; at the end: tree private " << after.treePrivateKiB / 1024 << " MiB (PSS " << after.treePssKiB / 1024
          << " MiB), own RSS " << after.rssKiB / 1024 << " MiB (growth " << growthKiB / 1024
          << " MiB); own RSS at its highest " << driver.peakResidentBytes() / (1024 * 1024) << " MiB, in step "
          << driver.peakStep() << "\n"
          << "processes beside this one, before: " << before.processes.join(QLatin1String(", "))
          << "; at the end: " << after.processes.join(QLatin1String(", ")) << "\n";
    out() << "renderer crashes: " << driver.renderCrashes() << "\n";
    out() << (failures.isEmpty() ? "soak: PASS\n" : "soak: FAIL\n");
    for (const QString &f : failures)
        out() << "  " << f << "\n";
    out() << Qt::flush;
    return failures.isEmpty() ? 0 : 1;
}
