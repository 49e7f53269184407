#include "form1fixture.h"
#include "library/gamelistmodel.h"
#include "library/librarypanel.h"
#include "swfwriter.h"
#include "testfiles.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>

namespace {

constexpr int kTimeout = 60000; // a cold renderer compiles Ruffle's wasm first

// Texts that come from outside the program: a title and a description from the server, and the names of
// files the user adds. Each is long enough for the grid to give it a tooltip. The picture they name is none.
const QString kTitle = QStringLiteral("<img src=\"quillabrix-no-picture.png\">Nice game, with a title long enough");
const QString kDescription =
    QStringLiteral("<b>Bold</b> and <a href=\"http://127.0.0.1:1/\">a link</a> in a description long enough");
const QString kOwnGame = QStringLiteral("<img src=\"own.png\">Own game, with a file name long enough");
const QString kNotAMovie = QStringLiteral("<img src=\"refused.png\">Not a movie");

// What the user reads of a text shown in a format: Qt takes a text that looks like markup for markup unless it
// is told the text is plain.
QString seen(const QString &text, Qt::TextFormat format = Qt::RichText)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// Every text from outside found in what the window shows, with where it was, and where it acted as markup.
struct Findings
{
    QStringList places;
    QStringList markup;

    void look(const QString &place, const QString &text, Qt::TextFormat format)
    {
        for (const QString &outside : {kTitle, kDescription, kOwnGame, kNotAMovie}) {
            if (!text.contains(outside) && !seen(text).contains(outside)) // as it is, or escaped
                continue;
            places << place;
            if (!seen(text, format).contains(outside))
                markup << place + QLatin1String(": ") + text;
        }
    }

    void lookAt(const QString &place, QWidget *widget)
    {
        const QString name = place + QLatin1Char('/') + widget->objectName();
        if (auto *label = qobject_cast<QLabel *>(widget))
            look(name, label->text(), label->textFormat());
        look(name + QLatin1String(" tooltip"), widget->toolTip(), Qt::AutoText);
        // A cell's tooltip is shown as a tooltip label shows any text.
        if (auto *view = qobject_cast<QAbstractItemView *>(widget); view && view->model()) {
            const QAbstractItemModel *model = view->model();
            for (int row = 0; row < model->rowCount(); ++row) {
                for (int column = 0; column < model->columnCount(); ++column)
                    look(name + QLatin1String(" cell tooltip"),
                         model->index(row, column).data(Qt::ToolTipRole).toString(), Qt::AutoText);
            }
        }
    }

    void lookAtAll(const QString &place, QWidget *top)
    {
        lookAt(place, top);
        for (QWidget *child : top->findChildren<QWidget *>())
            lookAt(place, child);
    }
};

} // namespace

// Titles and descriptions from the server, file names and what the library holds are shown as the characters
// they are: markup in them never acts, in any label, tooltip or message of the window.
class TestPlainText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void markupFromOutsideNeverActsAnywhere();

private:
    PortalServer m_server;
};

void TestPlainText::initTestCase()
{
    QVERIFY(m_server.start());
}

void TestPlainText::markupFromOutsideNeverActsAnywhere()
{
    WindowUnderTest w(m_server.baseUrl());
    QVERIFY(w.start());
    Form1 *f = w.window.get();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));

    // A game whose title and description are markup, downloaded as the server sends it.
    const QString answer =
        QStringLiteral("77|%1|%2|%3|%4")
            .arg(kTitle, kDescription, m_server.url(QStringLiteral("movies/pocket-racer.swf")).toString(),
                 m_server.url(QStringLiteral("pics/pocket-racer.png")).toString());
    QSignalSpy finished(f, &Form1::downloadFinished);
    f->Web_V2_NewWindow(
        m_server.url(QStringLiteral("game.asp?answer=") + QString::fromLatin1(QUrl::toPercentEncoding(answer))));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeout);
    QVERIFY(finished.first().first().toBool());

    // A movie of the user's, and a file named like one that is none.
    QTemporaryDir own;
    swf::MovieSpec spec;
    spec.frameColors = {0x20A040};
    const std::string movie = swf::writeSolidColourMovie(spec);
    QVERIFY(testfiles::writeFile(own.filePath(kOwnGame + QLatin1String(".swf")),
                                 QByteArray(movie.data(), qsizetype(movie.size()))));
    QVERIFY(testfiles::writeFile(own.filePath(kNotAMovie + QLatin1String(".swf")), "not a movie at all"));
    f->addGames({own.path()});
    QTRY_COMPARE_WITH_TIMEOUT(w.messages.shown.size(), 1, kTimeout);

    // The library: the server's game selected, its details shown, the Delete key's question, the tooltips.
    f->b_local_Click();
    LibraryPanel *library = ui::game_main(f);
    QTableView *grid = ui::game_list(library);
    QTRY_COMPARE_WITH_TIMEOUT(library->model()->rowCount(), 3, kTimeout);
    int row = 1;
    while (row < 3 && library->model()->index(row, GameListModel::GameColumn).data().toString() != kTitle)
        ++row;
    QVERIFY(row < 3);
    const QPoint cell = grid->visualRect(grid->model()->index(row, GameListModel::GameColumn)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    // A title too long for its place ends in an ellipsis; the whole of it is its tooltip.
    QCOMPARE(ui::loc_name(library)->toolTip(), Qt::convertFromPlainText(kTitle, Qt::WhiteSpaceNormal));
    QCOMPARE(QApplication::focusWidget(), grid);
    w.messages.answer = false;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(w.messages.asked.size(), 1);
    QHelpEvent hover(QEvent::ToolTip, cell, grid->viewport()->mapToGlobal(cell));
    QApplication::sendEvent(grid->viewport(), &hover);

    Findings findings;
    for (QWidget *top : QApplication::topLevelWidgets())
        findings.lookAtAll(top->objectName(), top);
    // The boxes the program would have shown, made by the one class that shows them.
    for (const auto &[icon, text] : w.messages.shown)
        findings.lookAtAll(QStringLiteral("message"), MessageBox::messageBox(icon, text).get());
    for (const QString &text : w.messages.asked)
        findings.lookAtAll(QStringLiteral("question"), MessageBox::questionBox(text).get());

    QVERIFY2(findings.markup.isEmpty(), qPrintable(findings.markup.join(QLatin1String("\n"))));
    // Each place that shows a text from outside was looked at.
    for (const QString &place :
         {QStringLiteral("Form1/loc_name tooltip"), QStringLiteral("Form1/loc_dec"), QStringLiteral("Form1/gamename"),
          QStringLiteral("Form1/gamedec"), QStringLiteral("Form1/game_list cell tooltip"),
          QStringLiteral("qtooltip_label/qtooltip_label"), QStringLiteral("message/qt_msgbox_label"),
          QStringLiteral("question/qt_msgbox_label")})
        QVERIFY2(findings.places.contains(place), qPrintable(place));
}

QUILLABRIX_WINDOW_TEST_MAIN(TestPlainText)
#include "tst_plaintext.moc"
