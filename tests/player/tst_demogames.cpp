// Every demo game the build delivers plays in the real player: it loads without Ruffle's error panel, its
// title screen moves by itself, and it answers the user. One game's best score outlives the player.

#include "player/flashplayer.h"
#include "player/playerprofile.h"
#include "playertestmain.h"
#include "portalserver.h"
#include "testappfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kStartTimeout = 60000; // a cold renderer compiles Ruffle's wasm first
constexpr int kLoadTimeout = 20000;
constexpr int kMovesWithinMs = 1000;
constexpr int kInputAtMs = 300;
// When every run of a game is looked at, counted from its first frame: after the input had time to start
// the game.
const std::vector<int> kLookAtMs = {600, 700, 800, 900, 1000};
constexpr int kChannelTolerance = 8; // identical frames read back identical; a dimmed backdrop differs by more
constexpr int kBestScoreTimeoutMs = 60000;

bool differs(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) > kChannelTolerance || qAbs(qGreen(a) - qGreen(b)) > kChannelTolerance ||
           qAbs(qBlue(a) - qBlue(b)) > kChannelTolerance;
}

// How many pixels of a and b differ, only where mask is set if one is given. Pictures of one size only.
int changedPixels(const QImage &a, const QImage &b, const std::vector<bool> *mask = nullptr)
{
    int changed = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            changed += (!mask || (*mask)[size_t(y * a.width() + x)]) && differs(pa[x], pb[x]);
    }
    return changed;
}

// The pixels that are the same in every one of frames: a title screen's still parts, its moving ones left out.
std::vector<bool> stillPixels(const std::vector<QImage> &frames)
{
    const QImage &first = frames.front();
    std::vector<bool> mask(size_t(first.width() * first.height()), true);
    for (const QImage &frame : frames) {
        for (int y = 0; y < first.height(); ++y) {
            const auto *pa = reinterpret_cast<const QRgb *>(first.constScanLine(y));
            const auto *pb = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
            for (int x = 0; x < first.width(); ++x) {
                if (differs(pa[x], pb[x]))
                    mask[size_t(y * first.width() + x)] = false;
            }
        }
    }
    return mask;
}

// Reads an AMF value at data[at]: the integer, double or boolean markers of AMF3 and AMF0.
std::optional<double> amfNumber(const QByteArray &data, int at, bool amf3)
{
    if (at >= data.size())
        return std::nullopt;
    const quint8 marker = quint8(data[at]);
    const auto doubleAt = [&](int from) -> std::optional<double> {
        if (from + 8 > data.size())
            return std::nullopt;
        quint64 bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = bits << 8 | quint8(data[from + i]);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    if (amf3) {
        if (marker == 0x04) { // a signed 29-bit integer, seven bits a byte but eight in the fourth
            quint32 value = 0;
            for (int i = 0; i < 4 && at + 1 + i < data.size(); ++i) {
                const quint8 byte = quint8(data[at + 1 + i]);
                const bool last = i == 3 || !(byte & 0x80);
                value = i == 3 ? value << 8 | byte : value << 7 | (byte & 0x7F);
                if (last)
                    return i == 3 && (value & 0x10000000) ? double(qint64(value) - 0x20000000) : double(value);
            }
            return std::nullopt;
        }
        if (marker == 0x05)
            return doubleAt(at + 1);
        if (marker == 0x02 || marker == 0x03)
            return marker == 0x03 ? 1 : 0;
        return std::nullopt;
    }
    if (marker == 0x00)
        return doubleAt(at + 1);
    return std::nullopt;
}

// The number a shared object keeps under key, from the bytes of its local shared object file (.sol): a
// header, the object's name, then each property's name and value, in AMF3 or AMF0.
std::optional<double> solNumber(const QByteArray &sol, const QByteArray &key)
{
    if (sol.size() < 18 || quint8(sol[0]) != 0x00 || quint8(sol[1]) != 0xBF || sol.mid(6, 4) != "TCSO")
        return std::nullopt;
    const int nameLength = quint8(sol[16]) << 8 | quint8(sol[17]);
    const int versionAt = 18 + nameLength + 3;
    if (versionAt >= sol.size())
        return std::nullopt;
    const bool amf3 = sol[versionAt] == 3;
    const QByteArray name = amf3 ? char(key.size() << 1 | 1) + key
                                 : QByteArray(1, '\0') + char(key.size()) + key;
    const int at = sol.indexOf(name, versionAt + 1);
    return at < 0 ? std::nullopt : amfNumber(sol, at + int(name.size()), amf3);
}

QString builtGame(const QString &name)
{
    return QDir(PortalServer::gamesFolder()).filePath(name + QStringLiteral(".swf"));
}

} // namespace

class TestDemoGames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyGamePlaysAndAnswers_data();
    void everyGamePlaysAndAnswers();
    void bestScoreOutlivesThePlayer_data();
    void bestScoreOutlivesThePlayer();

