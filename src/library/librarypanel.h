#pragma once

#include "base/library/library.h"
#include "library/savesactions.h"
#include "widgets/messagebox.h"

#include <QCache>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <optional>

class GameListModel;
class LibraryOrganiser;
class QImage;
class QMenuBar;

// The library panel: a search field, the order and the count over the grid of recorded games, and under it
// the selected game's picture, title, description, plays and the files it keeps, with the buttons that play or delete
// it.
class LibraryPanel : public QFrame
{
    Q_OBJECT

public:
    // The height of the row above the grid that holds the search field, in twips.
    static constexpr int barHeight = 420;

    // messages: where the Delete key's question is asked and a deletion that failed is told. placeholderPicture:
    // shown for a game without a picture of its own, and once a game is deleted.
    LibraryPanel(Library *library, MessageBox *messages, const QString &placeholderPicture, QWidget *parent = nullptr);
    ~LibraryPanel() override;

    // The pictures last shown are kept decoded at the size shown, up to this many bytes together.
    static constexpr qsizetype pictureCacheBytes = 8 * 1024 * 1024;

    // Takes the window's main area and fits the grid and the description to it.
    void placeOver(const QRect &area);
    // How many games the library holds; nullopt when it cannot be read.
    std::optional<qint64> gameCount();
    // Fills the grid from the library anew, in the search, filter and order of the session, and shows the details of
    // the game selected before, or else of the first game.
    void reload();
    // A game was played: its plays show when its details do.
    void gamePlayed(const GameRecord &game);
    // Shows the details of the grid's current row; nothing for the title row or a game no longer recorded.
    void game_list_Click();
    // Has the library delete the current row's game; its grid row goes and the details are those of the row
    // selected in its place. A game that
    // cannot be deleted stays listed, and the user is told why.
    void Game_Delete_Click();
    // The id of the grid's current row's game; nullopt for the title row or no row.
    std::optional<qint64> currentGameId() const;
    // The game of the grid's current row; nullopt for the title row, no row, or a game no longer recorded.
    std::optional<GameRecord> currentGame();

    GameListModel *model() const { return m_model; }

    // Where the games' saves are kept, and the dialogs that choose their files (none: the desktop's own). Without
    // it the saves entries stay disabled and a game is deleted without asking about its saves.
    void setSaves(SaveKeeper *saves, SavesFileDialogs *dialogs = nullptr);
    // Adds "Random game" to the "Games" menu (when the bar has it) and the "Saves" menu: export and import the
    // current game's saves, export every game's.
    void addMenus(QMenuBar *bar);
    // The stars, the favourites filter, the random pick and the play time of the details.
    LibraryOrganiser *organiser() const { return m_organiser; }

signals:
    // A double-click on a game row, or "Play".
    void playRequested();
    // "Add games..." was clicked.
    void addRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The grid, the details, and the row above the grid; tests find them by these object names.
    QTableView *game_list;
    QLabel *loc_pic;
    QLabel *loc_name;
    QLabel *loc_dec;
    QPushButton *Game_Play;
    QPushButton *Game_Delete;
    QLineEdit *game_search;
    QComboBox *game_sort;
    QLabel *game_count;
    QLabel *loc_stats;
    QLabel *loc_kept; // how many files the game keeps beside its movie, and their size
    QPushButton *game_add;

    // Says how many games are shown, of how many.
    void showCount();
    int currentRow() const;
    void titleRowPressed(const QModelIndex &index);
    void sortChosen(int entry);
    void showStatistics(const GameRecord &game);
    void showKeptFiles(qint64 id);
    void placeBar();
    QImage picture(const QString &path);
    QSize pictureSize() const;
    void showPicture(const QImage &image);
    void gameRemoved(qint64 id);
    void clearDetails();
    // Selects the game whose details show if it is listed, else the first game, and shows its details.
    void keepSelection();
    // Shows the details of the grid's current row afresh, or none when it holds no game.
    void showCurrentDetails();
    void deleteGame(qint64 id, Deletion::Saves saves);
    void showGameMenu(const QPoint &at);
    void updateSavesActions();

    Library *m_library;
    MessageBox *m_messages;
    QString m_placeholderPicture;
    GameListModel *m_model;
    qint64 m_detailsId = 0;                                // the game whose details show with their buttons
    QCache<QString, QImage> m_pictures{pictureCacheBytes}; // the pictures shown last, read once each
    SavesActions *m_savesActions;
    LibraryOrganiser *m_organiser = nullptr;
    bool m_deleting = false; // a deletion waits for the saves to be counted
};
