#pragma once

#include "base/library/gamestore.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <optional>

class GameListModel;
class QImage;

// The library panel: the grid of recorded games over the selected game's picture, title and description,
// with the buttons that play or delete it.
class LibraryPanel : public QFrame
{
    Q_OBJECT

public:
    LibraryPanel(GameStore *store, const QString &appFolder, QWidget *parent = nullptr);

    // How many games the library holds; nullopt when it cannot be read.
    std::optional<qint64> gameCount();
    // Fills the grid from the library, newest first; the details stay, both buttons are hidden.
    void reload();
    // Shows the details of the grid's current row; nothing for the title row or a game no longer recorded.
    void game_list_Click();
    // Deletes the current row's game: its row, then its movie and picture unless another game still names
    // them; then its grid row, and the details are cleared.
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

signals:
    // A double-click on a game row, or "Play".
    void playRequested();
    // A deleted game took its movie with it (no other recorded game names it): what it saved goes too.
    void movieForgotten(const QString &movieFileName);

private:
    int currentRow() const;
    void showPicture(const QImage &image);
    void removeUnlessNamed(const QString &path, std::optional<qint64> stillNamedBy);

    GameStore *m_store;
    QString m_appFolder;
    GameListModel *m_model;
};
