// The player's URL scheme over a real application folder full of symbolic links that lead out of it: whatever
// URL comes in, a file it serves is the placeholder movie, a file in flash/ or pic/, a Ruffle asset, or one of
// the player page's resources, once every link is followed.
//
// Input: text (see fuzz::text), used four ways: as a whole URL, as a URL relative to qbplayer://app/, as the
// decoded path of such a URL, and as a file path handed to urlForFile.

#include "fuzzsupport.h"
#include "player/playerschemehandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// One handler and the places it may serve from, as canonical paths.
struct Served
{
    std::unique_ptr<PlayerSchemeHandler> handler;
    QString appFolder;   // as the handler was given it
    QStringList folders; // anything below these
    QStringList files;   // exactly these
};

QTemporaryDir *root = nullptr;
std::vector<Served> served;

// Where a path can lead once links are followed, as canonical paths, most specific first (filled in with the
// fixture); two more places follow them: anywhere else, and nowhere (a missing file, a loop).
QStringList places;
constexpr int kPlaces = 13;

// libFuzzer counts these as coverage (its extra counters): per handler, where the decoded path leads on disk
// and whether it was served. The product takes the same branches wherever a link points, so without them the
// fuzzer would not keep the inputs that reach new places through the links.
__attribute__((section("__libfuzzer_extra_counters"))) uint8_t reached[2][kPlaces][2];

void noteWhereItLeads(size_t handler, const QString &path, bool wasServed)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int place = target.isEmpty() ? kPlaces - 1 : kPlaces - 2;
    for (int i = 0; !target.isEmpty() && i < places.size(); ++i) {
        if (target == places.at(i) || target.startsWith(places.at(i) + QLatin1Char('/'))) {
            place = i;
            break;
        }
    }
    ++reached[handler][place][wasServed ? 1 : 0];
}

QString rootPath(const QString &relative)
{
    return root->filePath(relative);
}

void makeFile(const QString &relative)
{
    const QString path = rootPath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("fuzz fixture\n") < 0)
        fuzz::fail("fixture file written", __FILE__, __LINE__, path);
}

// A symbolic link holding target as written (absolute or relative to the link's folder).
void makeLink(const QString &relative, const QString &target)
{
    const QString path = rootPath(relative);
    QDir().mkpath(QFileInfo(path).path());
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) != 0)
        fuzz::fail("fixture link made", __FILE__, __LINE__, path + QStringLiteral(" -> ") + target);
}

QString canonical(const QString &relative)
{
    return QFileInfo(rootPath(relative)).canonicalFilePath();
}

