#include "player/playerprofile.h"
#include "player/playerschemehandler.h"
#include "playertestmain.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <memory>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QUrl playerUrl(const QString &encodedPath)
{
    return QUrl(QStringLiteral("qbplayer://app") + encodedPath, QUrl::StrictMode);
}

} // namespace

// The player's scheme serves the page, Ruffle and the library's files, and refuses everything else.
class TestPlayerSchemeHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void resolvesOnlyServedFiles_data();
    void resolvesOnlyServedFiles();
    void mapsProgramPathsToUrls_data();
    void mapsProgramPathsToUrls();
    void servesTheDataFolderApart();
    void servesThroughTheWebEngine_data();
    void servesThroughTheWebEngine();

private:
    QString wasmName() const;

    std::unique_ptr<TestAppFolder> m_app;
    QTemporaryDir m_outside;
    std::unique_ptr<PlayerProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
};

QString TestPlayerSchemeHandler::wasmName() const
{
    const QStringList wasm =
        QDir(m_app->config().ruffleDir()).entryList(QStringList{QStringLiteral("*.wasm")}, QDir::Files);
    return wasm.value(0);
}

void TestPlayerSchemeHandler::initTestCase()
{
    m_app = std::make_unique<TestAppFolder>(TestAppFolder::WithLibrary);
    QVERIFY(m_app->isValid() && m_outside.isValid());
    const QDir app(m_app->path());
    QVERIFY(app.mkpath(QStringLiteral("flash/sub")) && app.mkpath(QStringLiteral("pic")));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("flash/game.swf")), "FWS game"));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("flash/sub/deeper.swf")), "FWS deeper"));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("flash/a #b?c%20.swf")), "FWS odd name"));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("flash/游戏.swf")), "FWS chinese"));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("pic/game.gif")), "GIF89a"));
    QVERIFY(writeFile(m_app->filePath(QStringLiteral("secret.txt")), "not for players"));
    QVERIFY(writeFile(m_outside.filePath(QStringLiteral("outside.swf")), "FWS outside"));
    QVERIFY(QFile::link(m_outside.filePath(QStringLiteral("outside.swf")),
                        m_app->filePath(QStringLiteral("flash/escape.swf"))));
    QVERIFY(QFile::link(m_app->filePath(QStringLiteral("secret.txt")), m_app->filePath(QStringLiteral("pic/up.gif"))));
    QVERIFY(QFile::link(m_app->filePath(QStringLiteral("flash/game.swf")),
                        m_app->filePath(QStringLiteral("flash/alias.swf"))));
    QVERIFY(!wasmName().isEmpty());

    m_profile = std::make_unique<PlayerProfile>(m_app->path(), m_app->config().ruffleDir());
}

void TestPlayerSchemeHandler::cleanupTestCase()
{
    m_page.reset();
    m_profile.reset();
}

void TestPlayerSchemeHandler::resolvesOnlyServedFiles_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("file"); // relative to the application folder; empty when refused
    QTest::addColumn<QByteArray>("mimeType");

    QTest::newRow("page") << playerUrl(QStringLiteral("/player.html")) << QStringLiteral(":page")
                          << QByteArray("text/html");
    QTest::newRow("ruffle") << playerUrl(QStringLiteral("/ruffle/ruffle.js")) << QStringLiteral(":ruffle")
                            << QByteArray("text/javascript");
    QTest::newRow("ruffle wasm") << playerUrl(QStringLiteral("/ruffle/") + wasmName()) << QStringLiteral(":ruffle")
                                 << QByteArray("application/wasm");
    QTest::newRow("movie") << playerUrl(QStringLiteral("/flash/game.swf")) << QStringLiteral("flash/game.swf")
                           << QByteArray("application/x-shockwave-flash");
    QTest::newRow("movie in a subfolder")
        << playerUrl(QStringLiteral("/flash/sub/deeper.swf")) << QStringLiteral("flash/sub/deeper.swf")
        << QByteArray("application/x-shockwave-flash");
    QTest::newRow("encoded name") << playerUrl(QStringLiteral("/flash/a%20%23b%3Fc%2520.swf"))
                                  << QStringLiteral("flash/a #b?c%20.swf")
                                  << QByteArray("application/x-shockwave-flash");
    QTest::newRow("link inside the folder")
        << playerUrl(QStringLiteral("/flash/alias.swf")) << QStringLiteral("flash/game.swf")
        << QByteArray("application/x-shockwave-flash");
    QTest::newRow("picture") << playerUrl(QStringLiteral("/pic/game.gif")) << QStringLiteral("pic/game.gif")
                             << QByteArray("image/gif");
    QTest::newRow("placeholder") << playerUrl(QStringLiteral("/nogame.swf")) << QStringLiteral("nogame.swf")
                                 << QByteArray("application/x-shockwave-flash");
    QTest::newRow("device font") << m_profile->schemeHandler()->fontUrl() << QStringLiteral(":font")
                                 << QByteArray("application/octet-stream");

    const QStringList refused = {
        QStringLiteral("/fonts/"),
        QStringLiteral("/fonts/DejaVuSans.ttf"), // installed too, but not the device font
        QStringLiteral("/QuillabrixGame.dll"),
        QStringLiteral("/secret.txt"),
        QStringLiteral("/flash/../QuillabrixGame.dll"),
        QStringLiteral("/flash/%2e%2e/QuillabrixGame.dll"),
        QStringLiteral("/flash/..%2fsecret.txt"),
        QStringLiteral("/flash/.%2e%5csecret.txt"),
        QStringLiteral("/flash/./game.swf"),
        QStringLiteral("/flash//game.swf"),
        QStringLiteral("/flash/escape.swf"),
        QStringLiteral("/pic/up.gif"),
        QStringLiteral("/flash/missing.swf"),
        QStringLiteral("/flash/"),
        QStringLiteral("/flash"),
        QStringLiteral("/ruffle/LICENSE_MIT"),
    };
    for (const QString &path : refused)
        QTest::addRow("refused %s", qPrintable(path)) << playerUrl(path) << QString() << QByteArray();
    QTest::newRow("refused other host") << QUrl(QStringLiteral("qbplayer://other/player.html")) << QString()
                                        << QByteArray();
    QTest::newRow("refused other scheme") << QUrl(QStringLiteral("file:///etc/passwd")) << QString() << QByteArray();
}

