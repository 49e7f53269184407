// What the build delivers for the program to show: the demo games the portal server offers with their
// pictures, the window's artwork and the local first page. Each check reads the built files, not the sources.

#include "portalserver.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <map>

namespace {

// The fields of a movie's header and the tags of its body that decide whether the player can run it.
struct SwfInfo
{
    QString error;
    int version = 0;
    int widthTwips = 0;
    int heightTwips = 0;
    double frameRate = 0;
    int frameCount = 0;
    bool as3 = false;
    bool hasCode = false;
    bool hasDocumentClass = false;
    bool hasShowFrame = false;
    quint32 background = 0xFFFFFFFF;
};

SwfInfo readSwf(const QByteArray &file)
{
    SwfInfo info;
    if (file.size() < 8 || (!file.startsWith("FWS") && !file.startsWith("CWS"))) {
        info.error = QStringLiteral("not an SWF file");
        return info;
    }
    info.version = quint8(file[3]);
    const quint32 total = qFromLittleEndian<quint32>(file.constData() + 4);
    QByteArray body = file.mid(8);
    if (file.startsWith("CWS")) {
        // qUncompress wants the inflated size in front, big-endian.
        QByteArray framed(4, Qt::Uninitialized);
        qToBigEndian<quint32>(total - 8, framed.data());
        body = qUncompress(framed + body);
    }
    if (quint32(body.size()) + 8 != total) {
        info.error = QStringLiteral("length field %1 but %2 bytes").arg(total).arg(body.size() + 8);
        return info;
    }
    const auto bytes = reinterpret_cast<const quint8 *>(body.constData());
    const int nbits = bytes[0] >> 3;
    auto field = [&](int index) {
        int value = 0;
        for (int i = 0; i < nbits; ++i) {
            const int bit = 5 + index * nbits + i;
            value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return value;
    };
    info.widthTwips = field(1) - field(0);
    info.heightTwips = field(3) - field(2);
    int pos = (5 + 4 * nbits + 7) / 8;
    info.frameRate = bytes[pos + 1] + bytes[pos] / 256.0;
    info.frameCount = qFromLittleEndian<quint16>(bytes + pos + 2);
    pos += 4;
    while (pos + 2 <= body.size()) {
        const quint16 head = qFromLittleEndian<quint16>(bytes + pos);
        pos += 2;
        const int code = head >> 6;
        qint64 length = head & 0x3F;
        if (length == 0x3F) {
            length = qFromLittleEndian<quint32>(bytes + pos);
            pos += 4;
        }
        if (pos + length > body.size()) {
            info.error = QStringLiteral("tag %1 runs past the end").arg(code);
            return info;
        }
        const QByteArray data = body.mid(pos, int(length));
        switch (code) {
        case 69: // FileAttributes
            info.as3 = !data.isEmpty() && (quint8(data[0]) & 0x08);
            break;
        case 72: // DoABC without flags
        case 82: // DoABC
            info.hasCode = true;
            break;
        case 76: { // SymbolClass: the document class is the one bound to character 0
            const auto symbols = reinterpret_cast<const quint8 *>(data.constData());
            int at = 2;
            for (int n = qFromLittleEndian<quint16>(symbols); n > 0 && at + 2 < data.size(); --n) {
                const quint16 character = qFromLittleEndian<quint16>(symbols + at);
                const int end = data.indexOf('\0', at + 2);
                if (end < 0)
                    break;
                info.hasDocumentClass = info.hasDocumentClass || (character == 0 && end > at + 2);
                at = end + 1;
            }
            break;
        }
        case 9: // SetBackgroundColor
            if (data.size() >= 3)
                info.background = (quint8(data[0]) << 16) | (quint8(data[1]) << 8) | quint8(data[2]);
            break;
        case 1:
            info.hasShowFrame = true;
            break;
        default:
            break;
        }
        pos += int(length);
        if (code == 0)
            break;
    }
    return info;
}

QStringList demoGames()
{
    QStringList names;
    const QDir sources(QStringLiteral(QUILLABRIX_GAMES_SOURCE_DIR));
    for (const QString &dir : sources.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFile::exists(sources.filePath(dir + QStringLiteral("/Main.hx"))))
            names << dir;
    }
    return names;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Checks the demo games, the window's pictures and the local first page as the build delivers them.
class tst_Assets : public QObject
{
    Q_OBJECT

private slots:
    void everyGameIsAnAs3MovieForTheStage_data();
    void everyGameIsAnAs3MovieForTheStage();
    void everyGameHasTheCatalogueText_data();
    void everyGameHasTheCatalogueText();
    void everyGameHasADrawnPicture_data();
    void everyGameHasADrawnPicture();
    void windowPicturesHaveTheirLayoutSizes_data();
    void windowPicturesHaveTheirLayoutSizes();
    void placeholderPictureIsAReadableGif();
    void localFirstPageReachesNothingOutside();
};

void tst_Assets::everyGameIsAnAs3MovieForTheStage_data()
{
    QTest::addColumn<QString>("path");
    const QStringList games = demoGames();
    QVERIFY2(games.size() >= 2, "the demo games' sources were not found");
    for (const QString &name : games)
        QTest::newRow(qPrintable(name)) << QDir(PortalServer::gamesFolder()).filePath(name + QStringLiteral(".swf"));
}

void tst_Assets::everyGameIsAnAs3MovieForTheStage()
{
    QFETCH(QString, path);
    const QByteArray file = readAll(path);
    QVERIFY2(!file.isEmpty(), qPrintable(path + QStringLiteral(" is missing or empty")));
    const SwfInfo swf = readSwf(file);
    QVERIFY2(swf.error.isEmpty(), qPrintable(swf.error));
    QCOMPARE(swf.version, 10);
    QCOMPARE(swf.widthTwips, 550 * 20);
    QCOMPARE(swf.heightTwips, 400 * 20);
    QCOMPARE(swf.frameRate, 30.0);
    QCOMPARE(swf.background, quint32(0x000000));
    QVERIFY(swf.frameCount >= 1);
    QVERIFY2(swf.as3, "the movie does not declare ActionScript 3");
    QVERIFY2(swf.hasCode, "the movie carries no ActionScript code");
    QVERIFY2(swf.hasDocumentClass, "no document class is bound to the stage");
    QVERIFY(swf.hasShowFrame);
}

void tst_Assets::everyGameHasTheCatalogueText_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &name : demoGames())
        QTest::newRow(qPrintable(name)) << QDir(PortalServer::gamesFolder()).filePath(name + QStringLiteral(".txt"));
}

