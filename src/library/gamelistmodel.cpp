#include "library/gamelistmodel.h"

#include <QColor>

GameListModel::GameListModel(QObject *parent) : QAbstractTableModel(parent)
{
    setGames({});
}

QColor GameListModel::titleBackground()
{
    return QColor(0x80, 0x80, 0x80);
}

QColor GameListModel::shadedBackground()
{
    return QColor(0xC0, 0xC0, 0xC0);
}

void GameListModel::setGames(const QVector<GameRecord> &games)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(games.size() + 1);
    m_rows.append(Row{{tr("ID"), tr("Game"), tr("File"), tr("Description")}, titleBackground()});
    for (const GameRecord &game : games) {
        // Shading belongs to the row from here on, so a deletion later does not move it.
        const bool shaded = m_rows.size() % 2 == 0;
        m_rows.append(Row{{QString::number(game.id), game.gamename, game.game, game.gamedesc},
                          shaded ? shadedBackground() : QColor()});
    }
    endResetModel();
}

QString GameListModel::idText(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).cells[IdColumn] : QString();
}

void GameListModel::removeGameRow(int row)
{
    if (!isGameRow(row))
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.remove(row);
    endRemoveRows();
}

int GameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int GameListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[index.column()];
    case Qt::BackgroundRole:
        return row.background.isValid() ? QVariant(row.background) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags GameListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
