#include "swfwriter.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <map>
#include <stdexcept>

Q_DECLARE_METATYPE(swf::MovieSpec)

namespace {

// What a reader of the format finds in a movie: enough to check what each frame shows.
struct ParsedMovie
{
    QByteArray signature;
    quint32 lengthField = 0;
    quint32 uncompressedSize = 0;
    int stageWidth = 0, stageHeight = 0; // pixels
    quint16 frameRate = 0;               // 8.8 fixed point
    quint16 frameCount = 0;
    std::vector<uint32_t> frameColours; // the colour of the shape at depth 1 when each frame shows
    bool endsWithEndTag = false;
    QString problem;
};

class BitReader
{
public:
    BitReader(const QByteArray &data, int offset) : m_data(data), m_pos(offset * 8) {}
    quint32 bits(int n)
    {
        quint32 v = 0;
        for (int i = 0; i < n; ++i, ++m_pos)
            v = v << 1 | ((quint8(m_data.at(m_pos / 8)) >> (7 - m_pos % 8)) & 1);
        return v;
    }
    int byteOffset() const { return (m_pos + 7) / 8; }

private:
    const QByteArray &m_data;
    int m_pos;
};

ParsedMovie parse(const QByteArray &file)
{
    ParsedMovie m;
    m.signature = file.left(3);
    m.lengthField = qFromLittleEndian<quint32>(file.constData() + 4);
    QByteArray body = file.mid(8);
    if (m.signature == "CWS") {
        QByteArray sized(4, '\0');
        qToBigEndian<quint32>(m.lengthField - 8, sized.data());
        body = qUncompress(sized + body);
    }
    m.uncompressedSize = quint32(8 + body.size());

    BitReader rect(body, 0);
    const int n = int(rect.bits(5));
    rect.bits(n);
    m.stageWidth = int(rect.bits(n)) / 20;
    rect.bits(n);
    m.stageHeight = int(rect.bits(n)) / 20;
    int at = rect.byteOffset();
    m.frameRate = qFromLittleEndian<quint16>(body.constData() + at);
    m.frameCount = qFromLittleEndian<quint16>(body.constData() + at + 2);
    at += 4;

    std::map<int, uint32_t> shapeColour;
    int atDepth1 = -1;
    while (at + 2 <= body.size()) {
        const quint16 header = qFromLittleEndian<quint16>(body.constData() + at);
        at += 2;
        const int code = header >> 6;
        qint64 length = header & 0x3F;
        if (length == 0x3F) {
            length = qFromLittleEndian<quint32>(body.constData() + at);
            at += 4;
        }
        if (at + length > body.size()) {
            m.problem = QStringLiteral("tag %1 runs past the end").arg(code);
            return m;
        }
        const char *p = body.constData() + at;
        if (code == 0) {
            m.endsWithEndTag = at == body.size();
            return m;
        } else if (code == 2) { // DefineShape: id, bounds, one solid fill
            const int id = qFromLittleEndian<quint16>(p);
            BitReader bounds(body, at + 2);
            const int bn = int(bounds.bits(5));
            bounds.bits(4 * bn);
            const char *f = body.constData() + bounds.byteOffset() + 2; // past the fill count and type
            shapeColour[id] = quint8(f[0]) << 16 | quint8(f[1]) << 8 | quint8(f[2]);
        } else if (code == 26) { // PlaceObject2 with a character
            if (quint8(p[0]) & 0x02)
                atDepth1 = qFromLittleEndian<quint16>(p + 3);
        } else if (code == 28) { // RemoveObject2
            atDepth1 = -1;
        } else if (code == 1) {
            m.frameColours.push_back(atDepth1 < 0 ? 0xFFFFFFFF : shapeColour[atDepth1]);
        }
        at += int(length);
    }
    m.problem = QStringLiteral("no End tag");
    return m;
}

QStringList args(const char *line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

swf::MovieSpec spec(std::vector<uint32_t> colours, bool compressed = false, std::size_t padTo = 0)
{
    swf::MovieSpec s;
    s.frameColors = std::move(colours);
    s.compressed = compressed;
    s.padTo = padTo;
    return s;
}

} // namespace

// Movies that players read as the frames asked for, at exactly the sizes asked for.
class TestSwfWriter : public QObject
{
    Q_OBJECT

private slots:
    void framesShowTheirColours_data();
    void framesShowTheirColours();
    void paddingGivesExactSizes_data();
    void paddingGivesExactSizes();
    void specsNoPlayerCouldShowAreRefused();
    void commandLineTool_data();
    void commandLineTool();
};

void TestSwfWriter::framesShowTheirColours_data()
{
    QTest::addColumn<swf::MovieSpec>("movie");
    swf::MovieSpec odd = spec({0x123456, 0xabcdef, 0x123456});
    odd.width = 1;
    odd.height = 4095;
    odd.frameRate = 2.5;
    QTest::newRow("one black frame") << spec({0x000000});
    QTest::newRow("repeated colours, odd stage") << odd;
    QTest::newRow("compressed") << spec({0xff0000, 0x00ff00, 0x0000ff}, true);
    QTest::newRow("padded") << spec({0xff0000, 0x00ff00}, false, 3000);
    QTest::newRow("compressed and padded") << spec({0xff0000, 0x00ff00}, true, 200000);
}

void TestSwfWriter::framesShowTheirColours()
{
    QFETCH(swf::MovieSpec, movie);
    const QByteArray file = bytes(swf::writeSolidColourMovie(movie));
    const ParsedMovie m = parse(file);
    QVERIFY2(m.problem.isEmpty(), qPrintable(m.problem));
    QCOMPARE(m.signature, movie.compressed ? QByteArray("CWS") : QByteArray("FWS"));
    QCOMPARE(m.lengthField, m.uncompressedSize);
    if (!movie.compressed)
        QCOMPARE(qsizetype(m.lengthField), file.size());
    QVERIFY(m.endsWithEndTag);
    QCOMPARE(m.stageWidth, movie.width);
    QCOMPARE(m.stageHeight, movie.height);
    QCOMPARE(m.frameRate, quint16(movie.frameRate * 256));
    QCOMPARE(m.frameCount, quint16(movie.frameColors.size()));
    QCOMPARE(m.frameColours, movie.frameColors);
}

void TestSwfWriter::paddingGivesExactSizes_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<qint64>("above"); // bytes above the smallest paddable size
    QTest::addColumn<qint64>("size");  // or an absolute size, when above < 0
    for (bool compressed : {false, true}) {
        const char *kind = compressed ? "CWS" : "FWS";
        // One byte is too short for a tag, 63 and 64 lie at the short/long tag border, 65535-block
        // borders of the stored zlib blocks lie around 65540 and 131080.
        for (qint64 above : {0, 1, 2, 3, 7, 63, 64, 65, 66, 65535, 65540, 65541, 65545, 65546, 131080, 131081})
            QTest::addRow("%s +%lld", kind, above) << compressed << above << qint64(0);
        QTest::addRow("%s 3000 bytes", kind) << compressed << qint64(-1) << qint64(3000);
        QTest::addRow("%s 16 MiB", kind) << compressed << qint64(-1) << qint64(16 << 20);
    }
}