void tst_Assets::everyGameHasTheCatalogueText()
{
    QFETCH(QString, path);
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path + QStringLiteral(" is missing or empty")));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    QVERIFY2(!utf8.hasError(), "the text is not UTF-8");

    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    QVERIFY2(lines.size() == 3 || lines.size() == 4, qPrintable(QStringLiteral("%1 lines").arg(lines.size())));
    // The portal's shelf of the game, when the text names one.
    if (lines.size() == 4) {
        static const QStringList categories{QStringLiteral("action"), QStringLiteral("puzzle"),
                                            QStringLiteral("sports"), QStringLiteral("classic"), QStringLiteral("new")};
        QVERIFY2(categories.contains(lines[3]), qPrintable(QStringLiteral("unknown category: ") + lines[3]));
    }
    const QString &title = lines[0];
    const QString &description = lines[1];
    QVERIFY(!title.trimmed().isEmpty());
    QVERIFY(!description.trimmed().isEmpty());
    QVERIFY2(!text.contains(QLatin1Char('\r')), "lines end in CR LF");
    // Quotes travel as the server's codes; a bare one would reach the library's texts unconverted.
    for (const QString &line : {title, description}) {
        QVERIFY2(!line.contains(QLatin1Char('\'')) && !line.contains(QLatin1Char('"')),
                 qPrintable(QStringLiteral("a bare quote in: ") + line));
        QVERIFY2(!line.contains(QLatin1Char('|')), "a field separator inside a field");
    }
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{6}$")).match(lines[2]).hasMatch(),
             qPrintable(QStringLiteral("the picture colour is not RRGGBB: ") + lines[2]));
}

void tst_Assets::everyGameHasADrawnPicture_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : demoGames())
        QTest::newRow(qPrintable(name)) << name;
}

// The portal shows each game with the picture the build draws from the game's picture.svg: a scene of the game,
// not a blank or a plain colour card.
void tst_Assets::everyGameHasADrawnPicture()
{
    QFETCH(QString, name);
    const QDir sources(QStringLiteral(QUILLABRIX_GAMES_SOURCE_DIR));
    QVERIFY2(QFile::exists(sources.filePath(name + QStringLiteral("/picture.svg"))), "the game has no picture.svg");
    const QString path = QDir(PortalServer::gamesFolder()).filePath(name + QStringLiteral(".png"));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
    QCOMPARE(image.size(), QSize(120, 90));

    std::map<QRgb, int> counts;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ++counts[pixel];
            opaque += qAlpha(pixel) >= 128;
        }
    }
    const int total = image.width() * image.height();
    int commonest = 0;
    for (const auto &[colour, count] : counts)
        commonest = std::max(commonest, count);
    QVERIFY2(opaque * 2 >= total, qPrintable(QStringLiteral("only %1 of %2 pixels are drawn").arg(opaque).arg(total)));
    QVERIFY2(commonest * 10 < total * 9,
             qPrintable(QStringLiteral("%1 of %2 pixels have one colour").arg(commonest).arg(total)));
    QVERIFY2(counts.size() >= 4, qPrintable(QStringLiteral("only %1 colours").arg(counts.size())));
}

void tst_Assets::windowPicturesHaveTheirLayoutSizes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    const QSize button(30, 30);
    for (const char *name : {"b_rewind", "b_play", "b_pause", "b_forward", "b_full", "b_local"})
        QTest::newRow(name) << QStringLiteral("images/%1.png").arg(QLatin1String(name)) << button;
    QTest::newRow("b_exit") << QStringLiteral("images/b_exit.png") << QSize(17, 15);
    QTest::newRow("logo") << QStringLiteral("images/logo.png") << QSize(177, 71);
    QTest::newRow("icon") << QStringLiteral("images/icon.png") << QSize(64, 64);
}

void tst_Assets::windowPicturesHaveTheirLayoutSizes()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QImageReader reader(QDir(TestAppFolder::builtAppFolder()).filePath(file));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(file + QStringLiteral(": ") + reader.errorString()));
    QCOMPARE(image.size(), size);
}

void tst_Assets::placeholderPictureIsAReadableGif()
{
    QImageReader reader(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("no.gif")));
    QCOMPARE(reader.format(), QByteArray("gif"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(105, 89));
}

void tst_Assets::localFirstPageReachesNothingOutside()
{
    const QString page =
        QString::fromUtf8(readAll(QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("html/main.html"))));
    QVERIFY(page.contains(QStringLiteral("Loading the game portal")));
    // Links, sources, style imports and scripts could each make the start-up page fetch something.
    static const QRegularExpression reaching(
        QStringLiteral("\\b(src|href|action|srcset)\\s*=|url\\(\\s*['\"]?(?!#)|@import|<script|<link|://"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = reaching.match(page);
    QVERIFY2(!match.hasMatch(), qPrintable(QStringLiteral("reaches out: ") + match.captured(0)));
}

QTEST_GUILESS_MAIN(tst_Assets)
#include "tst_assets.moc"
