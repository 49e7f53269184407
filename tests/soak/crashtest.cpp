// Crash consistency: the program is killed (SIGKILL) at random moments while it acquires and deletes games
// in one application folder, and started again each time. After every kill the library must open and be
// whole, and no row may name a missing movie; after the next start no temporary file may be left in
// flash/ or pic/.
//
//   crashtest [KILLS] [--seed S]                     the parent: 50 kills by default
//   crashtest --child FOLDER URL SEED [--load-only]  the program under test (started by the parent)
//
// The child prints LOADED <what flash/ and pic/ hold right after Form_Load>, READY once the window shows,
// then STEP n <step> and DONE n <outcome> around each acquisition.

#include "base/library/gamestore.h"
#include "base/portal/downloadqueue.h"
#include "form1fixture.h"
#include "soakdriver.h"
#include "testfiles.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    out() << line << "\n" << Qt::flush;
}

QJsonObject folderListing(const QString &appFolder)
{
    QJsonObject listing;
    for (const QString &sub : {QStringLiteral("flash"), QStringLiteral("pic")})
        listing.insert(sub, QJsonArray::fromStringList(testfiles::filesIn(QDir(appFolder).filePath(sub))));
    return listing;
}

// ---- the child: the program, busy until it is killed ----

int childMain(const QStringList &args, bool loadOnly)
{
    const QString folder = args.value(0);
    const QUrl server(args.value(1));
    QRandomGenerator rng(args.value(2).toUInt());
    soak::WindowSession session(folder, server);
    const bool shown = session.start([&] {
        say(QStringLiteral("LOADED ") +
            QString::fromUtf8(QJsonDocument(folderListing(folder)).toJson(QJsonDocument::Compact)));
    });
    if (!shown) {
        say(QStringLiteral("NOSTART"));
        return 3;
    }
    say(QStringLiteral("READY"));
    if (loadOnly)
        return 0;

    soak::CleanFiles clean;
    QString error;
    if (!clean.load(session.network, server, &error)) {
        say(QStringLiteral("NOSTART ") + error);
        return 3;
    }
    soak::Driver driver(session, clean, server, soak::Guards());
    // Faults that end one way or the other on their own, slow ones among them so that kills find transfers.
    const QStringList kinds{QStringLiteral("none"),          QStringLiteral("movie:trickle"),
                            QStringLiteral("movie:chunked"), QStringLiteral("movie:short"),
                            QStringLiteral("movie:500"),     QStringLiteral("pic:trickle")};
    for (int n = 1;; ++n) {
        soak::Step step = soak::randomStep(rng, kinds, 0.5);
        if (rng.bounded(10) < 3)
            step.action = soak::Action::DeleteGame;
        say(QStringLiteral("STEP %1 %2").arg(n).arg(step.describe()));
        const soak::StepReport report = driver.run(step, 30000);
        say(QStringLiteral("DONE %1 %2").arg(n).arg(soak::outcomeName(report.outcome)));
        // What the running program already got wrong, so that the parent does not blame a kill for it.
        for (const QString &problem : driver.folderProblems())
            say(QStringLiteral("LIVE %1").arg(problem));
    }
}

// ---- the parent ----

// The processes of a session (the child and everything it started), zombies left out.
QList<qint64> sessionMembers(qint64 session)
{
    QList<qint64> members;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray stat = testfiles::contentOf(QStringLiteral("/proc/%1/stat").arg(pid));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 3 && fields.at(3).toLongLong() == session && fields.at(0) != "Z")
            members << pid;
    }
    return members;
}

// Kills the program first, then whatever of its session is left (the web engine's helper processes).
bool killTree(QProcess &child)
{
    const qint64 pid = child.processId();
    if (pid <= 0)
        return true;
    ::kill(pid_t(pid), SIGKILL);
    child.waitForFinished(10000);
    return QTest::qWaitFor(
        [&] {
            const QList<qint64> left = sessionMembers(pid);
            for (qint64 p : left)
                ::kill(pid_t(p), SIGKILL);
            return left.isEmpty();
        },
        10000);
}

