#pragma once

#include <QObject>

#include <optional>

class GameListModel;
class Library;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class QWidget;

// What helps a user find their way in a large library, added to the library panel: a star on each game (in the
// grid and in the details; a click or Ctrl+D toggles it), a "Favourites" filter and a "Random game" button beside
// the search, the "Favourites first" and "Most time played" orders, and the time each game was played in the
// details. Follows the panel's grid and details; stars are kept through the library service.
class LibraryOrganiser : public QObject
{
    Q_OBJECT

public:
    // What of the library panel it works beside.
    struct PanelParts
    {
        QWidget *panel;    // holds the controls; "Random game" is offered while it shows
        QTableView *grid;  // the games, over a GameListModel
        QComboBox *orders; // the panel's orders: ours follow them
        QLabel *count;     // the count of games shown: the buttons take the start of its place
        QWidget *add;      // the last control of the row above the grid
        QLabel *title;     // the details' title and plays: the star goes before them, the play time under
        QLabel *plays;
        QWidget *play;       // shown exactly while the details of the grid's current game are
        QLabel *description; // the details' description: it starts under the play time
    };

    LibraryOrganiser(Library *library, const PanelParts &parts, QObject *parent);

    // "Random game" for a menu; the same as the button.
    QAction *randomAction() const { return m_randomAction; }
    void addToMenu(QMenu *menu);

    // Selects a game picked at random among those the search and the filter show, other than the one selected
    // when there are others, and shows its details; it does not start it. False when no game is shown.
    bool pickRandomGame();
    // Stars the grid's current game, or takes its star away; false when there is none or it was not kept.
    bool toggleCurrentFavourite();

    // The Favourites filter, the random pick, the star and play time of the details.
    QToolButton *game_favourites;
    QPushButton *game_random;
    QToolButton *loc_star;
    QLabel *loc_time;

    // The text the details show for a game's play time: its total and its latest session.
    static QString playTimeText(qint64 totalSeconds, qint64 lastSessionSeconds);
    // Shows the star and play time of the grid's current game while its details show, nothing otherwise.
    void showDetails();

signals:
    // A game was picked at random and made the grid's current one: its details are to show.
    void gamePicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<qint64> currentGameId() const;
    bool toggleFavourite(qint64 id);
    void sortChosen(int entry);
    void placeControls();
    void updateRandom();

    Library *m_library;
    PanelParts m_parts;
    GameListModel *m_model;
    QAction *m_randomAction;
    int m_firstSortEntry; // the panel's own orders come before ours
    bool m_placing = false;
};
