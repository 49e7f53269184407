#include "library/pictureloader.h"
#include "portalserver.h"
#include "testappfolder.h"

#include <QBuffer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include <sys/stat.h>

namespace {

// A picture of one colour: a picture of gigabytes fits in a few kilobytes.
QByteArray encoded(const QSize &size, const char *format, QImage::Format pixels = QImage::Format_RGB32)
{
    QImage image(size, pixels);
    image.fill(QColor(0x20, 0x90, 0xE0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

// Game pictures from files and from the game server: every format the library shows, and no picture
// (never an error) for anything else.
class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void filesInEveryFormatLoad_data();
    void filesInEveryFormatLoad();
    void whatIsNoPictureGivesNoPicture_data();
    void whatIsNoPictureGivesNoPicture();
    void onlyWebAddressesAndOurFolderAreRead_data();
    void onlyWebAddressesAndOurFolderAreRead();
    void webPicturesLoad_data();
    void webPicturesLoad();
    void noAnswerReachesAContextThatIsGone();
    void bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown_data();
    void bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown();

private:
    std::optional<QImage> load(const QString &nameOrUrl);

    TestAppFolder m_app;
    PortalServer m_server;
    QNetworkAccessManager m_network;
};

void TestPictureLoader::initTestCase()
{
    QVERIFY2(m_server.start(), "the portal server must run");
}

std::optional<QImage> TestPictureLoader::load(const QString &nameOrUrl)
{
    PictureLoader loader(&m_network);
    loader.setLocalFolder(m_app.path());
    std::optional<QImage> result;
    loader.LoadPicture(nameOrUrl, this, [&result](const QImage &image) { result = image; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
        qWarning("no answer for %s", qPrintable(nameOrUrl));
    return result;
}

void TestPictureLoader::filesInEveryFormatLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("format"); // empty: the file is there already
    QTest::addColumn<QSize>("size");
    QTest::newRow("gif") << QStringLiteral("no.gif") << QByteArray()
                         << QImage(m_app.filePath(QStringLiteral("no.gif"))).size();
    QTest::newRow("png") << QStringLiteral("a.png") << QByteArrayLiteral("PNG") << QSize(40, 30);
    QTest::newRow("jpeg") << QStringLiteral("a.jpg") << QByteArrayLiteral("JPEG") << QSize(40, 30);
    QTest::newRow("bmp") << QStringLiteral("a.bmp") << QByteArrayLiteral("BMP") << QSize(40, 30);
    QTest::newRow("ico") << QStringLiteral("a.ico") << QByteArrayLiteral("ICO") << QSize(32, 32);
    QTest::newRow("png named jpg") << QStringLiteral("png.jpg") << QByteArrayLiteral("PNG") << QSize(40, 30);
    QTest::newRow("no extension") << QStringLiteral("picture") << QByteArrayLiteral("BMP") << QSize(40, 30);
    QTest::newRow("chinese name") << QStringLiteral("图片 1.png") << QByteArrayLiteral("PNG") << QSize(40, 30);
}

void TestPictureLoader::filesInEveryFormatLoad()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    const QString path = m_app.filePath(file);
    if (!format.isEmpty()) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(0x20, 0x90, 0xE0));
        QVERIFY(image.save(path, format.constData()));
    }
    QVERIFY(!size.isEmpty());
    QCOMPARE(PictureLoader::loadFile(path).size(), size);
    // Through the loader's own entry: a path, and the same file as a URL.
    QCOMPARE(load(path)->size(), size);
    QCOMPARE(load(QUrl::fromLocalFile(path).toString())->size(), size);
}

void TestPictureLoader::whatIsNoPictureGivesNoPicture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << QStringLiteral("missing.png") << QByteArray();
    QTest::newRow("empty path") << QString() << QByteArray();
    QTest::newRow("folder") << QStringLiteral("html") << QByteArray();
    QTest::newRow("text") << QStringLiteral("text.png") << QByteArrayLiteral("not a picture at all");
    QTest::newRow("cut short") << QStringLiteral("short.png") << QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0\0\rIHDR");
    QTest::newRow("empty file") << QStringLiteral("empty.gif") << QByteArrayLiteral("");
    QTest::newRow("fifo") << QStringLiteral("fifo.png") << QByteArray(); // made below; reading it would block
}

