#pragma once

#include <QList>
#include <QObject>

#include <memory>

class Form2;
class PlayerPanel;
class QAction;
class QWidget;

// Full screen for the game: the panel's player is lent to the full-screen window and given back, never
// reloaded, so the game goes on where it was; the main window hides meanwhile.
class FullScreenSwitch : public QObject
{
    Q_OBJECT

public:
    FullScreenSwitch(QWidget *mainWindow, PlayerPanel *panel);
    // A player still lent comes home first, so that it goes with its panel.
    ~FullScreenSwitch() override;

    // Makes the full-screen window, hidden; actions (the game's keys) work there too.
    void load(const QString &filesFolder, const QList<QAction *> &actions);
    bool isOn() const;
    // The player, with the game the caller has put in it, over the whole screen.
    void enter();
    void leave();
    // The main window closes: the player comes home hidden, and the full-screen window goes for good.
    void release();

signals:
    // The player is back in its panel, and the main window shown.
    void left();

private:
    void comeBack();

    QWidget *m_window;
    PlayerPanel *m_panel;
    std::unique_ptr<Form2> m_form2;
};
