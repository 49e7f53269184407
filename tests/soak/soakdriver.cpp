#include "soakdriver.h"

#include "procstats.h"

#include "base/library/gamestore.h"
#include "base/portal/gameacquisition.h"
#include "base/portal/moviedownload.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "sqlciphercli.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

namespace soak {

namespace {

const QStringList portalPages{QStringLiteral("main.htm"), QStringLiteral("main.htm?cat=action"),
                              QStringLiteral("main.htm?cat=puzzle"), QStringLiteral("main.htm?cat=sports"),
                              QStringLiteral("main.htm?cat=classic")};

QString readLink(const QString &path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer - 1);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(n)));
}

} // namespace

void prepareEnvironment()
{
    procstats::prepareEnvironment();
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
}

// ---- what the server serves ----

bool CleanFiles::load(QNetworkAccessManager &network, const QUrl &server, QString *error)
{
    for (int id = firstGame; id <= lastGame; ++id) {
        const QByteArray body =
            testfiles::httpGet(network, server.resolved(QUrl(QStringLiteral("game.asp?id=%1").arg(id))));
        const std::optional<GameDetails> game = parseGameDetails(body, GameDetails());
        if (!game) {
            *error = QStringLiteral("game %1 has no details").arg(id);
            return false;
        }
        const QByteArray movie = testfiles::httpGet(network, QUrl(game->movieUrl));
        const QByteArray picture = testfiles::httpGet(network, QUrl(game->pictureUrl));
        if (movie.isEmpty() || picture.isEmpty()) {
            *error = QStringLiteral("the files of game %1 did not arrive").arg(id);
            return false;
        }
        m_movies.insert(game->movieFile, movie);
        m_pictures.insert(game->pictureFile, picture);
    }
    const StartupAnswer status = parseStartupAnswer(
        QString::fromLatin1(testfiles::httpGet(network, server.resolved(QUrl(QStringLiteral("gg.asp"))))));
    m_adverts = QStringList{advertisementFileName(status.gg_1), advertisementFileName(status.gg_2)};
    if (!status.ok || m_adverts.contains(QString())) {
        *error = QStringLiteral("the status answer names no advertisements");
        return false;
    }
    return true;
}

std::optional<QByteArray> CleanFiles::movie(const QString &name) const
{
    const auto it = m_movies.constFind(name);
    return it == m_movies.constEnd() ? std::nullopt : std::optional<QByteArray>(*it);
}

std::optional<QByteArray> CleanFiles::picture(const QString &name) const
{
    const auto it = m_pictures.constFind(name);
    return it == m_pictures.constEnd() ? std::nullopt : std::optional<QByteArray>(*it);
}

// ---- faults, actions, steps ----

QStringList faultKinds()
{
    return {QStringLiteral("none"),
            QStringLiteral("movie:short"),
            QStringLiteral("movie:500"),
            QStringLiteral("movie:trickle"),
            QStringLiteral("movie:chunked"),
            QStringLiteral("movie:endless"),
            QStringLiteral("movie:html"),
            QStringLiteral("pic:short"),
            QStringLiteral("pic:500"),
            QStringLiteral("pic:trickle"),
            QStringLiteral("pic:endless"),
            QStringLiteral("pic:html"),
            QStringLiteral("details:titlelen"),
            QStringLiteral("details:endless")};
}

Fault makeFault(const QString &kind, QRandomGenerator &rng)
{
    static const int trickles[] = {10, 30, 100};
    Fault fault{kind, QString(), Expect::Installed};
    const QString target = kind.section(QLatin1Char(':'), 0, 0);
    QString what = kind.section(QLatin1Char(':'), 1);
    if (what == QLatin1String("trickle"))
        what = QStringLiteral("trickle-%1").arg(trickles[rng.bounded(3)]);
    if (target == QLatin1String("movie")) {
        fault.query = QStringLiteral("moviefault=") + what;
        const bool arrives = what.startsWith(QLatin1String("trickle")) || what == QLatin1String("chunked");
        fault.expect = arrives ? Expect::Installed : Expect::Failed;
    } else if (target == QLatin1String("pic")) {
        fault.query = QStringLiteral("picfault=") + what;
    } else if (kind == QLatin1String("details:titlelen")) {
        // Hex-coded, every padding character takes two bytes: 1.2 to 4 MB of answer.
        fault.query = QStringLiteral("titlelen=%1").arg(rng.bounded(600000, 2000001));
        fault.expect = Expect::Refused;
    } else if (kind == QLatin1String("details:endless")) {
        fault.query = QStringLiteral("fault=endless");
        fault.expect = Expect::Refused;
    }
    return fault;
}