void TestPictureLoader::whatIsNoPictureGivesNoPicture()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    const QString path = file.isEmpty() ? QString() : m_app.filePath(file);
    if (file == QLatin1String("fifo.png"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (!content.isNull()) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    QVERIFY(PictureLoader::loadFile(path).isNull());
    const std::optional<QImage> loaded = load(path);
    QVERIFY(loaded && loaded->isNull());
}

void TestPictureLoader::onlyWebAddressesAndOurFolderAreRead_data()
{
    QTest::addColumn<QString>("name"); // %1: a picture outside the loader's folder
    QTest::newRow("path outside") << QStringLiteral("%1");
    QTest::newRow("file URL outside") << QStringLiteral("file://%1");
    QTest::newRow("system file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("climbing out") << QStringLiteral("../outside.png");
    QTest::newRow("data URL") << QStringLiteral("data:image/png;base64,iVBORw0KGgo=");
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/x.png");
}

void TestPictureLoader::onlyWebAddressesAndOurFolderAreRead()
{
    QFETCH(QString, name);
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("outside.png"));
    QImage image(QSize(8, 8), QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(outside, "PNG"));
    // A link from inside the folder to the picture outside is no way in either.
    QVERIFY(QFile::link(outside, m_app.filePath(QStringLiteral("link.png"))));

    const std::optional<QImage> loaded = load(name.contains(QLatin1String("%1")) ? name.arg(outside) : name);
    QVERIFY(loaded && loaded->isNull());
    const std::optional<QImage> linked = load(m_app.filePath(QStringLiteral("link.png")));
    QVERIFY(linked && linked->isNull());
    QFile::remove(m_app.filePath(QStringLiteral("link.png")));
}

void TestPictureLoader::webPicturesLoad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size"); // empty: no picture
    QTest::newRow("png") << QStringLiteral("pics/pocket-racer.png") << QSize(120, 90);
    QTest::newRow("jpeg") << QStringLiteral("pics/moon-lander.jpg") << QSize(120, 90);
    QTest::newRow("not found") << QStringLiteral("fault/404/pics/pocket-racer.png") << QSize();
    QTest::newRow("server error") << QStringLiteral("fault/500/pics/pocket-racer.png") << QSize();
    QTest::newRow("body cut short") << QStringLiteral("fault/short/pics/pocket-racer.png") << QSize();
    QTest::newRow("empty body") << QStringLiteral("fault/empty/pics/pocket-racer.png") << QSize();
    QTest::newRow("a movie, not a picture") << QStringLiteral("movies/size-3000.swf") << QSize();
    QTest::newRow("endless") << QStringLiteral("fault/endless/pics/pocket-racer.png") << QSize();
    QTest::newRow("nobody listening") << QString() << QSize();
}

void TestPictureLoader::webPicturesLoad()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QString url = path.isEmpty()
                            ? QStringLiteral("http://127.0.0.1:%1/pics/x.png").arg(PortalServer::closedPort())
                            : m_server.url(path).toString();
    const std::optional<QImage> loaded = load(url);
    QVERIFY(loaded);
    QCOMPARE(loaded->isNull(), !size.isValid());
    if (size.isValid())
        QCOMPARE(loaded->size(), size);
}

void TestPictureLoader::noAnswerReachesAContextThatIsGone()
{
    PictureLoader loader(&m_network);
    const QString slow = m_server.url(QStringLiteral("fault/trickle-20/pics/pocket-racer.png")).toString();
    bool lateAnswer = false;
    auto gone = std::make_unique<QObject>();
    loader.LoadPicture(slow, gone.get(), [&lateAnswer](const QImage &) { lateAnswer = true; });
    gone.reset();

    // A second request for the same picture, made after the first, is answered; the first never is.
    std::optional<QImage> kept;
    loader.LoadPicture(slow, this, [&kept](const QImage &image) { kept = image; });
    QTRY_VERIFY_WITH_TIMEOUT(kept.has_value(), 30000);
    QCOMPARE(kept->size(), QSize(120, 90));
    QVERIFY(!lateAnswer);
}

void TestPictureLoader::bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("shown"); // invalid: the check of a downloaded picture, which shows it nowhere
    QTest::addColumn<QSize>("size");  // invalid: no picture
    const QSize box(105, 89);

    QTest::newRow("png of 5700 by 5700") << encoded(QSize(5700, 5700), "PNG", QImage::Format_Grayscale8) << box
                                         << QSize();
    QTest::newRow("png of 5700 by 5700, checked")
        << encoded(QSize(5700, 5700), "PNG", QImage::Format_Grayscale8) << QSize() << QSize();
    QTest::newRow("png wider than 4096") << encoded(QSize(4097, 10), "PNG") << box << QSize();
    QTest::newRow("png at the bound, 4096 by 1024")
        << encoded(QSize(4096, 1024), "PNG", QImage::Format_Grayscale8) << box << QSize(105, 26);
    QTest::newRow("png at the bound, checked")
        << encoded(QSize(4096, 1024), "PNG", QImage::Format_Grayscale8) << QSize() << QSize(4096, 1024);
    QTest::newRow("jpeg of 2000 by 1500") << encoded(QSize(2000, 1500), "JPEG") << box << QSize(105, 78);
    QTest::newRow("tall png") << encoded(QSize(300, 900), "PNG") << box << QSize(29, 89);
    QTest::newRow("smaller than shown") << encoded(QSize(40, 30), "PNG") << box << QSize(40, 30);
    QTest::newRow("a format no game picture comes in") << encoded(QSize(40, 30), "PPM") << box << QSize();
}

void TestPictureLoader::bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, shown);
    QFETCH(QSize, size);
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(PictureLoader::decode(bytes, shown).size(), size.isValid() ? size : QSize(0, 0));
    const QString path = m_app.filePath(QStringLiteral("picture"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QCOMPARE(PictureLoader::loadFile(path, shown).size(), size.isValid() ? size : QSize(0, 0));
}

QTEST_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