class Child
{
public:
    Child(const QString &program, const QStringList &args, const QString &logFile)
    {
        process.setStandardErrorFile(logFile, QIODevice::Append);
        process.setChildProcessModifier([] { ::setsid(); });
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("LOADED "))) {
                    listing = QJsonDocument::fromJson(line.mid(7).toUtf8()).object();
                    loaded = true;
                } else if (line == QLatin1String("READY")) {
                    ready = true;
                } else if (line.startsWith(QLatin1String("NOSTART"))) {
                    failedStart = true;
                } else if (line.startsWith(QLatin1String("LIVE "))) {
                    live << line.mid(5);
                } else if (line.startsWith(QLatin1String("STEP ")) || line.startsWith(QLatin1String("DONE "))) {
                    last = line;
                    steps = line.section(QLatin1Char(' '), 1, 1).toInt();
                    if (!workClock.isValid())
                        workClock.start();
                }
            }
        });
        clock.start();
        process.start(program, args);
    }
    ~Child() { killTree(process); }

    QProcess process;
    QElapsedTimer clock, workClock; // since the start, since the first acquisition
    QJsonObject listing;
    QString last;
    QStringList live; // problems the child found in its folder while it ran
    int steps = 0;
    bool loaded = false, ready = false, failedStart = false;
};

// Temporary names with their random part masked, to count them by kind.
QString pattern(const QString &name)
{
    QString masked = name;
    masked.replace(QRegularExpression(QStringLiteral("[A-Za-z0-9]{6}$")), QStringLiteral("XXXXXX"));
    return masked;
}

QStringList strangers(const QJsonObject &listing, const soak::CleanFiles &clean)
{
    QStringList found;
    for (const QJsonValue &v : listing.value(QStringLiteral("flash")).toArray()) {
        if (!clean.isMovieName(v.toString()))
            found << QStringLiteral("flash/") + v.toString();
    }
    for (const QJsonValue &v : listing.value(QStringLiteral("pic")).toArray()) {
        if (!clean.isPictureName(v.toString()))
            found << QStringLiteral("pic/") + v.toString();
    }
    return found;
}