void TestSwfWriter::paddingGivesExactSizes()
{
    QFETCH(bool, compressed);
    QFETCH(qint64, above);
    QFETCH(qint64, size);
    swf::MovieSpec movie = spec({0xff0000, 0x00ff00, 0x0000ff}, compressed);
    const std::size_t minimum = swf::minimumPaddedSize(movie);
    movie.padTo = above >= 0 ? minimum + std::size_t(above) : std::size_t(size);
    const QByteArray file = bytes(swf::writeSolidColourMovie(movie));
    QCOMPARE(qsizetype(file.size()), qsizetype(movie.padTo));
    const ParsedMovie m = parse(file);
    QVERIFY2(m.problem.isEmpty(), qPrintable(m.problem));
    QVERIFY(m.endsWithEndTag);
    QCOMPARE(m.lengthField, m.uncompressedSize);
    QCOMPARE(m.frameColours, movie.frameColors);
}

void TestSwfWriter::specsNoPlayerCouldShowAreRefused()
{
    swf::MovieSpec movie = spec({0xff0000});
    const auto refused = [](const swf::MovieSpec &s) {
        try {
            swf::writeSolidColourMovie(s);
        } catch (const std::invalid_argument &) {
            return true;
        }
        return false;
    };
    QVERIFY(!refused(movie));
    QVERIFY(refused(spec({})));
    swf::MovieSpec bad = movie;
    bad.width = 0;
    QVERIFY(refused(bad));
    bad = movie;
    bad.height = 70000;
    QVERIFY(refused(bad));
    bad = movie;
    bad.frameRate = 0;
    QVERIFY(refused(bad));
    bad = movie;
    bad.frameRate = 300;
    QVERIFY(refused(bad));

    // A padded size below the movie's own gives the movie as it is.
    movie.padTo = 10;
    QCOMPARE(swf::writeSolidColourMovie(movie).size(), swf::minimumPaddedSize(spec({0xff0000})));
}

void TestSwfWriter::commandLineTool_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("frames"); // of the written movie
    QTest::addColumn<qint64>("size");
    QTest::newRow("placeholder movie") << args("--colors 000000 --size 550x400 --fps 12") << 0 << 1 << qint64(-1);
    QTest::newRow("padded, compressed") << args("--colors ff0000,#00FF00 --compressed --pad 3000") << 0 << 2
                                        << qint64(3000);
    QTest::newRow("bad colour") << args("--colors ff00") << 2 << 0 << qint64(0);
    QTest::newRow("bad size") << args("--colors ff0000 --size 550") << 2 << 0 << qint64(0);
    QTest::newRow("unknown option") << args("--colors ff0000 --loop") << 2 << 0 << qint64(0);
}

void TestSwfWriter::commandLineTool()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, frames);
    QFETCH(qint64, size);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("movie.swf"));
    QProcess tool;
    tool.start(QStringLiteral(QUILLABRIX_SWFGEN), QStringList{QStringLiteral("--out"), out} + arguments);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), exitCode);
    QFile file(out);
    if (exitCode != 0) {
        QVERIFY(!file.exists());
        return;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    if (size >= 0)
        QCOMPARE(written.size(), size);
    const ParsedMovie m = parse(written);
    QVERIFY(m.endsWithEndTag);
    QCOMPARE(int(m.frameCount), frames);
}

QTEST_GUILESS_MAIN(TestSwfWriter)
#include "tst_swfwriter.moc"
