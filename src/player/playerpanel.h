#pragma once

#include <QFrame>

class FlashPlayer;
class PictureButton;
class PlayerProfile;
class QLineEdit;

// The player panel `flash_main`: the game player and its row of picture buttons.
class PlayerPanel : public QFrame
{
    Q_OBJECT

public:
    PlayerPanel(PlayerProfile *profile, const QString &imagesFolder, QWidget *parent = nullptr);

    // Puts the button row above the player, which would otherwise cover it.
    void keepButtonRowAbovePlayer();

    void b_play_Click();
    void b_pause_Click();
    void b_Forward_Click();
    void b_rewind_Click();
    void b_rewind_MouseDown();
    void b_rewind_MouseUp();
    void b_rewind_MouseMove();

    FlashPlayer *flash;
    QLineEdit *Text1;
    PictureButton *b_rewind;
    PictureButton *b_play;
    PictureButton *b_pause;
    PictureButton *b_Forward;
    PictureButton *b_full;
    PictureButton *b_local;

signals:
    void fullScreenClicked();
    void localClicked();

private:
    void moveRewind(int topTwips, int leftTwips);
};