QString actionName(Action action)
{
    switch (action) {
    case Action::None:
        return QStringLiteral("none");
    case Action::SecondLink:
        return QStringLiteral("second-link");
    case Action::LeavePanel:
        return QStringLiteral("leave-panel");
    case Action::OpenLibrary:
        return QStringLiteral("open-library");
    case Action::DeleteGame:
        return QStringLiteral("delete-game");
    case Action::FullScreen:
        return QStringLiteral("full-screen");
    }
    return QString();
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Installed:
        return QStringLiteral("installed");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Hung:
        return QStringLiteral("hung");
    }
    return QString();
}

QString Step::describe() const
{
    static const char *moments[] = {"details", "progress", "movie"};
    QString text = QStringLiteral("game %1 %2").arg(game).arg(fault.query.isEmpty() ? fault.kind : fault.query);
    if (action != Action::None)
        text += QStringLiteral(" + %1@%2").arg(actionName(action), QLatin1String(moments[int(moment)]));
    if (action == Action::SecondLink)
        text += QStringLiteral(" (game %1)").arg(secondGame);
    if (action == Action::LeavePanel)
        text += QStringLiteral(" (%1)").arg(portalPage);
    return text;
}

Step randomStep(QRandomGenerator &rng, const QStringList &kinds, double actionChance)
{
    Step step;
    step.game = rng.bounded(firstGame, lastGame + 1);
    QStringList weighted = kinds;
    if (kinds.contains(QStringLiteral("none")))
        weighted << QStringLiteral("none") << QStringLiteral("none");
    step.fault = makeFault(weighted.at(rng.bounded(int(weighted.size()))), rng);
    if (rng.generateDouble() < actionChance)
        step.action = allActions[rng.bounded(int(std::size(allActions)))];
    step.moment = Moment(rng.bounded(3));
    step.secondGame =
        firstGame + (step.game - firstGame + 1 + rng.bounded(lastGame - firstGame)) % (lastGame - firstGame + 1);
    step.portalPage = portalPages.at(rng.bounded(int(portalPages.size())));
    step.pick = rng.generate();
    step.deleteSame = rng.bounded(2) == 0;
    return step;
}

// ---- the window ----

WindowSession::WindowSession(const QString &appFolder, const QUrl &server)
{
    config.appFolder = appFolder;
    config.serverUrl = server;
    config.siteUrl = QUrl(QStringLiteral("http://127.0.0.1:1/site.htm"));
    config.ruffleFolder = QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("ruffle"));
    library = std::make_unique<Library>(config.dataDir());
    window = std::make_unique<Form1>(std::make_unique<AppSession>(config, library.get(), &network, &messages, &opener));
}

WindowSession::~WindowSession() = default;

bool WindowSession::start(const std::function<void()> &afterLoad, int timeoutMs)
{
    QSignalSpy shown(window.get(), &Form1::startupFinished);
    QSignalSpy ended(window.get(), &Form1::ended);
    window->Form_Load();
    if (afterLoad)
        afterLoad();
    return QTest::qWaitFor([&] { return shown.count() + ended.count() > 0; }, timeoutMs) && shown.count() > 0;
}

// ---- the driver ----

Driver::Driver(WindowSession &session, const CleanFiles &clean, const QUrl &server, Guards guards)
    : m_session(session), m_window(session.window.get()), m_clean(clean), m_server(server), m_guards(std::move(guards))
{
    watchRenderers();
}

