#include "library/pictureloader.h"
#include "testappfolder.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

#include <memory>

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

// Game pictures from files and bytes: every format the library shows, and no picture
// (never an error) for anything else.
class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void filesInEveryFormatLoad_data();
    void filesInEveryFormatLoad();
    void whatIsNoPictureGivesNoPicture_data();
    void whatIsNoPictureGivesNoPicture();
    void bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown_data();
    void bombsAreRefusedAndBigPicturesDecodeAtTheSizeShown();

private:
    TestAppFolder m_app;
};

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