void TestPlayerSchemeHandler::resolvesOnlyServedFiles()
{
    QFETCH(QUrl, url);
    QFETCH(QString, file);
    QFETCH(QByteArray, mimeType);
    const auto resource = m_profile->schemeHandler()->resolve(url);
    if (file.isEmpty()) {
        QVERIFY2(!resource, qPrintable(resource ? resource->filePath : QString()));
        return;
    }
    QVERIFY(resource);
    QCOMPARE(resource->mimeType, mimeType);
    if (file == QLatin1String(":page"))
        QVERIFY(resource->filePath.startsWith(QLatin1Char(':')));
    else if (file == QLatin1String(":font"))
        QCOMPARE(resource->filePath, QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"));
    else if (file == QLatin1String(":ruffle"))
        QVERIFY(resource->filePath.startsWith(QFileInfo(m_app->config().ruffleDir()).canonicalFilePath()));
    else
        QCOMPARE(resource->filePath, QFileInfo(m_app->filePath(file)).canonicalFilePath());
}

void TestPlayerSchemeHandler::mapsProgramPathsToUrls_data()
{
    QTest::addColumn<QString>("path");   // appended to the application folder unless absolute
    QTest::addColumn<QString>("served"); // the file served for the URL, empty for no URL

    QTest::newRow("slashes") << QStringLiteral("/flash/game.swf") << QStringLiteral("flash/game.swf");
    QTest::newRow("backslashes") << QStringLiteral("\\flash\\game.swf") << QStringLiteral("flash/game.swf");
    QTest::newRow("odd name") << QStringLiteral("/flash/a #b?c%20.swf") << QStringLiteral("flash/a #b?c%20.swf");
    QTest::newRow("chinese name") << QStringLiteral("/flash/游戏.swf") << QStringLiteral("flash/游戏.swf");
    QTest::newRow("placeholder") << QStringLiteral("/nogame.swf") << QStringLiteral("nogame.swf");
    QTest::newRow("picture") << QStringLiteral("\\pic\\game.gif") << QStringLiteral("pic/game.gif");
    QTest::newRow("bare flash folder") << QStringLiteral("/flash/") << QString();
    QTest::newRow("missing") << QStringLiteral("/flash/missing.swf") << QString();
    QTest::newRow("climbing out") << QStringLiteral("/flash/../QuillabrixGame.dll") << QString();
    QTest::newRow("climbing out, backslashes") << QStringLiteral("\\flash\\..\\secret.txt") << QString();
    QTest::newRow("link leading out") << QStringLiteral("/flash/escape.swf") << QString();
    QTest::newRow("library file") << QStringLiteral("/QuillabrixGame.dll") << QString();
    QTest::newRow("elsewhere") << QStringLiteral("/etc/hostname") << QString();
}

void TestPlayerSchemeHandler::mapsProgramPathsToUrls()
{
    QFETCH(QString, path);
    QFETCH(QString, served);
    const QString full = path.startsWith(QLatin1String("/etc")) ? path : m_app->path() + path;
    const QUrl url = m_profile->schemeHandler()->urlForFile(full);
    if (served.isEmpty()) {
        QVERIFY2(url.isEmpty(), qPrintable(url.toString()));
        return;
    }
    QCOMPARE(url.scheme(), QStringLiteral("qbplayer"));
    const auto resource = m_profile->schemeHandler()->resolve(QUrl(url.toString(QUrl::FullyEncoded)));
    QVERIFY(resource);
    QCOMPARE(resource->filePath, QFileInfo(m_app->filePath(served)).canonicalFilePath());
}

// An installed program keeps the library's files away from its own: movies and pictures come from the data
// folder only, the placeholder from the program's files only.
void TestPlayerSchemeHandler::servesTheDataFolderApart()
{
    QTemporaryDir data;
    QVERIFY(QDir(data.path()).mkpath(QStringLiteral("flash")) && QDir(data.path()).mkpath(QStringLiteral("pic")));
    QVERIFY(writeFile(data.filePath(QStringLiteral("flash/own.swf")), "FWS own"));
    QVERIFY(writeFile(data.filePath(QStringLiteral("nogame.swf")), "FWS not the placeholder"));
    PlayerSchemeHandler handler(m_app->path(), m_app->config().ruffleDir());
    handler.setDataFolder(data.path());

    const auto servedFile = [&handler](const QString &path) {
        const QUrl url = handler.urlForFile(path);
        const auto resource = url.isEmpty() ? std::nullopt : handler.resolve(QUrl(url.toString(QUrl::FullyEncoded)));
        return resource ? resource->filePath : QString();
    };
    QCOMPARE(servedFile(data.filePath(QStringLiteral("flash/own.swf"))),
             QFileInfo(data.filePath(QStringLiteral("flash/own.swf"))).canonicalFilePath());
    QCOMPARE(servedFile(m_app->filePath(QStringLiteral("nogame.swf"))),
             QFileInfo(m_app->filePath(QStringLiteral("nogame.swf"))).canonicalFilePath());
    QCOMPARE(servedFile(m_app->filePath(QStringLiteral("flash/game.swf"))), QString());
    QCOMPARE(servedFile(data.filePath(QStringLiteral("nogame.swf"))), QString());
    QVERIFY(!handler.resolve(playerUrl(QStringLiteral("/flash/game.swf"))));
    QVERIFY(handler.resolve(playerUrl(QStringLiteral("/ruffle/ruffle.js"))));
}

void TestPlayerSchemeHandler::servesThroughTheWebEngine_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("expected"); // "status content-type body", or "failed"

    QTest::newRow("movie") << QStringLiteral("/flash/game.swf") << QStringLiteral("GET")
                           << QStringLiteral("200 application/x-shockwave-flash FWS game");
    QTest::newRow("odd name") << QStringLiteral("/flash/a%20%23b%3Fc%2520.swf") << QStringLiteral("GET")
                              << QStringLiteral("200 application/x-shockwave-flash FWS odd name");
    QTest::newRow("wasm") << QStringLiteral("/ruffle/") + wasmName() << QStringLiteral("GET")
                          << QStringLiteral("200 application/wasm <long>");
    QTest::newRow("head") << QStringLiteral("/flash/game.swf") << QStringLiteral("HEAD") << QStringLiteral("failed");
    QTest::newRow("post") << QStringLiteral("/flash/game.swf") << QStringLiteral("POST") << QStringLiteral("failed");
    QTest::newRow("encoded dot dot") << QStringLiteral("/flash/%2e%2e/secret.txt") << QStringLiteral("GET")
                                     << QStringLiteral("failed");
    QTest::newRow("link leading out") << QStringLiteral("/flash/escape.swf") << QStringLiteral("GET")
                                      << QStringLiteral("failed");
}

