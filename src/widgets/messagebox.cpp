#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void MessageBox::show(Icon icon, const QString &text, QWidget *parent)
{
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Warning, title(), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

QString MessageBox::title()
{
    return QCoreApplication::translate("MessageBox", "Quillabrix Game");
}

bool UrlOpener::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