void Driver::watchRenderers()
{
    // Players make their views when first shown: every step looks for new ones.
    QList<QWebEngineView *> views = m_window->findChildren<QWebEngineView *>();
    views += ui::form2()->findChildren<QWebEngineView *>();
    for (QWebEngineView *view : views) {
        QWebEnginePage *page = view->page();
        if (page->property("soakWatched").toBool())
            continue;
        page->setProperty("soakWatched", true);
        QObject::connect(page, &QWebEnginePage::renderProcessTerminated, view,
                         [this, view](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                             if (status == QWebEnginePage::NormalTerminationStatus)
                                 return;
                             ++m_renderCrashes;
                             qWarning("soak: the renderer of %s ended abnormally (status %d, code %d)",
                                      qPrintable(view->objectName()), int(status), code);
                         });
    }
}

QUrl Driver::gameUrl(int id, const QString &query) const
{
    QString relative = QStringLiteral("game.asp?id=%1").arg(id);
    if (!query.isEmpty())
        relative += QLatin1Char('&') + query;
    return m_server.resolved(QUrl(relative));
}

bool Driver::idle() const
{
    if (m_window->isDownloading() || !m_window->findChildren<MovieDownload *>().isEmpty())
        return false;
    QList<QNetworkReply *> replies = m_session.network.findChildren<QNetworkReply *>();
    replies += m_window->findChildren<QNetworkReply *>();
    return std::all_of(replies.begin(), replies.end(), [](QNetworkReply *r) { return r->isFinished(); });
}

void Driver::checkGuards(StepReport &report, const Fault &fault)
{
    if (!report.guardHits.isEmpty())
        return; // one hit a step: its connections are cut
    QString hit;
    const qint64 rss = residentBytes();
    if (rss > m_peakRss) {
        m_peakRss = rss;
        m_peakStep = m_steps;
    }
    const qint64 growth = rss - m_startRss;
    if (growth > m_guards.maxGrowthBytes)
        hit = QStringLiteral("memory grew by %1 MiB (%2)").arg(growth >> 20).arg(residentKinds());
    qint64 writing = 0;
    for (const QString &open : openFilesUnderFolder()) {
        if (open.contains(QLatin1String("(deleted)")) || open.contains(QLatin1Char('#')) ||
            !m_clean.isMovieName(QFileInfo(open.section(QLatin1Char(' '), 0, 0)).fileName()))
            writing += open.section(QLatin1Char(' '), -1).toLongLong();
    }
    if (writing > m_guards.maxTemporaryBytes)
        hit = QStringLiteral("files being written hold %1 MiB").arg(writing >> 20);
    if (hit.isEmpty())
        return;
    // The transfers still open, and what each holds unread: where the memory goes.
    QList<QNetworkReply *> replies = m_session.network.findChildren<QNetworkReply *>();
    replies += m_window->findChildren<QNetworkReply *>();
    QStringList open;
    for (QNetworkReply *reply : replies) {
        if (!reply->isFinished())
            open << QStringLiteral("%1 (%2 bytes unread)").arg(reply->url().toString()).arg(reply->bytesAvailable());
    }
    report.guardHits << QStringLiteral("%1 under %2; open transfers: %3; the harness cut the connections")
                            .arg(hit, fault.kind, open.join(QLatin1String(", ")));
    if (m_guards.cutConnections)
        m_guards.cutConnections();
}