private:
    // Copies a built game into the application's flash folder; its path there.
    QString installGame(const QString &name);
    // Loads movie in player and waits for its first frame; the clock then runs from that frame.
    bool start(FlashPlayer *player, const QString &movie, QElapsedTimer *clock);
    // Plays movie from its start, with a click and Space at kInputAtMs when input is set: the pictures at
    // kLookAtMs and, when moved is given, the time the picture first changed (-1: never).
    bool play(FlashPlayer *player, const QString &movie, bool input, std::vector<QImage> *looks, int *moved);
    static QImage shot(FlashPlayer *player);
    // "ok", or what is wrong with the page: Ruffle's player gone (it panicked) or its error panel shown.
    static QString pageState(FlashPlayer *player);
    static void clickCentre(FlashPlayer *player);
    static void pressKey(FlashPlayer *player, Qt::Key key);
    // The best score the game `name` keeps in its shared object, read from the local storage of the player's page.
    static std::optional<double> storedBest(FlashPlayer *player, const QString &name);

    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<PlayerProfile> m_profile;
    std::unique_ptr<FlashPlayer> m_player;
};

void TestDemoGames::initTestCase()
{
    m_app = std::make_unique<TestAppFolder>();
    QVERIFY(m_app->isValid());
    QVERIFY(QDir(m_app->path()).mkpath(QStringLiteral("flash")));
    m_profile = std::make_unique<PlayerProfile>(m_app->path(), m_app->config().ruffleDir());
    m_player = std::make_unique<FlashPlayer>(m_profile.get());
    // The stage at 60 %: big enough to show text, small enough to read back quickly.
    m_player->resize(330, 240);
    m_player->setMenu(false);
    m_player->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_player.get()));
}

void TestDemoGames::cleanupTestCase()
{
    m_player.reset();
    m_profile.reset();
}

QString TestDemoGames::installGame(const QString &name)
{
    const QString target = m_app->filePath(QStringLiteral("flash/") + name + QStringLiteral(".swf"));
    if (!QFile::exists(target) && !QFile::copy(builtGame(name), target))
        return {};
    return target;
}

bool TestDemoGames::start(FlashPlayer *player, const QString &movie, QElapsedTimer *clock)
{
    QSignalSpy started(player, &FlashPlayer::movieStarted);
    player->setMovie(movie);
    static bool warm = false;
    if (!started.wait(warm ? kLoadTimeout : kStartTimeout) && started.isEmpty())
        return false;
    warm = true;
    clock->start();
    return true;
}

bool TestDemoGames::play(FlashPlayer *player, const QString &movie, bool input, std::vector<QImage> *looks,
                         int *moved)
{
    QElapsedTimer clock;
    if (!start(player, movie, &clock))
        return false;
    const QImage first = shot(player);
    bool inputGiven = !input;
    looks->clear();
    while (looks->size() < kLookAtMs.size()) {
        const int now = int(clock.elapsed());
        const int look = kLookAtMs[looks->size()];
        if (!inputGiven && now >= kInputAtMs) {
            clickCentre(player);
            pressKey(player, Qt::Key_Space);
            inputGiven = true;
        } else if (now >= look) {
            looks->push_back(shot(player));
        } else {
            if (moved && *moved < 0 && changedPixels(first, shot(player)) > 0)
                *moved = int(clock.elapsed());
            const int due = inputGiven ? look : std::min(look, kInputAtMs);
            QTest::qWait(std::clamp(due - int(clock.elapsed()), 1, 50));
        }
    }
    if (moved && *moved < 0 && changedPixels(first, looks->back()) > 0)
        *moved = kLookAtMs.back();
    return true;
}

