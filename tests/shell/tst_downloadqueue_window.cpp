#include "base/portal/moviedownload.h"
#include "form1fixture.h"
#include "pagedriver.h"
#include "portal/downloadlist.h"
#include "testfiles.h"

#include <QPushButton>
#include <QTreeWidget>

#include <memory>

namespace {

using testfiles::filesIn;

constexpr int kTimeout = 60000; // a cold renderer compiles Ruffle's wasm first

// The rows of the downloads list: "title|state".
QStringList rowsOf(const DownloadList *list)
{
    QStringList rows;
    for (int i = 0; i < list->list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->list->topLevelItem(i);
        rows << item->text(DownloadList::Title) + QLatin1Char('|') + item->text(DownloadList::State);
    }
    rows.sort();
    return rows;
}

} // namespace

// Games clicked one after another in the portal, queued and listed, while the user plays or leaves the program.
class TestDownloadQueueWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void threeGamesClickedInARowAllArrive();
    void unfinishedGamesComeAtTheNextStart();
    void cancellingTheGameWaitedFor();

private:
    // Shows a page with a link to each game query, and clicks them one after another as the user does.
    bool clickGames(Form1 *window, const QStringList &queries);

    PortalServer m_server;
};

bool TestDownloadQueueWindow::clickGames(Form1 *window, const QStringList &queries)
{
    WebBrowser *browser = ui::main_web(window);
    QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
    QString html;
    for (int i = 0; i < queries.size(); ++i)
        html += QStringLiteral("<p><a id=\"g%1\" target=\"_blank\" href=\"game.asp?%2\">game</a></p>")
                    .arg(i)
                    .arg(queries.at(i).toHtmlEscaped());
    browser->setHtml(html, m_server.baseUrl());
    if (!QTest::qWaitFor([&] { return !loaded.isEmpty() && browser->focusProxy(); }, kTimeout))
        return false;
    for (int i = 0; i < queries.size(); ++i) {
        if (!pagedriver::clickElement(browser, QStringLiteral("#g%1").arg(i)))
            return false;
    }
    return true;
}

void TestDownloadQueueWindow::threeGamesClickedInARowAllArrive()
{
    WindowUnderTest w(m_server.baseUrl());
    QVERIFY(w.start());
    Form1 *f = w.window.get();
    QSignalSpy recorded(f, &Form1::gameRecorded);

    QVERIFY(
        clickGames(f, {QStringLiteral("id=4&moviefault=trickle-300"), QStringLiteral("id=5"), QStringLiteral("id=7")}));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 3, kTimeout);
    QVERIFY(w.messages.shown.isEmpty());
    QCOMPARE(filesIn(w.folder.filePath(QStringLiteral("flash"))),
             QStringList({QStringLiteral("moon-lander.swf"), QStringLiteral("pocket-racer.swf"),
                          QStringLiteral("tiny-tennis.swf")}));
    QCOMPARE(w.store().count(), std::optional<qint64>(3));
    // The last game clicked plays; the others did not take the player from it.
    QVERIFY(ui::flash_main(f)->isVisible());
    QCOMPARE(f->loadedMovieName(), QStringLiteral("moon-lander.swf"));

    // The list, opened with its menu's shortcut, shows the three done; they can be cleared.
    auto *list = f->findChild<DownloadList *>();
    QVERIFY(list);
    QVERIFY(list->isHidden());
    QTest::keyClick(f->windowHandle(), Qt::Key_J, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kTimeout);
    QCOMPARE(rowsOf(list), QStringList({QStringLiteral("Moon Lander|Done"), QStringLiteral("Pocket Racer|Done"),
                                        QStringLiteral("Tiny Tennis|Done")}));
    QVERIFY(!list->b_cancel->isEnabled());
    // A double-click on a finished game plays it; Escape closes the list.
    QTreeWidgetItem *pocket = list->list->findItems(QStringLiteral("Pocket Racer"), Qt::MatchExactly).value(0);
    QVERIFY(pocket);
    const QPoint at = list->list->visualItemRect(pocket).center();
    QTest::mouseClick(list->list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->list->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(f->loadedMovieName(), QStringLiteral("pocket-racer.swf"), kTimeout);
    list->showList();
    QTest::keyClick(list->list, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(list->isHidden(), kTimeout);
    list->showList();
    QTest::mouseClick(list->b_clear, Qt::LeftButton);
    QCOMPARE(list->list->topLevelItemCount(), 0);
}

void TestDownloadQueueWindow::unfinishedGamesComeAtTheNextStart()
{
    WindowUnderTest w(m_server.baseUrl());
    QVERIFY(w.start());
    QVERIFY(clickGames(w.window.get(), {QStringLiteral("id=4&moviefault=trickle-500")}));
    auto *list = w.window->findChild<DownloadList *>();
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(list), QStringList{QStringLiteral("Pocket Racer|Downloading")}, kTimeout);

    // The program is closed with the game unfinished.
    QVERIFY(w.window->close());
    QVERIFY(w.restart(m_server.baseUrl()));
    QSignalSpy recorded(w.window.get(), &Form1::gameRecorded);
    QTRY_COMPARE_WITH_TIMEOUT(recorded.count(), 1, kTimeout);
    QCOMPARE(recorded.first().first().toString(), QStringLiteral("4"));
    QVERIFY(ui::main_main(w.window)->isVisible()); // it came without taking over the window
    QCOMPARE(rowsOf(w.window->findChild<DownloadList *>()), QStringList{QStringLiteral("Pocket Racer|Done")});
    QVERIFY(!QFileInfo::exists(ui::acquisition(w.window)->queueFile()));
}

void TestDownloadQueueWindow::cancellingTheGameWaitedFor()
{
    WindowUnderTest w(m_server.baseUrl());
    QVERIFY(w.start());
    Form1 *f = w.window.get();
    QVERIFY(clickGames(f, {QStringLiteral("id=4&moviefault=trickle-500")}));
    auto *list = f->findChild<DownloadList *>();
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(list), QStringList{QStringLiteral("Pocket Racer|Downloading")}, kTimeout);
    QVERIFY(ui::download_main(f)->isVisible());

    QTest::keyClick(f->windowHandle(), Qt::Key_J, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kTimeout);
    QTest::mouseClick(list->list->viewport(), Qt::LeftButton, {},
                      list->list->visualItemRect(list->list->topLevelItem(0)).center());
    QVERIFY(list->b_cancel->isEnabled());
    QTest::mouseClick(list->b_cancel, Qt::LeftButton);
    QCOMPARE(list->list->topLevelItemCount(), 0);
    QCOMPARE(ui::download_main(f)->lblSpeed->text(), QStringLiteral("Download cancelled"));
    // Nothing of it stays: no movie, no partial, no row, no queue.
    QTRY_VERIFY_WITH_TIMEOUT(f->findChildren<MovieDownload *>().isEmpty(), kTimeout);
    QCOMPARE(QDir(w.folder.filePath(QStringLiteral("flash"))).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(w.store().count(), std::optional<qint64>(0));
    QVERIFY(!QFileInfo::exists(ui::acquisition(f)->queueFile()));
}

QUILLABRIX_WINDOW_TEST_MAIN(TestDownloadQueueWindow)
#include "tst_downloadqueue_window.moc"
