#include "player/playerpanel.h"

#include "player/flashplayer.h"
#include "widgets/picturebutton.h"
#include "widgets/twips.h"

#include <QDir>
#include <QLineEdit>

namespace {

// Bottom of the button row, with a small gap: where the player starts when the row stays reachable.
constexpr int playerTopBelowButtons = 690;
constexpr int playerBottomMargin = 30;

} // namespace

PlayerPanel::PlayerPanel(PlayerProfile *profile, const QString &imagesFolder, QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("flash_main"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#flash_main { background: #E0E0E0; }"));

    flash = new FlashPlayer(profile, this);
    flash->setObjectName(QStringLiteral("flash"));

    Text1 = new QLineEdit(tr("F6 To Full Screen"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setFrame(false);
    Text1->setFocusPolicy(Qt::NoFocus);
    QFont hint(QStringLiteral("Arial"));
    hint.setPointSizeF(6.75);
    Text1->setFont(hint);
    Text1->setStyleSheet(QStringLiteral("background: transparent; color: #404040;"));
    twips::place(Text1, 50, 130, 1100, 180);

    const QDir images(imagesFolder);
    auto button = [&](const char *name, const char *file, const QString &tip, int left, int top) {
        auto *b = new PictureButton(QString::fromLatin1(name), images.filePath(QString::fromLatin1(file)), tip, this);
        twips::place(b, left, top, 450, 450);
        return b;
    };
    b_rewind = button("b_rewind", "b_rewind.png", tr("Rewind"), 240, 200);
    b_pause = button("b_pause", "b_pause.png", tr("Pause"), 1035, 195);
    b_play = button("b_play", "b_play.png", tr("Play"), 1035, 195); // lies over the pause picture
    b_Forward = button("b_Forward", "b_forward.png", tr("Forward"), 1785, 195);
    b_full = button("b_full", "b_full.png", tr("Full Screen"), 2580, 195);
    b_local = button("b_local", "b_local.png", tr("local Game"), 3360, 195);
    b_play->hide();

    connect(b_play, &PictureButton::clicked, this, &PlayerPanel::b_play_Click);
    connect(b_pause, &PictureButton::clicked, this, &PlayerPanel::b_pause_Click);
    connect(b_Forward, &PictureButton::clicked, this, &PlayerPanel::b_Forward_Click);
    connect(b_rewind, &PictureButton::clicked, this, &PlayerPanel::b_rewind_Click);
    connect(b_rewind, &PictureButton::mousePressed, this, &PlayerPanel::b_rewind_MouseDown);
    connect(b_rewind, &PictureButton::mouseReleased, this, &PlayerPanel::b_rewind_MouseUp);
    connect(b_rewind, &PictureButton::mouseMoved, this, &PlayerPanel::b_rewind_MouseMove);
    connect(b_full, &PictureButton::clicked, this, &PlayerPanel::fullScreenClicked);
    connect(b_local, &PictureButton::clicked, this, &PlayerPanel::localClicked);
}

void PlayerPanel::keepButtonRowAbovePlayer()
{
    const double panelHeight = twips::fromPixels(height());
    const double top = playerTopBelowButtons;
    flash->setGeometry(flash->x(), twips::positionToPixels(top), flash->width(),
                       twips::toPixels(panelHeight - top - playerBottomMargin));
    // The hint goes to the end of the button row, where the player does not cover it.
    twips::place(Text1, 3960, 330, 1500, 180);
    for (QWidget *w :
         {static_cast<QWidget *>(b_rewind), static_cast<QWidget *>(b_pause), static_cast<QWidget *>(b_play),
          static_cast<QWidget *>(b_Forward), static_cast<QWidget *>(b_full), static_cast<QWidget *>(b_local)})
        w->raise();
    b_play->raise();
}

void PlayerPanel::b_play_Click()
{
    b_play->hide();
    flash->setPlaying(true);
}

void PlayerPanel::b_pause_Click()
{
    b_play->show();
    flash->setPlaying(false);
}

void PlayerPanel::b_Forward_Click()
{
    flash->Forward();
}

void PlayerPanel::b_rewind_Click()
{
    flash->Rewind();
}

void PlayerPanel::moveRewind(int topTwips, int leftTwips)
{
    b_rewind->move(b_rewind->x(), twips::positionToPixels(topTwips));
    b_rewind->move(twips::positionToPixels(leftTwips), b_rewind->y());
}

void PlayerPanel::b_rewind_MouseDown()
{
    moveRewind(200, 240);
}

void PlayerPanel::b_rewind_MouseUp()
{
    moveRewind(200, 240);
}

void PlayerPanel::b_rewind_MouseMove()
{
    moveRewind(190, 230);
}
