#include "base/translations.h"
#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "pagedriver.h"
#include "testfiles.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMutex>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSet>
#include <QTableView>

#include <memory>

namespace {

constexpr int kTimeout = 30000;

// Asked before every other catalogue, it answers nothing and remembers every text the program asked for in its
// own contexts (Qt's classes ask for theirs from Qt's catalogue).
class AskedTexts : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *disambiguation, int n) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        const QByteArray name(context ? context : "");
        if (!name.isEmpty() && source && *source &&
            !(name.startsWith('Q') && name.size() > 1 && name.at(1) >= 'A' && name.at(1) <= 'Z')) {
            const QMutexLocker lock(&m_mutex);
            m_asked.insert({name, QByteArray(source)});
        }
        return QString();
    }
    QList<std::pair<QByteArray, QByteArray>> asked() const
    {
        const QMutexLocker lock(&m_mutex);
        return QList<std::pair<QByteArray, QByteArray>>(m_asked.begin(), m_asked.end());
    }

private:
    mutable QMutex m_mutex;
    mutable QSet<std::pair<QByteArray, QByteArray>> m_asked;
};

// The texts a widget shows of its own (not the games' titles and descriptions, which come from the server).
QStringList textsOf(QWidget *widget)
{
    QStringList texts{widget->toolTip(), widget->statusTip()};
    if (widget->isWindow())
        texts << widget->windowTitle();
    if (auto *label = qobject_cast<QLabel *>(widget))
        texts << label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        texts << button->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        texts << edit->text() << edit->placeholderText();
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    if (auto *table = qobject_cast<QTableView *>(widget)) {
        for (int column = 0; column < table->model()->columnCount(); ++column)
            texts << table->model()->headerData(column, Qt::Horizontal).toString();
    }
    if (auto *bar = qobject_cast<QMenuBar *>(widget)) {
        for (QAction *menu : bar->actions()) {
            texts << menu->text() << menu->toolTip();
            if (menu->menu()) {
                for (QAction *entry : menu->menu()->actions())
                    texts << entry->text() << entry->toolTip();
            }
        }
    }
    texts.removeAll(QString());
    return texts;
}

// An English word left in a Chinese window: two Latin letters in a row, once the names that stay as they are
// (the program's, the Flash format's, a key's) and number placeholders are taken out.
bool hasEnglish(QString text)
{
    static const QRegularExpression kept(QStringLiteral("Quillabrix|Flash|SWF|swf|MiB|F6|Ctrl"));
    text.remove(kept);
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    return text.contains(word);
}

} // namespace

// The program speaks the language of the locale it is started in, the way it is started: the test is run once
// under LANG=zh_CN.UTF-8 and once under LANG=C. Chinese: every text the window shows has its translation;
// C: the texts are exactly the English ones.
class TestTranslatedWindow : public QObject
{
    Q_OBJECT

public:
    explicit TestTranslatedWindow(Translations *translations) : m_translations(translations) {}

private slots:
    void initTestCase();
    void startupRefusal();
    void downloadPanel();
    void everyTextShownHasItsTranslation();
    void messageBoxButtons();

private:
    bool chinese() const { return !m_translations->language().isEmpty(); }
    std::unique_ptr<WindowUnderTest> startedWindow();

    Translations *m_translations;
    PortalServer m_server;
};

void TestTranslatedWindow::initTestCase()
{
    const QString lang = qEnvironmentVariable("LANG");
    QVERIFY2(lang.startsWith(QLatin1String("zh_CN")) || lang == QLatin1String("C"), qPrintable(lang));
    QCOMPARE(m_translations->language(), lang == QLatin1String("C") ? QString() : QStringLiteral("zh_CN"));
    QVERIFY(m_server.start({QStringLiteral("--games"), PortalServer::gamesFolder()}));
}

std::unique_ptr<WindowUnderTest> TestTranslatedWindow::startedWindow()
{
    auto w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    return w->start() ? std::move(w) : nullptr;
}

void TestTranslatedWindow::startupRefusal()
{
    WindowUnderTest w(m_server.url(QStringLiteral("mode/html/")));
    QVERIFY(!w.start());
    QCOMPARE(w.messages.texts(),
             QStringList{chinese() ? QStringLiteral("没有网络就无法使用本软件！")
                                   : QStringLiteral("You can't use this software without network!")});
}