StepReport Driver::run(const Step &step, int timeoutMs)
{
    StepReport report;
    watchRenderers();
    Form1 *f = m_window;
    GameAcquisition *acquisition = ui::acquisition(f);
    GameStore store(m_session.config.appFolder);
    const auto recorded = [&](int id) {
        return store.open_db() && store.hasGameId(QString::number(id)).value_or(false);
    };
    const bool recordedBefore = recorded(step.game);
    const int messagesBefore = m_session.messages.shown.size();
    m_startRss = residentBytes();
    ++m_steps;

    struct Seen
    {
        int details = 0, refused = 0;
        QString lastId;
        std::optional<AcquisitionResult::Status> last; // of the game announced last
        bool progress = false, movie = false;
    } seen;
    QObject scope;
    QObject::connect(acquisition, &GameAcquisition::detailsArrived, &scope, [&](const GameDetails &game) {
        ++seen.details;
        seen.lastId = game.gameId;
        seen.last.reset();
        seen.progress = seen.movie = false;
    });
    QObject::connect(acquisition, &GameAcquisition::progress, &scope,
                     [&](qint64 written, std::optional<qint64>) { seen.progress = seen.progress || written > 0; });
    QObject::connect(acquisition, &GameAcquisition::movieArrived, &scope, [&] { seen.movie = true; });
    QObject::connect(acquisition, &GameAcquisition::finished, &scope, [&](const AcquisitionResult &result) {
        if (result.status == AcquisitionResult::Status::NoGame)
            ++seen.refused;
        else if (result.game.gameId == seen.lastId)
            seen.last = result.status;
    });

    int links = 1;
    bool libraryOpened = false;
    f->Web_V2_NewWindow(gameUrl(step.game, step.fault.query));

    QElapsedTimer guardClock;
    guardClock.start();
    const auto waitUntil = [&](const std::function<bool()> &done, int ms) {
        return QTest::qWaitFor(
            [&] {
                if (guardClock.elapsed() >= 100) {
                    guardClock.restart();
                    checkGuards(report, step.fault);
                }
                return done();
            },
            ms);
    };
    const auto settled = [&] {
        return links == seen.details + seen.refused && (seen.details == 0 || seen.last.has_value()) && idle();
    };
    const auto momentCame = [&] {
        switch (step.moment) {
        case Moment::Details:
            return seen.details > 0;
        case Moment::Progress:
            return seen.progress || seen.movie;
        case Moment::Movie:
            return seen.movie;
        }
        return false;
    };

    const auto act = [&] {
        switch (step.action) {
        case Action::None:
            return;
        case Action::SecondLink:
            ++links;
            f->Web_V2_NewWindow(gameUrl(step.secondGame, QString()));
            report.actionTaken = true;
            break;
        case Action::LeavePanel:
            f->Web_V1_NewWindow(m_server.resolved(QUrl(step.portalPage)));
            report.actionTaken = true;
            break;
        case Action::OpenLibrary:
        case Action::DeleteGame: {
            libraryOpened = true;
            f->b_local_Click();
            report.actionTaken = step.action == Action::OpenLibrary;
            if (step.action != Action::DeleteGame || f->currentPane() != Form1::Pane::Library)
                break;
            LibraryPanel *library = ui::game_main(f);
            const int games = library->model()->rowCount() - 1;
            if (games <= 0)
                break;
            int row = 1 + int(step.pick % quint32(games));
            const auto rows = store.open_db() ? store.gamesNewestFirst() : std::nullopt;
            for (int i = 0; step.deleteSame && rows && i < rows->size() && i < games; ++i) {
                if (rows->at(i).gameId == QString::number(step.game))
                    row = i + 1;
            }
            QTableView *grid = ui::game_list(library);
            const QModelIndex cell = grid->model()->index(row, GameListModel::GameColumn);
            grid->scrollTo(cell);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
            if (ui::Game_Delete(library)->isVisible()) {
                const bool hadGame = recorded(step.game);
                QTest::mouseClick(ui::Game_Delete(library), Qt::LeftButton);
                report.actionTaken = true;
                report.deletedUnderWay = hadGame && !recorded(step.game);
            }
            break;
        }
        case Action::FullScreen: {
            QAction *entry = ui::m_fullscreen(f);
            if (!entry->isEnabled())
                break;
            entry->trigger();
            if (!waitUntil([] { return ui::form2()->isVisible(); }, 10000))
                report.problems << QStringLiteral("full screen did not show");
            ui::form2()->b_exit_Click();
            if (!f->isVisible())
                report.problems << QStringLiteral("the window did not come back from full screen");
            report.actionTaken = true;
            break;
        }
        }
    };

    bool acted = step.action == Action::None;
    if (!acted && waitUntil([&] { return momentCame() || settled(); }, timeoutMs) && !settled()) {
        act();
        acted = true;
    }
    if (!waitUntil(settled, timeoutMs)) {
        report.problems << QStringLiteral("no end after %1 s (pane %2, downloading %3, progress \"%4\")")
                               .arg(timeoutMs / 1000)
                               .arg(int(f->currentPane()))
                               .arg(f->isDownloading())
                               .arg(ui::download_main(f)->lblSpeed->text());
        if (m_guards.cutConnections) {
            m_guards.cutConnections();
            report.stuck = !waitUntil(settled, 45000);
            if (report.stuck)
                report.problems << QStringLiteral("still no end after the server went away");
        }
        report.outcome = Outcome::Hung;
        return report;
    }

    // How it ended, and whether that is what the fault and the action allow.
    if (seen.details == 0)
        report.outcome = Outcome::Refused;
    else if (*seen.last == AcquisitionResult::Status::Installed)
        report.outcome = Outcome::Installed;
    else
        report.outcome = Outcome::Failed;
    const bool second = acted && step.action == Action::SecondLink && links == 2 && seen.details == 2;
    const Expect expect = second ? Expect::Installed : step.fault.expect;
    const int game = second ? step.secondGame : step.game;
    bool allowed = false;
    switch (expect) {
    case Expect::Installed: // also when the user left the panel: the game is recorded in the background
        allowed = report.outcome == Outcome::Installed;
        break;
    case Expect::Failed:
        allowed = report.outcome == Outcome::Failed;
        break;
    case Expect::Refused:
        allowed = report.outcome == Outcome::Refused;
        break;
    }
    static const char *expected[] = {"installed", "failed", "refused"};
    // Once the harness cut the connections, every transfer of the step failed because of it.
    if (!allowed && report.guardHits.isEmpty())
        report.problems << QStringLiteral("%1 ended %2, expected %3")
                               .arg(step.fault.kind, outcomeName(report.outcome), QLatin1String(expected[int(expect)]));
    // A game the user deleted while it came again stays deleted: its row, and the movie just put in its place.
    if (report.outcome == Outcome::Installed && !recorded(game) && !report.deletedUnderWay)
        report.problems << QStringLiteral("game %1 installed but not in the library").arg(game);
    if (report.outcome == Outcome::Failed) {
        if (ui::download_main(f)->lblSpeed->text() != QLatin1String("Download failed"))
            report.problems
                << QStringLiteral("a failed download shows \"%1\"").arg(ui::download_main(f)->lblSpeed->text());
        if (!recordedBefore && recorded(game))
            report.problems << QStringLiteral("game %1 failed but was recorded").arg(game);
    }

    if (!acted) {
        report.actionLate = true;
        act();
        if (links == 2 && !waitUntil(settled, timeoutMs))
            report.problems << QStringLiteral("the second game did not end");
        else if (links == 2 && seen.last != AcquisitionResult::Status::Installed)
            report.problems << QStringLiteral("the second game (%1) was not installed").arg(step.secondGame);
        waitUntil([&] { return idle(); }, timeoutMs);
    }

    // Only the messages this step calls for.
    for (int i = messagesBefore; i < m_session.messages.shown.size(); ++i) {
        const QString text = m_session.messages.shown.at(i).second;
        const bool fits =
            (text == Form1::noGameMessage() && seen.refused > 0) || (text == Form1::noGamesMessage() && libraryOpened);
        if (!fits)
            report.problems << QStringLiteral("unexpected message \"%1\"").arg(text.left(100));
    }
    return report;
}

