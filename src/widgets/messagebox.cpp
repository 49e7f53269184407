#include "widgets/messagebox.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

// The buttons are named by the program, so that they speak its language even where Qt's own translations
// are not installed.
void nameButtons(QMessageBox &box)
{
    if (QAbstractButton *ok = box.button(QMessageBox::Ok))
        ok->setText(QCoreApplication::translate("MessageBox", "OK"));
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QCoreApplication::translate("MessageBox", "&Yes"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QCoreApplication::translate("MessageBox", "&No"));
}

} // namespace

std::unique_ptr<QMessageBox> MessageBox::messageBox(Icon icon, const QString &text, QWidget *parent)
{
    const QMessageBox::Icon shown = icon == Icon::Critical  ? QMessageBox::Critical
                                    : icon == Icon::Warning ? QMessageBox::Warning
                                                            : QMessageBox::Information;
    auto box = std::make_unique<QMessageBox>(shown, title(), QString(), QMessageBox::Ok, parent);
    // Set before the text: Qt would otherwise take a text that looks like markup for markup, and load what an
    // <img> in it names from the disk.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    nameButtons(*box);
    return box;
}

std::unique_ptr<QMessageBox> MessageBox::questionBox(const QString &text, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, title(), QString(),
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setDefaultButton(QMessageBox::No);
    nameButtons(*box);
    return box;
}

void MessageBox::show(Icon icon, const QString &text, QWidget *parent)
{
    messageBox(icon, text, parent)->exec();
}

bool MessageBox::ask(const QString &text, QWidget *parent)
{
    return questionBox(text, parent)->exec() == QMessageBox::Yes;
}

QStringList MessageBox::chooseMovies(QWidget *parent)
{
    return QFileDialog::getOpenFileNames(parent, QCoreApplication::translate("MessageBox", "Add games"), QString(),
                                         QCoreApplication::translate("MessageBox", "Flash movies (*.swf *.SWF)"));
}

QString MessageBox::chooseMovieFolder(QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent,
                                             QCoreApplication::translate("MessageBox", "Add a folder of games"));
}

QString MessageBox::title()
{
    return QCoreApplication::translate("MessageBox", "Quillabrix Game");
}

bool UrlOpener::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
