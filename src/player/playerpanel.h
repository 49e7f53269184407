#pragma once

#include <QFrame>

class FlashPlayer;
class PictureButton;
class PlayerProfile;
class QLineEdit;
class QSlider;

// The player panel `flash_main`: the game player and its row of picture buttons.
class PlayerPanel : public QFrame
{
    Q_OBJECT

public:
    PlayerPanel(PlayerProfile *profile, const QString &imagesFolder, QWidget *parent = nullptr);

    // Takes the window's main area and places the player in it, under the button row.
    void placeOver(const QRect &area);
    // Lends the player to another window (full screen): the panel keeps its place for it.
    FlashPlayer *lendPlayer();
    // A lent player comes home to its place (nothing happens for none), shown or not.
    void takePlayerBack(FlashPlayer *player, bool shown);
    // Puts the button row above the player, which would otherwise cover it.
    void keepButtonRowAbovePlayer();
    // Makes the player's page while the panel is hidden, so that the first game shown starts as fast as the
    // next ones do.
    void preparePlayer();
    // What the sound control shows; it says nothing back for it.
    void showSound(int volume, bool muted);

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
    // The game's sound, at the end of the button row. Neither takes the keyboard from the game.
    PictureButton *b_mute;
    QSlider *volume_slider;

signals:
    void fullScreenClicked();
    void localClicked();
    // The user moved the volume control (0..100) or clicked the sound picture.
    void volumeChosen(int volume);
    void muteClicked();

private:
    void moveRewind(int topTwips, int leftTwips);

    QRect m_playerPlace; // where the player goes back to once lent
};
