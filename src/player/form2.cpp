#include "player/form2.h"

#include "player/flashplayer.h"
#include "widgets/picturebutton.h"
#include "widgets/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QShortcut>

Form2::Form2(const QString &appFolder, QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Quillabrix Game"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    setPalette(pal);
    resize(twips::toPixels(4680), twips::toPixels(3195));

    b_exit = new PictureButton(QStringLiteral("b_exit"), QDir(appFolder).filePath(QStringLiteral("images/b_exit.png")),
                               tr("Close"), this);
    twips::place(b_exit, 2400, 1560, 285, 255);
    b_exit->raise();
    connect(b_exit, &PictureButton::clicked, this, &Form2::b_exit_Click);
    // Escape leaves full screen even while the game has the keyboard.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (isVisible())
            b_exit_Click();
    });
}

void Form2::Form_Load()
{
    hide();
}

void Form2::showPlayer(FlashPlayer *player)
{
    Flash1 = player;
    player->setParent(this);
    Form_Resize();
    player->show();
    b_exit->raise();
    player->focusGame(); // the game keeps the keyboard
}

FlashPlayer *Form2::takePlayer()
{
    FlashPlayer *player = Flash1;
    Flash1 = nullptr;
    return player;
}

void Form2::Form_Resize()
{
    if (Flash1)
        Flash1->setGeometry(0, 0, width(), height());
    const double widthTwips = twips::fromPixels(width());
    b_exit->move(b_exit->x(), twips::positionToPixels(10));
    b_exit->move(twips::positionToPixels(widthTwips - 275), b_exit->y());
    b_exit->raise();
}

void Form2::b_exit_Click()
{
    emit leavingFullScreen(); // the main window takes its player back
    hide();
}

void Form2::unload()
{
    m_unloading = true;
    close();
}

void Form2::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form2::closeEvent(QCloseEvent *event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    // Any other way of closing (the window manager, Alt+F4) returns to the main window like the close picture.
    event->ignore();
    if (isVisible())
        b_exit_Click();
}
