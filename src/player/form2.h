#pragma once

#include <QWidget>

class FlashPlayer;
class PictureButton;

// The full-screen window `Form2`: the running game over the whole screen, and a close picture. The game's
// player is lent to it by the main window and given back, so the game goes on where it was.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    explicit Form2(const QString &appFolder, QWidget *parent = nullptr);

    // Made once at start-up, hidden; it holds no player of its own.
    void Form_Load();
    // Takes player over the whole window, with the keyboard; the caller shows the window.
    void showPlayer(FlashPlayer *player);
    // Gives the player back (null when none is here); its parent is then the caller's business.
    FlashPlayer *takePlayer();
    void b_exit_Click();
    // The main window is closing: the window goes for good, without returning to the main window.
    void unload();

    FlashPlayer *Flash1 = nullptr; // the player lent to the window, while it is
    PictureButton *b_exit;

signals:
    // The first steps of leaving full screen belong to the main window: its player, itself, its menu.
    void leavingFullScreen();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Resize();

    bool m_unloading = false;
};
