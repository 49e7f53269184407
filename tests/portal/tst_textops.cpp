#include "base/portal/textops.h"

#include <QTest>

#include <iconv.h>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// Code page 936 bytes of text as glibc's converter makes them, independent of Qt's.
QByteArray iconvCp936(const QString &text)
{
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == iconv_t(-1))
        return {};
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 2 + 8, '\0');
    char *inPtr = in.data();
    char *outPtr = out.data();
    size_t inLeft = size_t(in.size());
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

// The server's hex-coding of code page 936 bytes: one group per character.
QString hexGroups(const QByteArray &bytes)
{
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        uint code = uchar(bytes.at(i));
        if (code >= 0x81 && code <= 0xFE && i + 1 < bytes.size())
            code = code << 8 | uchar(bytes.at(++i));
        out += QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

// The text operations on the game server's answers and URLs.
class TestTextOps : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void decodeAgreesWithIconv_data();
    void decodeAgreesWithIconv();
    void bytesToBstr();
    void getLastSegment();
    void isSafeFileName();
    void turnBackCodes();
};

void TestTextOps::decode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<std::optional<QString>>("expected");
    QTest::addColumn<bool>("error");

    const auto text = [](const QString &t) { return std::optional<QString>(t); };
    const std::optional<QString> absent;
    QTest::newRow("fields") << "0031007C0032" << text(QStringLiteral("1|2")) << false;
    QTest::newRow("zero") << "0030" << text(QStringLiteral("0")) << false;
    QTest::newRow("empty is absent") << "" << absent << false;
    QTest::newRow("short last group") << "0041004" << text(QStringLiteral("A\x04")) << false;
    QTest::newRow("one digit left") << "00413" << text(QStringLiteral("A\x03")) << false;
    QTest::newRow("lower case, double-byte") << "007c0061c4e3" << text(QString::fromUtf8("|a你")) << false;
    QTest::newRow("euro single byte") << "0080" << text(QString::fromUtf8("€")) << false;
    QTest::newRow("html page") << "<html><body>Not found</body></html>" << absent << true;
    QTest::newRow("bad group after good ones") << "00410042zz43" << absent << true;
    QTest::newRow("trailing newline") << "0030\n" << absent << true;
}

void TestTextOps::decode()
{
    QFETCH(QString, input);
    QFETCH(std::optional<QString>, expected);
    QFETCH(bool, error);

    bool raised = !error;
    QCOMPARE(::decode(input, &raised), expected);
    QCOMPARE(raised, error);
}

void TestTextOps::decodeAgreesWithIconv_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << QString::fromUtf8("快乐方块");
    QTest::newRow("punctuation") << QString::fromUtf8("他说：“太好玩了！”《星际迷宫》，。、");
    QTest::newRow("mixed") << QString::fromUtf8("Tom#39;s 熊猫跳跳 €5 | 龘 ＡＢＣ　～");
}

void TestTextOps::decodeAgreesWithIconv()
{
    QFETCH(QString, text);
    const QByteArray bytes = iconvCp936(text);
    QVERIFY2(!bytes.isEmpty(), "glibc iconv cannot convert to CP936");

    QCOMPARE(::decode(hexGroups(bytes)), std::optional<QString>(text));
    QCOMPARE(BytesToBstr(bytes), text);
}

void TestTextOps::bytesToBstr()
{
    QCOMPARE(BytesToBstr(std::nullopt), QString());
    QCOMPARE(BytesToBstr(QByteArray()), QString());
    QCOMPARE(BytesToBstr(QByteArray("ok|\xc4\xe3")), QString::fromUtf8("ok|你"));
}

void TestTextOps::getLastSegment()
{
    const QString slash = QStringLiteral("/");
    QCOMPARE(get_last_segment(QStringLiteral("http://host/flash/abc.swf"), slash), QStringLiteral("abc.swf"));
    QCOMPARE(get_last_segment(QStringLiteral("abc.swf"), slash), QString());
    QCOMPARE(get_last_segment(QStringLiteral("http://host/flash/"), slash), QString());
    QCOMPARE(get_last_segment(QStringLiteral("aXbxc"), QStringLiteral("X")), QStringLiteral("bxc"));
    QCOMPARE(get_last_segment(QStringLiteral("a::b::c"), QStringLiteral("::")), QStringLiteral("c"));
    // A lone NUL separator is found in the text, never in the string's terminator.
    QCOMPARE(get_last_segment(QStringLiteral("a").append(QChar(0)).append(u'b'), QString(QChar(0))),
             QStringLiteral("b"));
}

void TestTextOps::isSafeFileName()
{
    for (const QString &name : {QStringLiteral("pocket-racer.swf"), QString::fromUtf8("快乐方块.swf"),
                                QStringLiteral("..."), QString(255, u'a')})
        QVERIFY2(::isSafeFileName(name), qPrintable(name));
    for (const QString &name : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b.swf"),
                                QStringLiteral("..\\..\\evil.swf"), QStringLiteral("evil\x01.swf"),
                                QStringLiteral("evil\n.swf"), QStringLiteral("evil\x7f"), QString(256, u'a')})
        QVERIFY2(!::isSafeFileName(name), qPrintable(name));
}

void TestTextOps::turnBackCodes()
{
    QCOMPARE(::turnBackCodes(QStringLiteral("Tom#39;s #34;best#34; game")), QStringLiteral("Tom's \"best\" game"));
    // One pass each, apostrophes first: what a replacement forms is not replaced again.
    QCOMPARE(::turnBackCodes(QStringLiteral("#3#39;4; #39#34;")), QStringLiteral("#3'4; #39\""));
}

QTEST_APPLESS_MAIN(TestTextOps)
#include "tst_textops.moc"
