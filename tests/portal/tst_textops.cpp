#include "textops.h"

#include <QTest>

#include <iconv.h>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<QByteArray>)

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
    void bytesToBstr_data();
    void bytesToBstr();
    void getLastSegment_data();
    void getLastSegment();
    void isSafeFileName_data();
    void isSafeFileName();
    void turnBackCodes_data();
    void turnBackCodes();
};

void TestTextOps::decode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<std::optional<QString>>("expected");
    QTest::addColumn<bool>("error");

    const auto text = [](const char *utf8) { return std::optional<QString>(QString::fromUtf8(utf8)); };
    QTest::newRow("fields") << "0031007C0032" << text("1|2") << false;
    QTest::newRow("zero") << "0030" << text("0") << false;
    QTest::newRow("empty is absent") << "" << std::optional<QString>() << false;
    QTest::newRow("two letters") << "00410042" << text("AB") << false;
    QTest::newRow("short last group") << "0041004" << std::optional<QString>(QStringLiteral("A") + QChar(4)) << false;
    QTest::newRow("one digit left") << "00413" << std::optional<QString>(QStringLiteral("A") + QChar(3)) << false;
    QTest::newRow("lower case digits") << "007c0061c4e3" << text("|a你") << false;
    QTest::newRow("double-byte") << "C4E3BAC3" << text("你好") << false;
    QTest::newRow("euro single byte") << "0080" << text("€") << false;
    QTest::newRow("html page") << "<html><body>Not found</body></html>" << std::optional<QString>() << true;
    QTest::newRow("bad group after good ones") << "00410042zz43" << std::optional<QString>() << true;
    QTest::newRow("blank inside") << "0041 0042" << std::optional<QString>() << true;
    QTest::newRow("trailing newline") << "0030\n" << std::optional<QString>() << true;
}

void TestTextOps::decode()
{
    QFETCH(QString, input);
    QFETCH(std::optional<QString>, expected);
    QFETCH(bool, error);

    bool raised = !error;
    const std::optional<QString> result = ::decode(input, &raised);
    QCOMPARE(raised, error);
    QCOMPARE(result.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(*result, *expected);
}

void TestTextOps::decodeAgreesWithIconv_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << QString::fromUtf8("快乐方块");
    QTest::newRow("punctuation") << QString::fromUtf8("他说：“太好玩了！”《星际迷宫》，。、");
    QTest::newRow("mixed") << QString::fromUtf8("Tom#39;s 熊猫跳跳 #34;best#34; €5 | 龘");
    QTest::newRow("full-width") << QString::fromUtf8("ＡＢＣ１２３　～");
}

void TestTextOps::decodeAgreesWithIconv()
{
    QFETCH(QString, text);
    const QByteArray bytes = iconvCp936(text);
    QVERIFY2(!bytes.isEmpty(), "glibc iconv cannot convert to CP936");

    QCOMPARE(::decode(hexGroups(bytes)), std::optional<QString>(text));
    QCOMPARE(BytesToBstr(bytes), text);
}

void TestTextOps::bytesToBstr_data()
{
    QTest::addColumn<std::optional<QByteArray>>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absent") << std::optional<QByteArray>() << QString();
    QTest::newRow("empty") << std::optional<QByteArray>(QByteArray()) << QString();
    QTest::newRow("start-up answer") << std::optional<QByteArray>("ok|http://h/a.swf|12") << "ok|http://h/a.swf|12";
    QTest::newRow("gbk") << std::optional<QByteArray>("\xc4\xe3\xba\xc3!") << QString::fromUtf8("你好!");
}

void TestTextOps::bytesToBstr()
{
    QFETCH(std::optional<QByteArray>, body);
    QFETCH(QString, expected);
    QCOMPARE(BytesToBstr(body), expected);
}

void TestTextOps::getLastSegment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    QTest::newRow("url") << "http://host/flash/abc.swf"
                         << "/"
                         << "abc.swf";
    QTest::newRow("bare name") << "abc.swf"
                               << "/"
                               << "";
    QTest::newRow("ends in slash") << "http://host/flash/"
                                   << "/"
                                   << "";
    QTest::newRow("empty") << ""
                           << "/"
                           << "";
    QTest::newRow("query kept") << "http://host/a.swf?x=1/2"
                                << "/"
                                << "2";
    QTest::newRow("case-sensitive") << "aXbxc"
                                    << "X"
                                    << "bxc";
    QTest::newRow("longer separator") << "a::b::c"
                                      << "::"
                                      << "c";
}

void TestTextOps::getLastSegment()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(get_last_segment(text, separator), expected);
}

void TestTextOps::isSafeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "pocket-racer.swf" << true;
    QTest::newRow("chinese") << QString::fromUtf8("快乐方块.swf") << true;
    QTest::newRow("three dots") << "..." << true;
    QTest::newRow("longest") << QString(255, QLatin1Char('a')) << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("slash") << "a/b.swf" << false;
    QTest::newRow("backslash") << "..\\..\\evil.swf" << false;
    QTest::newRow("control") << QStringLiteral("evil\x01.swf") << false;
    QTest::newRow("newline") << "evil\n.swf" << false;
    QTest::newRow("delete") << QStringLiteral("evil\x7f") << false;
    QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
}

void TestTextOps::isSafeFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(::isSafeFileName(name), safe);
}

void TestTextOps::turnBackCodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << "Tom#39;s #34;best#34; game"
                          << "Tom's \"best\" game";
    QTest::newRow("none") << "plain #3 text;"
                          << "plain #3 text;";
    QTest::newRow("no second pass") << "#3#39;4;"
                                    << "#3'4;";
    QTest::newRow("apostrophes first") << "#39#34;"
                                       << "#39\"";
}

void TestTextOps::turnBackCodes()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::turnBackCodes(text), expected);
}

QTEST_APPLESS_MAIN(TestTextOps)
#include "tst_textops.moc"
