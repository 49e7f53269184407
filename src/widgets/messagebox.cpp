#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void MessageBox::show(Icon icon, const QString &text, QWidget *parent)
{
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Warning, title(), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool MessageBox::ask(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, title(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
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