void makeFixture()
{
    // Outside every application folder.
    for (const char *name : {"outside/secret.txt", "outside/nogame.swf", "outside/evil.js", "outside/dir/deep.swf"})
        makeFile(QString::fromLatin1(name));

    // Application folder A, Ruffle inside it (the usual layout).
    for (const char *name : {"app/nogame.swf", "app/QuillabrixGame.dll", "app/flash/game.swf",
                             "app/flash/\u5FEB\u4E50\u65B9\u5757.swf", "app/flash/space name.swf",
                             "app/flash/sub/inner.swf", "app/pic/a.png", "app/pic/b.jpg", "app/ruffle/ruffle.js",
                             "app/ruffle/core.wasm", "app/ruffle/readme.txt", "app/secret/nogame.swf"})
        makeFile(QString::fromUtf8(name));
    makeLink(QStringLiteral("app/flash/to-etc"), QStringLiteral("/etc"));
    makeLink(QStringLiteral("app/flash/to-passwd.swf"), QStringLiteral("/etc/passwd"));
    makeLink(QStringLiteral("app/flash/to-outside.swf"), QStringLiteral("../../outside/secret.txt"));
    makeLink(QStringLiteral("app/flash/to-outside-dir"), QStringLiteral("../../outside/dir"));
    makeLink(QStringLiteral("app/flash/to-library.swf"), QStringLiteral("../QuillabrixGame.dll"));
    makeLink(QStringLiteral("app/flash/to-app"), QStringLiteral(".."));
    makeLink(QStringLiteral("app/flash/to-secret"), QStringLiteral("../secret"));
    makeLink(QStringLiteral("app/flash/to-pic.png"), QStringLiteral("../pic/a.png"));
    makeLink(QStringLiteral("app/flash/dangling.swf"), QStringLiteral("../nowhere.swf"));
    makeLink(QStringLiteral("app/flash/loop"), QStringLiteral("loop"));
    makeLink(QStringLiteral("app/pic/to-root"), QStringLiteral("/"));
    makeLink(QStringLiteral("app/pic/to-flash"), QStringLiteral("../flash"));
    makeLink(QStringLiteral("app/pic/to-tmp"), QStringLiteral("../../.."));
    makeLink(QStringLiteral("app/ruffle/to-passwd.js"), QStringLiteral("/etc/passwd"));
    makeLink(QStringLiteral("app/ruffle/to-library.js"), QStringLiteral("../QuillabrixGame.dll"));
    makeLink(QStringLiteral("app/ruffle/to-outside.wasm"), QStringLiteral("../../outside/evil.js"));
    makeLink(QStringLiteral("app/ruffle/to-flash.js"), QStringLiteral("../flash/game.swf"));

    // Application folder B, reached through a link, with its placeholder pointing out of it, no pic folder
    // and Ruffle kept elsewhere.
    for (const char *name : {"app2/flash/game.swf", "app2/QuillabrixGame.dll", "ruffle-elsewhere/ruffle.js"})
        makeFile(QString::fromLatin1(name));
    makeLink(QStringLiteral("applink"), QStringLiteral("app2"));
    makeLink(QStringLiteral("app2/nogame.swf"), QStringLiteral("../outside/nogame.swf"));
    makeLink(QStringLiteral("app2/flash/up"), QStringLiteral("../.."));
    makeLink(QStringLiteral("app2/flash/to-app-nogame.swf"), QStringLiteral("../../app/nogame.swf"));
    makeLink(QStringLiteral("ruffle-elsewhere/to-app.js"), QStringLiteral("../app/flash/game.swf"));
    makeLink(QStringLiteral("ruffle-elsewhere/to-secret.js"), QStringLiteral("../outside/evil.js"));

    Served a;
    a.appFolder = rootPath(QStringLiteral("app"));
    a.handler = std::make_unique<PlayerSchemeHandler>(a.appFolder, rootPath(QStringLiteral("app/ruffle")));
    a.folders = {canonical(QStringLiteral("app/flash")), canonical(QStringLiteral("app/pic")),
                 canonical(QStringLiteral("app/ruffle"))};
    a.files = {canonical(QStringLiteral("app/nogame.swf"))};
    served.push_back(std::move(a));

    Served b;
    b.appFolder = rootPath(QStringLiteral("applink")) + QLatin1Char('/');
    b.handler = std::make_unique<PlayerSchemeHandler>(b.appFolder, rootPath(QStringLiteral("ruffle-elsewhere")));
    b.folders = {canonical(QStringLiteral("app2/flash")), canonical(QStringLiteral("ruffle-elsewhere"))};
    served.push_back(std::move(b));

    for (const char *place : {"app/flash", "app/pic", "app/ruffle", "app/secret", "app", "app2/flash", "app2",
                              "ruffle-elsewhere", "outside", "."})
        places << canonical(QString::fromLatin1(place));
    places << QStringLiteral("/etc");
    if (places.size() != kPlaces - 2 || places.contains(QString()))
        fuzz::fail("places listed", __FILE__, __LINE__, places.join(QLatin1Char(' ')));
}

QString describe(const QUrl &url)
{
    return fuzz::shown(url.toString(QUrl::FullyEncoded));
}