void TestPlayerSchemeHandler::servesThroughTheWebEngine()
{
    QFETCH(QString, url);
    QFETCH(QString, method);
    QFETCH(QString, expected);
    if (!m_page) {
        m_page = std::make_unique<QWebEnginePage>(m_profile->profile());
        QSignalSpy loaded(m_page.get(), &QWebEnginePage::loadFinished);
        m_page->load(PlayerSchemeHandler::pageUrl());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 60000);
        QCOMPARE(loaded.first().first().toBool(), true);
    }
    // A synchronous request keeps the answer in one value; the handler runs in this process, the page in
    // the renderer, so waiting there blocks nothing here.
    const QString script = QStringLiteral("(function () { try { const x = new XMLHttpRequest();"
                                          " x.open('%1', 'qbplayer://app%2', false); x.send();"
                                          " return x.status + ' ' + x.getResponseHeader('Content-Type') + ' ' +"
                                          " (x.responseText.length > 64 ? '<long>' : x.responseText);"
                                          " } catch (e) { return 'failed'; } })()")
                               .arg(method, url);
    QVariant result;
    bool done = false;
    m_page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    QCOMPARE(result.toString(), expected);
}

QUILLABRIX_PLAYER_TEST_MAIN(TestPlayerSchemeHandler)
#include "tst_playerschemehandler.moc"
