#pragma once

#include <QWidget>

class FlashPlayer;
class PictureButton;
class PlayerProfile;

// The full-screen window `Form2`: the current game over the whole screen, and a close picture.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    Form2(PlayerProfile *profile, const QString &appFolder, QWidget *parent = nullptr);

    // Loaded once at start-up with the main window's current movie name (empty then).
    void Form_Load(const QString &loadflash_name);
    void b_exit_Click();
    // The main window is closing: the window goes for good, without returning to the main window.
    void unload();

    FlashPlayer *Flash1;
    PictureButton *b_exit;

signals:
    // The first steps of leaving full screen belong to the main window: its player, itself, its menu.
    void leavingFullScreen();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Resize();

    QString m_appFolder;
    bool m_unloading = false;
};
