#pragma once

// What the soak and the crash test share: the files the server really serves, the faults it can be asked
// for, the main window on an application folder, and one driver that takes the window through one game
// acquisition with a user action in the middle and tells how it ended.

#include "base/appconfig.h"
#include "base/library/library.h"
#include "base/portal/answers.h"
#include "recordingmessagebox.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class Form1;
class PortalServer;

namespace soak {

constexpr int firstGame = 1;
constexpr int lastGame = 11;

// Sets what the window needs to run headless here when the caller did not (the same as the test runs).
void prepareEnvironment();

// The files the server serves for each catalogue game without a fault: what a stored game must equal.
class CleanFiles
{
public:
    bool load(QNetworkAccessManager &network, const QUrl &server, QString *error);

    std::optional<QByteArray> movie(const QString &name) const;
    std::optional<QByteArray> picture(const QString &name) const;
    // Names the program may keep in flash/ and pic/ (the advertisements live in pic/ too).
    bool isMovieName(const QString &name) const { return m_movies.contains(name); }
    bool isPictureName(const QString &name) const { return m_pictures.contains(name) || m_adverts.contains(name); }

private:
    QHash<QString, QByteArray> m_movies;
    QHash<QString, QByteArray> m_pictures;
    QStringList m_adverts;
};

// How an acquisition should end when nothing interrupts it.
enum class Expect
{
    Installed,
    Failed,  // "Download failed"
    Refused, // "This game doesn't exsit."
};

struct Fault
{
    QString kind;  // as counted: "none", "movie:short", "details:endless", ...
    QString query; // what it adds to game.asp?id=N
    Expect expect = Expect::Installed;
};

// Every fault kind, in the order they are counted, and one fault of a kind with its random parameters.
QStringList faultKinds();
Fault makeFault(const QString &kind, QRandomGenerator &rng);

enum class Action
{
    None,
    SecondLink,  // another game's link while the first is under way
    LeavePanel,  // a portal link of the left column
    OpenLibrary, // the library button
    DeleteGame,  // the library, a row, "Delete"
    FullScreen,  // full screen and back
};
QString actionName(Action action);
constexpr Action allActions[] = {Action::SecondLink, Action::LeavePanel, Action::OpenLibrary, Action::DeleteGame,
                                 Action::FullScreen};

// When the action is taken: the game announced, its first bytes in, its movie complete.
enum class Moment
{
    Details,
    Progress,
    Movie,
};

enum class Outcome
{
    Installed,
    Failed,
    Refused,
    Hung,
};
QString outcomeName(Outcome outcome);

struct Step
{
    int game = 1;
    Fault fault;
    Action action = Action::None;
    Moment moment = Moment::Progress;
    int secondGame = 2;      // SecondLink
    QString portalPage;      // LeavePanel
    quint32 pick = 0;        // DeleteGame: which row
    bool deleteSame = false; // DeleteGame: the row of the game under way when it has one

    QString describe() const;
};

// A random step: a game, a fault of the allowed kinds (none weighs three), and an action with chance
// actionChance.
Step randomStep(QRandomGenerator &rng, const QStringList &kinds, double actionChance);

struct StepReport
{
    Outcome outcome = Outcome::Hung;
    bool actionTaken = false;     // the action ran (full screen needs a game to show)
    bool actionLate = false;      // the acquisition had ended before the moment came
    bool deletedUnderWay = false; // the user deleted the row of the game under way
    bool stuck = false;           // it did not end even after the server went away
    QStringList problems;         // what went against the expected behaviour
    QStringList guardHits;        // limits the harness had to enforce itself
};

// Limits the harness enforces when the program does not: an unbounded answer would otherwise fill the
// memory or the disk of the machine.
struct Guards
{
    qint64 maxGrowthBytes = 512LL << 20;   // resident memory of this process above its start
    qint64 maxTemporaryBytes = 64LL << 20; // files the program is writing in its folder
    std::function<void()> cutConnections;  // what ends every transfer (restarting the server)
};

// The main window on an application folder, talking to the server, its messages recorded.
struct WindowSession
{
    WindowSession(const QString &appFolder, const QUrl &server);
    ~WindowSession();
    // Form_Load; afterLoad runs at once when it returns. True when the window was shown.
    bool start(const std::function<void()> &afterLoad = {}, int timeoutMs = 90000);

    AppConfig config;
    std::unique_ptr<Library> library;
    QNetworkAccessManager network;
    RecordingMessageBox messages;
    RecordingUrlOpener opener;
    std::unique_ptr<Form1> window;
};

// Takes the window through steps and checks what each left behind.
class Driver
{
public:
    Driver(WindowSession &session, const CleanFiles &clean, const QUrl &server, Guards guards);

    StepReport run(const Step &step, int timeoutMs);
    // Goes back to the portal's main page and waits for it (a comparable state to measure memory in).
    bool toPortal();

    // What the folder holds that it should not: files that are no catalogue file (temporary ones, but for the
    // partials of games still unfinished in the download queue), stored movies that differ from the server's, rows
    // naming a missing movie, temporary files still open.
    QStringList folderProblems();
    // Pictures that differ from the server's (a picture fault may leave one); not a failure of its own.
    QStringList picturesNotAsServed() const;
    // Files in flash/ and pic/ the process holds open, as /proc shows them: "flash/NAME SIZE"; a file being
    // written shows as "flash/#INODE (deleted)" when it has no name yet.
    QStringList openFilesUnderFolder() const;
    int renderCrashes() const { return m_renderCrashes; }
    // The highest resident memory of this process seen while steps ran (sampled every 100 ms), and the step.
    qint64 peakResidentBytes() const { return m_peakRss; }
    int peakStep() const { return m_peakStep; }

    QUrl gameUrl(int id, const QString &query) const;

private:
    void watchRenderers();
    bool idle() const;
    void checkGuards(StepReport &report, const Fault &fault);

    WindowSession &m_session;
    Form1 *m_window;
    const CleanFiles &m_clean;
    QUrl m_server;
    Guards m_guards;
    qint64 m_startRss = 0;
    qint64 m_peakRss = 0;
    int m_peakStep = 0;
    int m_steps = 0;
    int m_renderCrashes = 0;
};

// Resident memory of this process, in bytes.
qint64 residentBytes();
// Where it lies: "anon A MiB, file F MiB, shmem S MiB" (heaps, mapped files, memory shared with the renderers).
QString residentKinds();
// Every file under folder with size and modification time, leaving out the given top-level entries.
QStringList snapshotOutside(const QString &folder, const QStringList &leftOut);
// The library's own integrity check through the cipher's command-line tool ("ok" when whole).
QString integrityCheck(const QString &libraryPath);

} // namespace soak