void checkServed(const Served &where, const QUrl &url, const PlayerSchemeHandler::Resource &resource)
{
    const QString detail = describe(url) + QStringLiteral(" -> ") + fuzz::shown(resource.filePath);
    FUZZ_CHECK(url.scheme() == QLatin1String("qbplayer") && url.host() == QLatin1String("app"), detail);
    FUZZ_CHECK(!resource.mimeType.isEmpty(), detail);
    const QString page = QStringLiteral(":/quillabrix/player/page/");
    if (resource.filePath.startsWith(QLatin1Char(':'))) {
        FUZZ_CHECK(resource.filePath.startsWith(page) && !resource.filePath.mid(page.size()).contains(QLatin1Char('/')),
                   detail);
        FUZZ_CHECK(QFileInfo(resource.filePath).isFile(), detail);
        return;
    }
    const QString file = QFileInfo(resource.filePath).canonicalFilePath();
    FUZZ_CHECK(!file.isEmpty() && QFileInfo(file).isFile(), detail);
    const bool inFolder = std::any_of(where.folders.begin(), where.folders.end(),
                                      [&](const QString &folder) { return file.startsWith(folder + QLatin1Char('/')); });
    FUZZ_CHECK(inFolder || where.files.contains(file), detail + QStringLiteral(" is ") + fuzz::shown(file));
}

bool checkUrl(const Served &where, const QUrl &url)
{
    const auto resource = where.handler->resolve(url);
    if (resource)
        checkServed(where, url, *resource);
    return bool(resource);
}

QUrl playerUrl(const QString &path)
{
    QUrl url;
    url.setScheme(QStringLiteral("qbplayer"));
    url.setHost(QStringLiteral("app"));
    url.setPath(path, QUrl::DecodedMode);
    return url;
}

// The fixture works: real files are served, links out are not. Otherwise the property would hold vacuously.
void checkFixture()
{
    const Served &a = served.front();
    for (const char *path : {"/nogame.swf", "/player.html", "/flash/game.swf", "/flash/space name.swf",
                             "/flash/sub/inner.swf", "/pic/a.png", "/ruffle/ruffle.js", "/ruffle/core.wasm"}) {
        const QUrl url = playerUrl(QString::fromLatin1(path));
        FUZZ_CHECK(a.handler->resolve(url), QStringLiteral("fixture not served: ") + describe(url));
        checkUrl(a, url);
    }
    for (const char *path : {"/flash/to-passwd.swf", "/flash/to-etc/passwd", "/flash/to-outside.swf",
                             "/flash/to-app/QuillabrixGame.dll", "/pic/to-root/etc/passwd", "/ruffle/to-passwd.js",
                             "/QuillabrixGame.dll", "/secret/nogame.swf"}) {
        const QUrl url = playerUrl(QString::fromLatin1(path));
        FUZZ_CHECK(!a.handler->resolve(url), QStringLiteral("served: ") + describe(url));
    }
    const Served &b = served.back();
    FUZZ_CHECK(b.handler->resolve(playerUrl(QStringLiteral("/flash/game.swf"))), QStringLiteral("app B's game"));
    FUZZ_CHECK(!b.handler->resolve(playerUrl(QStringLiteral("/nogame.swf"))), QStringLiteral("app B's placeholder"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/fuzz_schemepath-XXXXXX"));
    if (!root->isValid())
        fuzz::fail("temporary folder made", __FILE__, __LINE__, root->errorString());
    // Removes the fixture when libFuzzer ends normally (links are removed, never followed).
    std::atexit([] {
        served.clear();
        delete root;
    });
    makeFixture();
    checkFixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = fuzz::text(data, size);
    const QUrl whole(input);
    const QUrl relative(QStringLiteral("qbplayer://app/") + input);
    const QUrl decoded = playerUrl(QLatin1Char('/') + input);
    for (size_t i = 0; i < served.size(); ++i) {
        const Served &where = served[i];
        checkUrl(where, whole);
        checkUrl(where, relative);
        noteWhereItLeads(i, where.appFolder + QLatin1Char('/') + input, checkUrl(where, decoded));
        // A URL the handler makes for a file is one it serves.
        const QUrl made = where.handler->urlForFile(input);
        if (!made.isEmpty()) {
            const auto resource = where.handler->resolve(made);
            FUZZ_CHECK(resource, fuzz::shown(input) + QStringLiteral(" made ") + describe(made));
            checkServed(where, made, *resource);
        }
    }
    return 0;
}