bool Driver::toPortal()
{
    const QUrl main = m_server.resolved(QUrl(QStringLiteral("main.htm")));
    m_window->Web_V1_NewWindow(main);
    WebBrowser *browser = ui::main_web(m_window);
    return QTest::qWaitFor(
        [&] { return browser->url() == main && browser->ReadyState() == WebBrowser::Complete && idle(); }, 30000);
}

QStringList Driver::openFilesUnderFolder() const
{
    const QString folder = QFileInfo(m_session.config.appFolder).canonicalFilePath() + QLatin1Char('/');
    QStringList out;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System);
    for (const QString &fd : fds) {
        const QString path = QStringLiteral("/proc/self/fd/") + fd;
        const QString target = readLink(path);
        const QString relative = target.startsWith(folder) ? target.mid(folder.size()) : QString();
        if (relative.startsWith(QLatin1String("flash/")) || relative.startsWith(QLatin1String("pic/")))
            out << QStringLiteral("%1 %2").arg(relative).arg(QFileInfo(path).size());
    }
    return out;
}

QStringList Driver::folderProblems()
{
    QStringList problems;
    const QDir app(m_session.config.appFolder);
    // A game still unfinished in the queue (failed ones too) keeps what came of its movie to resume from: the
    // partial and its description, named by its id (the catalogue's ids are plain numbers, kept as they are).
    QStringList partials;
    for (const QueuedGame &queued : ui::acquisition(m_window)->queue()->games()) {
        if (queued.isUnfinished() && queued.game)
            partials << QStringLiteral(".partial-") + queued.game->gameId
                     << QStringLiteral(".partial-%1.json").arg(queued.game->gameId);
    }
    for (const QString &name : testfiles::filesIn(app.filePath(QStringLiteral("flash")))) {
        const std::optional<QByteArray> clean = m_clean.movie(name);
        if (partials.contains(name))
            continue;
        if (!clean)
            problems << QStringLiteral("flash/%1 is no game's movie (a temporary file left behind?)").arg(name);
        else if (testfiles::contentOf(app.filePath(QStringLiteral("flash/") + name)) != *clean)
            problems << QStringLiteral("flash/%1 differs from the movie the server serves").arg(name);
    }
    for (const QString &name : testfiles::filesIn(app.filePath(QStringLiteral("pic")))) {
        if (!m_clean.isPictureName(name))
            problems << QStringLiteral("pic/%1 is no game's picture (a temporary file left behind?)").arg(name);
    }
    GameStore store(m_session.config.appFolder);
    const auto rows = store.open_db() ? store.gamesNewestFirst() : std::nullopt;
    if (!rows)
        problems << QStringLiteral("the library cannot be read");
    for (const GameRecord &row : rows.value_or(QVector<GameRecord>())) {
        if (!QFileInfo(store.moviePath(row.movieFile)).isFile())
            problems << QStringLiteral("row %1 (game %2) names the missing movie %3")
                            .arg(row.id)
                            .arg(row.gameId, row.movieFile);
    }
    for (const QString &open : openFilesUnderFolder()) {
        const QString name = QFileInfo(open.section(QLatin1Char(' '), 0, 0)).fileName();
        if (open.contains(QLatin1String("(deleted)")) || !(m_clean.isMovieName(name) || m_clean.isPictureName(name)))
            problems << QStringLiteral("still open while nothing runs: %1").arg(open);
    }
    return problems;
}