QImage TestDemoGames::shot(FlashPlayer *player)
{
    return player->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QString TestDemoGames::pageState(FlashPlayer *player)
{
    return evaluate(player, QStringLiteral("(function () { const stage = document.getElementById('stage');"
                                           " if (!stage || stage.childElementCount !== 1) return 'no player';"
                                           " const root = stage.firstElementChild.shadowRoot;"
                                           " return root && root.getElementById('panic') ? 'error panel' : 'ok';"
                                           " })()"))
        .toString();
}

void TestDemoGames::clickCentre(FlashPlayer *player)
{
    QWidget *input = player->view()->focusProxy();
    const QPoint centre(input->width() / 2, input->height() / 2);
    QTest::mouseMove(input, centre);
    QTest::mousePress(input, Qt::LeftButton, {}, centre);
    QTest::mouseRelease(input, Qt::LeftButton, {}, centre);
}

void TestDemoGames::pressKey(FlashPlayer *player, Qt::Key key)
{
    QWidget *input = player->view()->focusProxy();
    QTest::keyPress(input, key);
    QTest::qWait(40); // held for a frame or so, as a finger would
    QTest::keyRelease(input, key);
}

std::optional<double> TestDemoGames::storedBest(FlashPlayer *player, const QString &name)
{
    // Ruffle keeps each shared object under a key that holds the movie's address and the object's name.
    const QString script = QStringLiteral("(function (needle) { const out = {};"
                                          " for (let i = 0; i < localStorage.length; ++i) {"
                                          "   const key = localStorage.key(i);"
                                          "   if (key.endsWith(needle)) out[key] = localStorage.getItem(key); }"
                                          " return JSON.stringify(out); })('/flash/%1.swf/%1')")
                               .arg(name);
    const QJsonObject entries = QJsonDocument::fromJson(evaluate(player, script).toString().toUtf8()).object();
    for (const QJsonValue &value : entries) {
        const QByteArray raw = value.toString().toLatin1();
        for (const QByteArray &sol : {QByteArray::fromBase64(raw), raw}) {
            if (const auto best = solNumber(sol, "best"))
                return best;
        }
    }
    return std::nullopt;
}

void TestDemoGames::everyGamePlaysAndAnswers_data()
{
    QTest::addColumn<QString>("name");
    const QStringList movies =
        QDir(PortalServer::gamesFolder()).entryList({QStringLiteral("*.swf")}, QDir::Files, QDir::Name);
    QVERIFY2(!movies.isEmpty(), qPrintable(PortalServer::gamesFolder() + QStringLiteral(" holds no game")));
    for (const QString &movie : movies)
        QTest::newRow(qPrintable(movie.chopped(4))) << movie.chopped(4);
}

void TestDemoGames::everyGamePlaysAndAnswers()
{
    QFETCH(QString, name);
    const QString movie = installGame(name);
    QVERIFY(!movie.isEmpty());
    FlashPlayer *player = m_player.get();

    // Left alone, twice: the title screen moves within a second.
    std::vector<QImage> alone, again;
    int moved = -1;
    QVERIFY2(play(player, movie, false, &alone, &moved), "the game never showed a frame");
    QCOMPARE(pageState(player), QStringLiteral("ok"));
    QVERIFY2(moved >= 0 && moved <= kMovesWithinMs, "the picture stood still for a second after the game started");
    QVERIFY2(play(player, movie, false, &again, nullptr), "the game never showed a frame when started again");
    // What neither time nor chance changed in the two runs: the still parts of the title screen.
    std::vector<QImage> both = alone;
    both.insert(both.end(), again.begin(), again.end());
    const std::vector<bool> still = stillPixels(both);

    // With a click and Space a moment after the start, the game starts and much of that changes.
    std::vector<QImage> played;
    QVERIFY2(play(player, movie, true, &played, nullptr), "the game never showed a frame when started for input");
    QCOMPARE(pageState(player), QStringLiteral("ok"));
    int fromAlone = 0, fromAgain = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        fromAlone = std::max(fromAlone, changedPixels(alone[i], played[i], &still));
        fromAgain = std::max(fromAgain, changedPixels(again[i], played[i], &still));
    }
    const int answered = std::min(fromAlone, fromAgain);
    // Title screens that move at random change a few per cent between runs; a game that starts, far more.
    const int enough = played.front().width() * played.front().height() * 12 / 100;
    QVERIFY2(answered >= enough, qPrintable(QStringLiteral("a click and Space changed only %1 of %2 still pixels")
                                                .arg(answered)
                                                .arg(std::count(still.begin(), still.end(), true))));
}

void TestDemoGames::bestScoreOutlivesThePlayer_data()
{
    QTest::addColumn<QString>("name");
    // Games that score by themselves on Space alone: each press drops the falling piece to the bottom of the
    // well until it is full; the launched ball scores on the wall of bricks and, with nobody at the paddle, is
    // lost in the end. A press after the game is over starts the next round.
    QTest::newRow("blocks") << QStringLiteral("blocks");
    QTest::newRow("brickbreaker") << QStringLiteral("brickbreaker");
}

// The best score a game keeps in its shared object is there again for a new player of a new profile.
void TestDemoGames::bestScoreOutlivesThePlayer()
{
    QFETCH(QString, name);
    if (!QFile::exists(builtGame(name)))
        QSKIP("the build delivers no such game");
    const QString movie = installGame(name);
    QVERIFY(!movie.isEmpty());
    const QString saves = m_app->filePath(QStringLiteral("saves-") + name);
    std::optional<double> best;
    {
        PlayerProfile profile(m_app->path(), m_app->config().ruffleDir(), saves);
        QVERIFY(profile.keepsSaves());
        FlashPlayer player(&profile);
        player.resize(330, 240);
        player.show();
        QElapsedTimer clock;
        QVERIFY(start(&player, movie, &clock));
        clickCentre(&player);
        QElapsedTimer playing;
        playing.start();
        while (!(best = storedBest(&player, name)).has_value() || *best <= 0) {
            QVERIFY2(playing.elapsed() < kBestScoreTimeoutMs, "no best score was kept within a minute");
            pressKey(&player, Qt::Key_Space);
            QTest::qWait(250);
        }
        QCOMPARE(pageState(&player), QStringLiteral("ok"));
    }
    PlayerProfile again(m_app->path(), m_app->config().ruffleDir(), saves);
    FlashPlayer player(&again);
    player.resize(330, 240);
    player.show();
    QElapsedTimer clock;
    QVERIFY(start(&player, movie, &clock));
    QCOMPARE(storedBest(&player, name), best);
}

QUILLABRIX_PLAYER_TEST_MAIN(TestDemoGames)
#include "tst_demogames.moc"
