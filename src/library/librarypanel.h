#pragma once

#include "base/library/gamestore.h"
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
class QImage;

// The library panel: a search field, the order and the count over the grid of recorded games, and under it
// the selected game's picture, title, description and plays, with the buttons that play or delete it.
class LibraryPanel : public QFrame
{
    Q_OBJECT

public:
    // The height of the row above the grid that holds the search field, in twips.
    static constexpr int barHeight = 420;

    LibraryPanel(GameStore *store, const QString &appFolder, QWidget *parent = nullptr);

    // Where the Delete key's question is asked and a deletion that failed is told; real message boxes unless set.
    void setMessages(MessageBox *messages) { m_messages = messages ? messages : &m_ownMessages; }

    // The pictures last shown are kept decoded at the size shown, up to this many bytes together.
    static constexpr qsizetype pictureCacheBytes = 8 * 1024 * 1024;

    // How many games the library holds; nullopt when it cannot be read.
    std::optional<qint64> gameCount();
    // Fills the grid from the library, newest first and unfiltered; the details stay, both buttons are hidden.
    void reload();
    // A game was played: its plays are counted and shown.
    void gamePlayed(const GameRecord &game);
    // Shows the details of the grid's current row; nothing for the title row or a game no longer recorded.
    void game_list_Click();
    // Deletes the current row's game: its row, then its movie and picture unless another game still names
    // them; then its grid row, and the details are cleared. On a full disk the game's own files go first, to
    // make room for the deletion; a row that still cannot be deleted stays listed, and the user is told why.
    void Game_Delete_Click();
    // The game of the grid's current row; nullopt for the title row, no row, or a game no longer recorded.
    std::optional<GameRecord> currentGame();

    GameListModel *model() const { return m_model; }

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
    QPushButton *game_add;

signals:
    // A double-click on a game row, or "Play".
    void playRequested();
    // A deleted game took its movie with it (no other recorded game names it): what it saved goes too.
    void movieForgotten(const QString &movieFileName);
    // "Add games..." was clicked.
    void addRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int currentRow() const;
    void titleRowPressed(const QModelIndex &index);
    void sortChosen(int entry);
    void showCount();
    void showStatistics(const GameRecord &game);
    void placeBar();
    QImage picture(const QString &path);
    QSize pictureSize() const;
    void showPicture(const QImage &image);
    void removeUnlessNamed(const QString &path, std::optional<qint64> stillNamedBy);
    void removeOwnFiles(const GameRecord &game);

    GameStore *m_store;
    QString m_appFolder;
    GameListModel *m_model;
    MessageBox m_ownMessages;
    MessageBox *m_messages = &m_ownMessages;
    qint64 m_detailsId = 0;                                // the game whose details show with their buttons
    QCache<QString, QImage> m_pictures{pictureCacheBytes}; // the pictures shown last, read once each
};