QStringList Driver::picturesNotAsServed() const
{
    QStringList out;
    const QDir pic(QDir(m_session.config.appFolder).filePath(QStringLiteral("pic")));
    for (const QString &name : testfiles::filesIn(pic.path())) {
        const std::optional<QByteArray> clean = m_clean.picture(name);
        if (clean && testfiles::contentOf(pic.filePath(name)) != *clean)
            out << name;
    }
    return out;
}

// ---- measurements ----

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

QString residentKinds()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QString();
    QStringList kinds;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:") || line.startsWith("RssFile:") || line.startsWith("RssShmem:"))
            kinds << QStringLiteral("%1 %2 MiB")
                         .arg(QString::fromLatin1(line.mid(3, line.indexOf(':') - 3).toLower()))
                         .arg(line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong() / 1024);
    }
    return kinds.join(QLatin1String(", "));
}

QStringList snapshotOutside(const QString &folder, const QStringList &leftOut)
{
    QStringList out;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = root.relativeFilePath(it.filePath());
        if (leftOut.contains(relative.section(QLatin1Char('/'), 0, 0)))
            continue;
        out << QStringLiteral("%1 %2 %3")
                   .arg(relative)
                   .arg(it.fileInfo().size())
                   .arg(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

QString integrityCheck(const QString &libraryPath)
{
    const SqlCipherCli cli = SqlCipherCli::run(libraryPath, QStringLiteral("PRAGMA integrity_check;\n"));
    const QString out = cli.out.trimmed();
    return cli.exitCode == 0 ? out
                             : QStringLiteral("%1 (exit %2: %3)").arg(out).arg(cli.exitCode).arg(cli.err.trimmed());
}

} // namespace soak
