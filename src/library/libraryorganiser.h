#pragma once

#include <QObject>

#include <optional>

class GameListModel;
class Library;
class LibraryPanel;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
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
    LibraryOrganiser(Library *library, LibraryPanel *panel);

    // "Random game" for a menu; the same as the button.
    QAction *randomAction() const { return m_randomAction; }
    void addToMenu(QMenu *menu);

    // Selects a game picked at random among those the search and the filter show, and shows its details; it does
    // not start it. False when no game is shown.
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool toggleFavourite(qint64 id);
    void sortChosen(int entry);
    void showDetails();
    void placeControls();
    void updateRandom();

    Library *m_library;
    LibraryPanel *m_panel;
    GameListModel *m_model;
    QAction *m_randomAction;
    int m_firstSortEntry; // the panel's own orders come before ours
    bool m_placing = false;
};
