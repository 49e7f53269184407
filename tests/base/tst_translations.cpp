#include "base/translations.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <set>

namespace {

struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty for a finished translation
};

QList<Message> readCatalogue(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append({context, {}, {}, {}});
        } else if (xml.name() == QLatin1String("source") && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && !messages.isEmpty()) {
            messages.last().type = xml.attributes().value(QLatin1String("type")).toString();
            messages.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

std::set<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%L?\\d+"));
    std::set<QString> found;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

} // namespace

// The translations: which catalogue a locale gets, and whether the catalogues in the repository hold every text
// of the program, translated.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void languageFollowsTheLocale_data();
    void languageFollowsTheLocale();
    void everyTextOfTheProgramIsTranslated();
};

void TestTranslations::languageFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("message");

    const QString english = QStringLiteral("You can't use this software without network!");
    QTest::newRow("Simplified Chinese") << QLocale(QStringLiteral("zh_CN")) << "zh_CN"
                                        << QStringLiteral("没有网络就无法使用本软件！");
    QTest::newRow("Simplified Chinese in Singapore")
        << QLocale(QStringLiteral("zh_SG")) << "zh_CN" << QStringLiteral("没有网络就无法使用本软件！");
    QTest::newRow("Traditional Chinese: no catalogue") << QLocale(QStringLiteral("zh_TW")) << "" << english;
    QTest::newRow("C") << QLocale::c() << "" << english;
    QTest::newRow("English") << QLocale(QStringLiteral("en_US")) << "" << english;
    QTest::newRow("British English") << QLocale(QStringLiteral("en_GB")) << "" << english;
    QTest::newRow("a language without a translation") << QLocale(QStringLiteral("de_DE")) << "" << english;
}

void TestTranslations::languageFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, language);
    QFETCH(QString, message);

    const Translations translations(locale);
    QCOMPARE(translations.language(), language);
    QCOMPARE(translations.text("Form1", "You can't use this software without network!"), message);
    QCOMPARE(translations.text("Form1", "a text that nobody translated"),
             QStringLiteral("a text that nobody translated"));
}

// The catalogues brought up to date with the sources, as scripts/update-translations does it, hold no text
// without a translation, and every translation keeps its source's placeholders and keyboard mnemonic.
void TestTranslations::everyTextOfTheProgramIsTranslated()
{
    const QDir source(QStringLiteral(QUILLABRIX_SOURCE_ROOT));
    const QStringList catalogues = source.entryList({QStringLiteral("*.ts")}, QDir::Files);
    QVERIFY(catalogues.contains(QStringLiteral("quillabrix_zh_CN.ts")));
    QTemporaryDir work;
    QVERIFY(work.isValid());
    for (const QString &name : catalogues) {
        const QString copy = work.filePath(name);
        QVERIFY(QFile::copy(source.filePath(name), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        QProcess lupdate;
        lupdate.setProcessChannelMode(QProcess::MergedChannels);
        lupdate.setWorkingDirectory(QDir(source.filePath(QStringLiteral(".."))).absolutePath());
        lupdate.start(QStringLiteral(QUILLABRIX_LUPDATE),
                      {QStringLiteral("-silent"), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                       QStringLiteral("none"), QStringLiteral("-extensions"), QStringLiteral("cpp,h"),
                       QStringLiteral("-source-language"), QStringLiteral("en"), QStringLiteral("src"),
                       QStringLiteral("-ts"), copy});
        QVERIFY(lupdate.waitForFinished(120000));
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAll().constData());

        QString error;
        const QList<Message> messages = readCatalogue(copy, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(messages.size() > 50);
        QStringList faults;
        for (const Message &m : messages) {
            const QString where = QStringLiteral("%1 \"%2\"").arg(m.context, m.source);
            if (!m.type.isEmpty() || m.translation.isEmpty())
                faults << where + QStringLiteral(": no translation (run scripts/update-translations, then translate)");
            else if (placeholders(m.source) != placeholders(m.translation))
                faults << where + QStringLiteral(": the placeholders differ in \"%1\"").arg(m.translation);
            else if (m.source.contains(QRegularExpression(QStringLiteral("&\\w"))) &&
                     !m.translation.contains(QRegularExpression(QStringLiteral("&\\w"))))
                faults << where + QStringLiteral(": the keyboard mnemonic is lost in \"%1\"").arg(m.translation);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(name + QStringLiteral(":\n") + faults.join(QLatin1Char('\n'))));
    }
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