void TestTranslatedWindow::downloadPanel()
{
    auto w = startedWindow();
    QVERIFY(w);
    Form1 *f = w->window.get();
    DownloadPanel *panel = ui::download_main(f);
    QString connecting;
    connect(ui::acquisition(f), &GameAcquisition::detailsArrived, this, [&] { connecting = panel->lblSpeed->text(); });
    QSignalSpy finished(f, &Form1::downloadFinished);

    f->Web_V2_NewWindow(m_server.url(QStringLiteral("game.asp?id=4")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeout);
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(panel->Label1->text(), chinese() ? QStringLiteral("下载游戏：") : QStringLiteral("Download Game:"));
    QCOMPARE(connecting, chinese() ? QStringLiteral("正在连接……") : QStringLiteral("Connecting ..."));
    QCOMPARE(panel->lblSpeed->text(), chinese() ? QStringLiteral("下载 3/3K") : QStringLiteral("Download 3/3K"));

    f->Web_V2_NewWindow(m_server.url(QStringLiteral("game.asp?id=5&moviefault=404")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kTimeout);
    QCOMPARE(finished.last().first().toBool(), false);
    QCOMPARE(panel->lblSpeed->text(), chinese() ? QStringLiteral("下载失败") : QStringLiteral("Download failed"));
}

// Goes through the window's panes and flows, then looks at every text the window shows and every text the
// program asked for on the way.
void TestTranslatedWindow::everyTextShownHasItsTranslation()
{
    if (!chinese())
        QSKIP("English is the language of the texts themselves");
    AskedTexts asked; // taken out of the application again when it goes
    QCoreApplication::installTranslator(&asked);
    auto w = std::make_unique<WindowUnderTest>(m_server.baseUrl());
    QVERIFY(w->start());
    Form1 *f = w->window.get();
    QSignalSpy finished(f, &Form1::downloadFinished);

    // A game that does not exist, then one that does (its title and description are Chinese), played.
    f->Web_V2_NewWindow(m_server.url(QStringLiteral("game.asp?answer=0")));
    QTRY_VERIFY_WITH_TIMEOUT(!w->messages.shown.isEmpty(), kTimeout);
    f->Web_V2_NewWindow(m_server.url(QStringLiteral("game.asp?id=11")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeout);
    QVERIFY(finished.first().first().toBool());
    QVERIFY(ui::flash_main(f)->isVisible());
    f->m_fullscreen_Click();
    QTRY_VERIFY_WITH_TIMEOUT(ui::form2()->isVisible(), kTimeout);
    QTest::mouseClick(ui::form2()->b_exit, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui::form2()->isVisible(), kTimeout);

    // The library: a game played once, a filter, a file that is not a movie, the question before a delete.
    f->b_local_Click();
    LibraryPanel *library = ui::game_main(f);
    QTRY_VERIFY_WITH_TIMEOUT(library->model()->rowCount() > 1, kTimeout);
    const auto clickFirstGame = [library] { // the row under the column titles
        QTableView *grid = ui::game_list(library);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(1, GameListModel::GameColumn)).center());
    };
    clickFirstGame();
    QTRY_VERIFY_WITH_TIMEOUT(!ui::loc_stats(library)->text().isEmpty(), kTimeout);
    ui::game_search(library)->setText(QStringLiteral("熊猫"));
    ui::game_search(library)->setText(QStringLiteral("没有这个游戏"));
    // Every text the two windows show of their own; the game's title and description come from the server.
    const QStringList fromServer{QStringLiteral("gamename"), QStringLiteral("gamedec"), QStringLiteral("loc_name"),
                                 QStringLiteral("loc_dec")};
    QStringList texts;
    for (QWidget *top : {static_cast<QWidget *>(f), static_cast<QWidget *>(ui::form2())}) {
        texts << textsOf(top);
        for (QWidget *child : top->findChildren<QWidget *>()) {
            if (!fromServer.contains(child->objectName()))
                texts << textsOf(child);
        }
    }
    ui::game_search(library)->clear();
    QTRY_VERIFY_WITH_TIMEOUT(library->model()->rowCount() > 1, kTimeout);
    clickFirstGame();
    QTRY_VERIFY_WITH_TIMEOUT(ui::Game_Delete(library)->isVisible(), kTimeout);
    QTest::keyClick(ui::game_list(library), Qt::Key_Delete);
    QCOMPARE(w->messages.asked.size(), 1);
    QTemporaryDir folder;
    const QString notAMovie = folder.filePath(QStringLiteral("笔记.swf"));
    testfiles::writeFile(notAMovie, "not a movie at all");
    f->addGames({notAMovie});
    QTRY_COMPARE_WITH_TIMEOUT(w->messages.shown.size(), 2, kTimeout);

    QStringList english;
    for (const QString &text : texts + w->messages.texts() + w->messages.asked) {
        if (hasEnglish(text))
            english << text;
    }
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QLatin1String(" | "))));

    QTranslator own;
    QVERIFY(own.load(QStringLiteral(":/translations/quillabrix_zh_CN.qm")));
    QStringList untranslated;
    for (const auto &[context, source] : asked.asked()) {
        if (own.translate(context.constData(), source.constData()).isEmpty())
            untranslated << QString::fromUtf8(context + ": " + source);
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(QLatin1String(" | "))));
    QVERIFY2(asked.asked().size() >= 30, "the window asked for fewer texts than it shows");
}

// The message boxes name their buttons themselves, in the program's language.
void TestTranslatedWindow::messageBoxButtons()
{
    QStringList buttons;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        buttons << box->windowTitle();
        for (QAbstractButton *button : box->buttons())
            buttons << button->text();
        box->button(QMessageBox::No) ? box->button(QMessageBox::No)->click() : box->button(QMessageBox::Ok)->click();
    });
    MessageBox messages;
    QVERIFY(!messages.ask(QStringLiteral("?")));
    buttons.sort();
    QStringList expected =
        chinese() ? QStringList{QStringLiteral("Quillabrix 游戏"), QStringLiteral("否(&N)"), QStringLiteral("是(&Y)")}
                  : QStringList{QStringLiteral("&No"), QStringLiteral("&Yes"), QStringLiteral("Quillabrix Game")};
    expected.sort();
    QCOMPARE(buttons, expected);
}

int main(int argc, char *argv[])
{
    PlayerProfile::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Translations translations; // from the locale the test was started in, as the program does
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    translations.install();
    TestTranslatedWindow tc(&translations);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_translatedwindow.moc"
