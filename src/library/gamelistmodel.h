#pragma once

#include "base/library/gameindex.h"
#include "base/library/gamestore.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QTimer>
#include <QVector>

class Library;

// The library grid's cells: a title row the user can click like any other, then one row per game shown,
// every second game row shaded; each game row holds its game's id.
// Which games are shown and in which order comes from a compact index of the whole library; the texts are
// read from the store only for the rows the grid asks for, and only a few thousand are kept. Plays and
// deletions come from the library service as they happen.
class GameListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        IdColumn,
        GameColumn,
        FileColumn,
        DescriptionColumn,
        ColumnCount
    };
    static constexpr int TitleRow = 0;
    // A game row's cells: whether the game is starred (bool). The game's cell shows the star as its decoration.
    static constexpr int FavouriteRole = Qt::UserRole + 1;

    explicit GameListModel(Library *library, QObject *parent = nullptr);

    // Reads the library anew, keeping the search, the filter and the order; false (and no games) when it cannot be
    // read. In the library's own order the first rows show at once, and what filtering and sorting need is read in
    // the background after them; otherwise every game is indexed first.
    bool reload();
    // Whether every game is in the index yet; filtering or sorting before then waits for the rest.
    bool isIndexReady() const { return m_indexReady; }
    // Shows only the games whose title or description holds text (any case); blank shows them all.
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }
    // Shows only the starred games among those the text finds.
    void setFavouritesOnly(bool only);
    bool favouritesOnly() const { return m_favouritesOnly; }
    // A row picked at random among the game rows shown, other than avoid when there are others; -1 when none is
    // shown.
    int randomGameRow(int avoid = -1) const;
    void setSort(GameIndex::Sort sort);
    GameIndex::Sort sort() const { return m_sort; }
    // The order a click on a column's title gives: by that column, reversed when it already is.
    GameIndex::Sort sortForColumn(int column) const;

    int shownGames() const { return int(m_rows.size()) - 1; }
    int totalGames() const { return m_total; }

    bool isGameRow(int row) const { return row > TitleRow && row < m_rows.size(); }
    // The text of cell (row, 0): "ID" for the title row, a game's id otherwise.
    QString idText(int row) const;
    qint64 idAt(int row) const { return isGameRow(row) ? m_rows.at(row).id : 0; }
    int rowOf(qint64 id) const;
    // The game left the library: its row goes, the others keep their order and their shading.
    void gameRemoved(qint64 id);
    // A game came into the library while it is shown (a download that ran in the background), or came again.
    void gameRecorded(qint64 id);
    // A game was played: its statistics change, and with them a "recently played" order.
    void gamePlayed(const GameRecord &game);
    // The game was starred or its star taken away; a game unstarred leaves a list of the favourites only when the
    // list is filled again.
    void favouriteChanged(qint64 id, bool favourite);
    void playTimeAdded(const GameRecord &game);

    // The star a game's cell and its details show: filled for a favourite.
    static QIcon starIcon(bool filled);

    const GameIndex &gameIndex() const { return m_index; }

signals:
    // Every game is in the index: filtering and sorting are quick from here on.
    void indexReady();

public:
    static QColor titleBackground();
    static QColor shadedBackground();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row
    {
        qint64 id;
        bool shaded; // belongs to the row from the filling on, so a deletion later does not move it
    };
    void refill();
    void showIds(const QVector<qint64> &ids);
    void indexSome();
    void ensureIndex();
    QString titleText(int column) const;
    const GameRecord *game(int row) const;

    GameStore *m_store; // read only: changes come through the library service
    GameIndex m_index;
    bool m_indexReady = true;
    qint64 m_indexedDownTo = 0; // the oldest game indexed so far
    QTimer m_indexing;
    int m_total = 0;
    QString m_filter;
    bool m_favouritesOnly = false;
    GameIndex::Sort m_sort;
    QVector<Row> m_rows; // row 0 is the title row
    mutable QHash<qint64, GameRecord> m_cache;
};