int parentMain(const QStringList &args, quint32 seed)
{
    const int kills = args.value(0, QStringLiteral("50")).toInt();
    QRandomGenerator rng(seed);
    say(QStringLiteral("crashtest: %1 kills, seed %2").arg(kills).arg(seed));

    PortalServer server;
    soak::CleanFiles clean;
    QNetworkAccessManager network;
    QString error;
    if (!server.start() || !clean.load(network, server.baseUrl(), &error)) {
        say(QStringLiteral("crashtest: the portal server is not usable: ") + error);
        return 2;
    }
    TestAppFolder folder(TestAppFolder::WithLibrary);
    QTemporaryDir logs;
    logs.setAutoRemove(false);
    const QString log = logs.filePath(QStringLiteral("children.log"));
    const QString program = QCoreApplication::applicationFilePath();
    const QString library = folder.filePath(GameStore::fileName());

    QStringList failures;
    QMap<QString, int> moments, leftAfterKill, leftAfterStart;
    int journals = 0, totalSteps = 0, rowsAtEnd = 0, killProblems = 0;
    QSet<QString> seenLive;
    QElapsedTimer clock;
    clock.start();
    const auto startChild = [&](bool loadOnly, quint32 childSeed) {
        QStringList childArgs{QStringLiteral("--child"), folder.path(), server.baseUrl().toString(),
                              QString::number(childSeed)};
        if (loadOnly)
            childArgs << QStringLiteral("--load-only");
        return std::make_unique<Child>(program, childArgs, log);
    };
    // What the start after a kill found in flash/ and pic/ once Form_Load had returned.
    const auto checkStart = [&](Child &child, const QString &label) {
        if (!QTest::qWaitFor([&] { return child.loaded || child.process.state() == QProcess::NotRunning; }, 120000)) {
            failures << label + QStringLiteral(": the program did not load");
            return;
        }
        // The partial data of games still queued stays: they go on from it.
        DownloadQueue queue;
        queue.setFile(folder.filePath(QStringLiteral("downloads.json")));
        QStringList partials;
        for (const QueuedGame &queued : queue.read()) {
            if (queued.game)
                partials << QStringLiteral("flash/.partial-") + queued.game->gameId
                         << QStringLiteral("flash/.partial-%1.json").arg(queued.game->gameId);
        }
        for (const QString &name : strangers(child.listing, clean)) {
            if (partials.contains(name))
                continue;
            ++leftAfterStart[pattern(name)];
            failures << label + QStringLiteral(": after the next start %1 is still there").arg(name);
        }
    };

    for (int k = 1; k <= kills; ++k) {
        const QString label = QStringLiteral("kill %1/%2 (seed %3)").arg(k).arg(kills).arg(seed);
        auto child = startChild(false, rng.generate());
        if (k > 1)
            checkStart(*child, QStringLiteral("kill %1/%2 (seed %3)").arg(k - 1).arg(kills).arg(seed));
        // One kill in seven comes during the start-up, the others while the program is at work: within four
        // seconds of its first acquisition.
        const bool duringStartup = rng.bounded(7) == 0;
        const int delayMs = duringStartup ? rng.bounded(300, 4000) : rng.bounded(0, 4000);
        const bool waited = QTest::qWaitFor(
            [&] {
                if (child->process.state() == QProcess::NotRunning || child->failedStart)
                    return true;
                return duringStartup ? child->clock.elapsed() >= delayMs || child->ready
                                     : child->workClock.isValid() && child->workClock.elapsed() >= delayMs;
            },
            180000);
        if (child->process.state() == QProcess::NotRunning || child->failedStart) {
            failures << label + QStringLiteral(": the program ended before the kill (exit %1, status %2); see %3")
                                    .arg(child->process.exitCode())
                                    .arg(int(child->process.exitStatus()))
                                    .arg(log);
        } else if (!waited) {
            failures << label + QStringLiteral(": the program never showed its window");
        }
        const QString moment = !child->ready           ? QStringLiteral("start-up")
                               : child->last.isEmpty() ? QStringLiteral("window shown, no step yet")
                               : child->last.startsWith(QLatin1String("STEP")) ? QStringLiteral("an acquisition")
                                                                               : QStringLiteral("between acquisitions");
        ++moments[moment];
        if (!killTree(child->process))
            failures << label + QStringLiteral(": processes of the program outlived the kill");
        totalSteps += child->steps;

        // The folder as the kill left it.
        const QStringList left = strangers(folderListing(folder.path()), clean);
        for (const QString &name : left)
            ++leftAfterKill[pattern(name)];
        const bool journal = QFileInfo::exists(library + QStringLiteral("-journal"));
        journals += journal;
        QStringList problems;
        {
            GameStore store(folder.path());
            if (!store.open_db())
                problems << QStringLiteral("the library does not open");
            const auto rows = store.gamesNewestFirst();
            rowsAtEnd = rows ? int(rows->size()) : -1;
            for (const GameRecord &row : rows.value_or(QVector<GameRecord>())) {
                if (!QFileInfo(store.moviePath(row.movieFile)).isFile())
                    problems << QStringLiteral("row %1 (game %2) names the missing movie %3")
                                    .arg(row.id)
                                    .arg(row.gameId, row.movieFile);
            }
        }
        const QString integrity = soak::integrityCheck(library);
        if (integrity != QLatin1String("ok"))
            problems << QStringLiteral("integrity check: ") + integrity;
        const QDir flash(folder.filePath(QStringLiteral("flash")));
        for (const QString &name : testfiles::filesIn(flash.path())) {
            const std::optional<QByteArray> served = clean.movie(name);
            if (served && testfiles::contentOf(flash.filePath(name)) != *served)
                problems << QStringLiteral("flash/%1 is not the movie the server serves (torn?)").arg(name);
        }
        say(QStringLiteral("%1: %2 ms %3, in %4; last \"%5\"; %6 games; journal %7; left: %8")
                .arg(label)
                .arg(child->workClock.isValid() ? child->workClock.elapsed() : child->clock.elapsed())
                .arg(child->workClock.isValid() ? QStringLiteral("into its work") : QStringLiteral("after the start"))
                .arg(moment, child->last)
                .arg(rowsAtEnd)
                .arg(journal ? QStringLiteral("yes") : QStringLiteral("no"))
                .arg(left.isEmpty() ? QStringLiteral("nothing") : left.join(QLatin1String(", "))));
        for (const QString &problem : child->live) {
            if (!seenLive.contains(problem)) {
                seenLive << problem;
                say(QStringLiteral("    PROBLEM while the program ran: ") + problem);
                failures << label + QStringLiteral(": while the program ran: ") + problem;
            }
        }
        for (const QString &problem : problems) {
            if (seenLive.contains(problem))
                continue; // already there before the kill
            say(QStringLiteral("    PROBLEM after the kill: ") + problem);
            failures << label + QStringLiteral(": after the kill: ") + problem;
            ++killProblems;
        }
    }
    // The start after the last kill.
    {
        auto child = startChild(true, 0);
        checkStart(*child, QStringLiteral("kill %1/%1 (seed %2)").arg(kills).arg(seed));
        if (!QTest::qWaitFor([&] { return child->process.state() == QProcess::NotRunning; }, 120000))
            failures << QStringLiteral("the last start did not end");
    }

    const auto counts = [](const QMap<QString, int> &map) {
        QStringList parts;
        for (auto it = map.begin(); it != map.end(); ++it)
            parts << QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
        return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1String(", "));
    };
    say(QStringLiteral("\n== crashtest summary (seed %1, %2 kills in %3 s) ==")
            .arg(seed)
            .arg(kills)
            .arg(clock.elapsed() / 1000));
    say(QStringLiteral("kills during: ") + counts(moments));
    say(QStringLiteral("acquisitions the programs went through: %1; games in the library at the end: %2")
            .arg(totalSteps)
            .arg(rowsAtEnd));
    say(QStringLiteral("kills that left the library's journal: %1 (replayed when the library next opens)")
            .arg(journals));
    say(QStringLiteral("inconsistencies a kill caused: %1; inconsistencies the running program made: %2")
            .arg(killProblems)
            .arg(seenLive.size()));
    say(QStringLiteral("temporary files right after a kill: ") + counts(leftAfterKill));
    say(QStringLiteral("temporary files still there after the next start: ") + counts(leftAfterStart));
    say(QStringLiteral("children's messages: ") + log);
    say(failures.isEmpty() ? QStringLiteral("crashtest: PASS") : QStringLiteral("crashtest: FAIL"));
    for (const QString &f : failures)
        say(QStringLiteral("  ") + f);
    if (failures.isEmpty())
        logs.remove();
    return failures.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    soak::prepareEnvironment();
    bool child = false;
    for (int i = 1; i < argc; ++i)
        child = child || qstrcmp(argv[i], "--child") == 0;
    PlayerProfile::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("KILLS"), QStringLiteral("how many kills (50)"));
    parser.addOption({QStringLiteral("seed"), QStringLiteral("random seed"), QStringLiteral("S")});
    parser.addOption({QStringLiteral("child"), QStringLiteral("run as the program under test: FOLDER URL SEED")});
    parser.addOption({QStringLiteral("load-only"), QStringLiteral("child: start, then end")});
    parser.addHelpOption();
    parser.process(app);
    if (child)
        return childMain(parser.positionalArguments(), parser.isSet(QStringLiteral("load-only")));
    const QString seedText = parser.isSet(QStringLiteral("seed")) ? parser.value(QStringLiteral("seed"))
                                                                  : qEnvironmentVariable("QUILLABRIX_SOAK_SEED");
    return parentMain(parser.positionalArguments(),
                      seedText.isEmpty() ? QRandomGenerator::system()->generate() : seedText.toUInt());
}
