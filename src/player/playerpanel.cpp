#include "player/playerpanel.h"

#include "player/flashplayer.h"
#include "widgets/picturebutton.h"
#include "widgets/twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

namespace {

// Bottom of the button row, with a small gap: where the player starts when the row stays reachable.
constexpr int playerTopBelowButtons = 690;
constexpr int playerBottomMargin = 30;

// The sound picture, drawn like the button row's artwork: a dark rounded square with a white glyph and an
// orange stripe at its foot. Muted, the speaker is crossed out; otherwise it sends out two waves.
QPixmap soundPicture(bool muted)
{
    constexpr int size = 30;
    constexpr qreal scale = 2; // sharp on screens with twice the pixels too
    QPixmap picture(int(size * scale), int(size * scale));
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, size);
    face.setColorAt(0, QColor(0x6a, 0x74, 0x81));
    face.setColorAt(1, QColor(0x2d, 0x35, 0x40));
    p.setPen(QPen(QColor(0x1e, 0x24, 0x2b), 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), 3, 3);
    p.fillRect(QRectF(4, 26, size - 8, 2), QColor(0xbf, 0x69, 0x13));

    QPainterPath speaker;
    speaker.moveTo(7, 11);
    speaker.lineTo(10, 11);
    speaker.lineTo(15, 6.5);
    speaker.lineTo(15, 21.5);
    speaker.lineTo(10, 17);
    speaker.lineTo(7, 17);
    speaker.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(speaker);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    if (muted) {
        p.drawLine(QPointF(18, 10.5), QPointF(24, 17.5));
        p.drawLine(QPointF(24, 10.5), QPointF(18, 17.5));
    } else {
        p.drawArc(QRectF(13, 9, 6, 10), -50 * 16, 100 * 16);
        p.drawArc(QRectF(12, 6, 11, 16), -55 * 16, 110 * 16);
    }
    return picture;
}

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

    b_mute = new PictureButton(QStringLiteral("b_mute"), QString(), QString(), this); // drawn by showSound
    twips::place(b_mute, 5640, 195, 450, 450);
    volume_slider = new QSlider(Qt::Horizontal, this);
    volume_slider->setObjectName(QStringLiteral("volume_slider"));
    volume_slider->setRange(0, 100);
    volume_slider->setSingleStep(5);
    volume_slider->setPageStep(10);
    volume_slider->setFocusPolicy(Qt::NoFocus); // a click on it leaves the keys with the game
    volume_slider->setToolTip(tr("Volume"));
    volume_slider->setAccessibleName(tr("Volume"));
    volume_slider->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; background: #2d3540; border-radius: 2px; }"
        "QSlider::sub-page:horizontal { background: #bf6913; border-radius: 2px; }"
        "QSlider::handle:horizontal { width: 10px; margin: -5px 0; border-radius: 5px; background: #6a7481;"
        " border: 1px solid #1e242b; }"));
    twips::place(volume_slider, 6165, 300, 1500, 240);
    showSound(100, false);

    connect(b_play, &PictureButton::clicked, this, &PlayerPanel::b_play_Click);
    connect(b_pause, &PictureButton::clicked, this, &PlayerPanel::b_pause_Click);
    connect(b_Forward, &PictureButton::clicked, this, &PlayerPanel::b_Forward_Click);
    connect(b_rewind, &PictureButton::clicked, this, &PlayerPanel::b_rewind_Click);
    connect(b_rewind, &PictureButton::mousePressed, this, &PlayerPanel::b_rewind_MouseDown);
    connect(b_rewind, &PictureButton::mouseReleased, this, &PlayerPanel::b_rewind_MouseUp);
    connect(b_rewind, &PictureButton::mouseMoved, this, &PlayerPanel::b_rewind_MouseMove);
    connect(b_full, &PictureButton::clicked, this, &PlayerPanel::fullScreenClicked);
    connect(b_local, &PictureButton::clicked, this, &PlayerPanel::localClicked);
    connect(b_mute, &PictureButton::clicked, this, &PlayerPanel::muteClicked);
    connect(volume_slider, &QSlider::valueChanged, this, &PlayerPanel::volumeChosen);
}

void PlayerPanel::preparePlayer()
{
    // The player makes its page when it is first shown; told so ahead of time, it makes it hidden.
    if (!flash->view() && !flash->isVisible()) {
        QShowEvent early;
        QCoreApplication::sendEvent(flash, &early);
    }
}

void PlayerPanel::showSound(int volume, bool muted)
{
    const QSignalBlocker quiet(volume_slider);
    volume_slider->setValue(volume);
    b_mute->setPixmap(soundPicture(muted || volume == 0));
    b_mute->setToolTip(muted ? tr("Sound on") : tr("Mute"));
    b_mute->setAccessibleName(b_mute->toolTip());
}

void PlayerPanel::placeOver(const QRect &area)
{
    setGeometry(area);
    flash->resize(twips::toPixels(twips::fromPixels(width()) - 60), twips::toPixels(twips::fromPixels(height()) - 150));
    flash->move(twips::positionToPixels(30), twips::positionToPixels(120));
    keepButtonRowAbovePlayer();
}

FlashPlayer *PlayerPanel::lendPlayer()
{
    m_playerPlace = flash->geometry();
    return flash;
}

void PlayerPanel::takePlayerBack(FlashPlayer *player, bool shown)
{
    if (!player)
        return;
    player->setParent(this);
    player->setGeometry(m_playerPlace);
    player->setVisible(shown);
    keepButtonRowAbovePlayer();
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
          static_cast<QWidget *>(b_Forward), static_cast<QWidget *>(b_full), static_cast<QWidget *>(b_local),
          static_cast<QWidget *>(b_mute), static_cast<QWidget *>(volume_slider)})
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
