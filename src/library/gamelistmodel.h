#pragma once

#include "base/library/gamestore.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QVector>

// The library grid's cells: a title row the user can click like any other, then one row per game as given
// (newest first), every second game row shaded. A row's game is named by the text of its ID cell.
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

    explicit GameListModel(QObject *parent = nullptr);

    void setGames(const QVector<GameRecord> &games);
    bool isGameRow(int row) const { return row > TitleRow && row < m_rows.size(); }
    // The text of cell (row, 0): "ID" for the title row, a game's id otherwise.
    QString idText(int row) const;
    // Takes one row out; the others keep their order and their shading.
    void removeGameRow(int row);

    static QColor titleBackground();
    static QColor shadedBackground();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row
    {
        QString cells[ColumnCount];
        QColor background; // invalid: the grid's own
    };
    QVector<Row> m_rows;
};
