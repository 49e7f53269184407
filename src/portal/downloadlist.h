#pragma once

#include "base/portal/downloadqueue.h"

#include <QWidget>

class DownloadPanel;
class QKeyEvent;
class GameAcquisition;
class QMenuBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The downloads list: a small window of its own beside the main window (whose panes keep their fixed places),
// opened from the Downloads menu or the download panel. Each game the user asked for, with its state, progress,
// speed and what remains; the chosen one can be cancelled, a failed one retried, and the finished ones cleared.
class DownloadList : public QWidget
{
    Q_OBJECT

public:
    enum Column
    {
        Title,
        State,
        Progress,
        Speed,
        Remaining
    };

    // Follows acquisition's queue; panel's list button opens it; a tool window of window.
    DownloadList(GameAcquisition *acquisition, DownloadPanel *panel, QWidget *window);

    // The Downloads menu, with the entry that opens the list.
    void addMenu(QMenuBar *bar);
    // Shows the list, raised over the main window.
    void showList();

    static QString stateText(QueuedGame::State state);
    // "42%" of a known size, the bytes so far of an unknown one; empty before the transfer.
    static QString progressText(const QueuedGame &game);
    static QString speedText(const QueuedGame &game);
    // The bytes and the time still to go, as far as they are known.
    static QString remainingText(const QueuedGame &game);

    QTreeWidget *list;
    QPushButton *b_cancel;
    QPushButton *b_retry;
    QPushButton *b_clear;

signals:
    // A finished game was double-clicked: the user wants to play it (gameId: the server's id).
    void playRequested(const QString &gameId);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Beside the main window, on its screen: to its right where there is room, else to its left, else over it.
    void placeBesideWindow();
    QTreeWidgetItem *itemOf(quint64 serial) const;
    quint64 chosen() const;
    void showGame(quint64 serial);
    void dropGame(quint64 serial);
    void updateButtons();
    void clearFinished();
    void cancelChosen();

    GameAcquisition *m_acquisition;
    DownloadPanel *m_panel;
};
