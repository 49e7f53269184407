#include "library/gamelistmodel.h"

#include "base/library/library.h"
#include "base/textcodes.h"

#include <QColor>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextDocument>

#include <cmath>

#include <limits>

namespace {

// Rows read from the store at a time around the one the grid asks for, and how many are kept.
constexpr int fetchBefore = 32;
constexpr int fetchAfter = 96;
constexpr int cacheLimit = 4096;
// A cell shows no more than this of a text; the rest could never be seen in it.
constexpr int displayLimit = 1000;
// Games indexed at a time in the background: each part keeps the window responsive.
constexpr int indexPart = 4000;

} // namespace

GameListModel::GameListModel(Library *library, QObject *parent)
    : QAbstractTableModel(parent), m_store(&library->store())
{
    connect(library, &Library::gamePlayed, this, &GameListModel::gamePlayed);
    connect(library, &Library::gameRemoved, this, &GameListModel::gameRemoved);
    connect(library, &Library::gameRecorded, this, &GameListModel::gameRecorded);
    connect(library, &Library::favouriteChanged, this, &GameListModel::favouriteChanged);
    connect(library, &Library::playTimeAdded, this, &GameListModel::playTimeAdded);
    m_rows.append(Row{0, false});
    m_indexing.setSingleShot(true);
    m_indexing.setInterval(0);
    connect(&m_indexing, &QTimer::timeout, this, &GameListModel::indexSome);
}

QColor GameListModel::titleBackground()
{
    return QColor(0x80, 0x80, 0x80);
}

QColor GameListModel::shadedBackground()
{
    return QColor(0xC0, 0xC0, 0xC0);
}

bool GameListModel::reload()
{
    m_index.clear();
    const std::optional<QVector<qint64>> ids = m_store->idsNewestFirst();
    m_total = ids ? int(ids->size()) : 0;
    showIds(ids.value_or(QVector<qint64>()));
    m_indexReady = !ids || ids->isEmpty();
    // Games recorded from now on are newer: they come into the index as they are recorded, never from the store.
    m_indexedDownTo = ids && !ids->isEmpty() ? ids->first() + 1 : std::numeric_limits<qint64>::max();
    if (!m_indexReady)
        m_indexing.start();
    // The search, the filter and the order chosen in this session stay: they need every game indexed first.
    if (ids && (!m_filter.isEmpty() || m_favouritesOnly || m_sort != GameIndex::defaultSort())) {
        ensureIndex();
        refill();
    }
    return bool(ids);
}

void GameListModel::indexSome()
{
    if (m_indexReady)
        return;
    const std::optional<int> added = m_store->loadIndexPart(m_index, m_indexedDownTo, indexPart, &m_indexedDownTo);
    if (added && *added == indexPart) {
        m_indexing.start();
        return;
    }
    // The end, or a library that can no longer be read: the index holds what it could get.
    m_indexReady = true;
    m_indexing.stop();
    emit indexReady();
}

void GameListModel::ensureIndex()
{
    while (!m_indexReady)
        indexSome();
}

void GameListModel::setFilter(const QString &text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    ensureIndex();
    refill();
}

void GameListModel::setFavouritesOnly(bool only)
{
    if (only == m_favouritesOnly)
        return;
    m_favouritesOnly = only;
    ensureIndex();
    refill();
}

int GameListModel::randomGameRow(int avoid) const
{
    const int shown = shownGames();
    if (shown <= 0)
        return -1;
    if (shown == 1 || !isGameRow(avoid))
        return TitleRow + 1 + int(QRandomGenerator::global()->bounded(shown));
    // One of the others, each as likely: the rows after the avoided one move up by one.
    const int row = TitleRow + 1 + int(QRandomGenerator::global()->bounded(shown - 1));
    return row >= avoid ? row + 1 : row;
}

void GameListModel::setSort(GameIndex::Sort sort)
{
    if (sort == m_sort)
        return;
    m_sort = sort;
    ensureIndex();
    refill();
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

GameIndex::Sort GameListModel::sortForColumn(int column) const
{
    static const GameIndex::SortKey keys[ColumnCount] = {GameIndex::SortKey::Id, GameIndex::SortKey::Title,
                                                         GameIndex::SortKey::File, GameIndex::SortKey::Description};
    const GameIndex::SortKey key = keys[qBound(0, column, ColumnCount - 1)];
    if (m_sort.key == key)
        return {key, m_sort.order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder};
    // Ids start newest first; texts start from A.
    return {key, key == GameIndex::SortKey::Id ? Qt::DescendingOrder : Qt::AscendingOrder};
}

void GameListModel::refill()
{
    showIds(m_index.select(m_filter, m_sort, m_favouritesOnly));
}

void GameListModel::showIds(const QVector<qint64> &ids)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(ids.size() + 1);
    m_rows.append(Row{0, false});
    for (qint64 id : ids)
        m_rows.append(Row{id, m_rows.size() % 2 == 0});
    m_cache.clear();
    endResetModel();
}

QString GameListModel::idText(int row) const
{
    if (row == TitleRow)
        return tr("ID");
    return isGameRow(row) ? QString::number(m_rows.at(row).id) : QString();
}

int GameListModel::rowOf(qint64 id) const
{
    for (int row = 1; row < m_rows.size(); ++row) {
        if (m_rows.at(row).id == id)
            return row;
    }
    return -1;
}

void GameListModel::gameRemoved(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0) {
        // Not shown (filtered out, or never listed): it still leaves the count.
        if (m_index.contains(id)) {
            m_index.remove(id);
            --m_total;
        }
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.remove(row);
    m_index.remove(id);
    --m_total;
    m_cache.remove(id);
    endRemoveRows();
}

void GameListModel::gameRecorded(qint64 id)
{
    m_cache.remove(id);
    if (m_index.contains(id) || rowOf(id) >= 0) {
        if (const int row = rowOf(id); row >= 0)
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        return;
    }
    const std::optional<GameRecord> game = m_store->gameById(id);
    if (!game)
        return;
    // The newest game: the index, filled from the newest game down, has not seen it.
    m_index.append(game->id, game->title, game->movieFile, game->description, game->lastPlayed, game->playCount, false,
                   game->playSeconds);
    ++m_total;
    if (!m_filter.isEmpty() || m_favouritesOnly || m_sort != GameIndex::defaultSort()) {
        refill(); // its place depends on the search and the order
        return;
    }
    // In the library's own order it comes first, shaded unlike the game below it.
    const int first = TitleRow + 1;
    beginInsertRows(QModelIndex(), first, first);
    m_rows.insert(first, Row{id, m_rows.size() > first && !m_rows.at(first).shaded});
    endInsertRows();
}

void GameListModel::gamePlayed(const GameRecord &game)
{
    m_index.setPlayed(game.id, game.lastPlayed, game.playCount);
    m_cache.remove(game.id);
}

void GameListModel::favouriteChanged(qint64 id, bool favourite)
{
    m_index.setFavourite(id, favourite);
    m_cache.remove(id);
    // A game unstarred in the favourites keeps its row until they are shown anew: the rows under the mouse
    // stay where they are, and a star taken away by mistake is put back where it was.
    const int row = rowOf(id);
    if (row < 0)
        return;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void GameListModel::playTimeAdded(const GameRecord &game)
{
    m_index.setPlayTime(game.id, game.playSeconds);
    m_cache.remove(game.id);
}

QIcon GameListModel::starIcon(bool filled)
{
    static QIcon cached[2];
    QIcon &icon = cached[filled ? 1 : 0];
    if (!icon.isNull())
        return icon;
    // Drawn rather than read from the images folder: it scales to any row height and needs no file.
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPolygonF star;
        for (int point = 0; point < 10; ++point) {
            const qreal radius = (point % 2 == 0 ? 0.48 : 0.2) * size;
            const qreal angle = M_PI / 5 * point - M_PI / 2;
            star << QPointF(size / 2.0 + radius * std::cos(angle), size / 2.0 + 0.04 * size + radius * std::sin(angle));
        }
        painter.setPen(QPen(filled ? QColor(0xB0, 0x80, 0x00) : QColor(0x60, 0x60, 0x60), size / 16.0));
        painter.setBrush(filled ? QColor(0xFF, 0xC8, 0x20) : QColor(Qt::transparent));
        painter.drawPolygon(star);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString GameListModel::titleText(int column) const
{
    static const char *const titles[ColumnCount] = {QT_TR_NOOP("ID"), QT_TR_NOOP("Game"), QT_TR_NOOP("File"),
                                                    QT_TR_NOOP("Description")};
    QString text = tr(titles[column]);
    // The library's own order shows no mark; any other names its column and direction.
    if (m_sort != GameIndex::defaultSort() && sortForColumn(column).key == m_sort.key)
        text += m_sort.order == Qt::AscendingOrder ? QStringLiteral(" \u25B2") : QStringLiteral(" \u25BC");
    return text.left(displayLimit);
}

const GameRecord *GameListModel::game(int row) const
{
    const qint64 id = m_rows.at(row).id;
    auto it = m_cache.constFind(id);
    if (it != m_cache.constEnd())
        return &*it;
    // The rows around this one are read with it: the grid asks for a screenful at a time.
    if (m_cache.size() > cacheLimit)
        m_cache.clear();
    QVector<qint64> wanted;
    for (int r = qMax(1, row - fetchBefore); r < qMin(int(m_rows.size()), row + fetchAfter); ++r) {
        if (!m_cache.contains(m_rows.at(r).id))
            wanted.append(m_rows.at(r).id);
    }
    for (const GameRecord &record : m_store->gamesByIds(wanted).value_or(QVector<GameRecord>()))
        m_cache.insert(record.id, record);
    it = m_cache.constFind(id);
    return it != m_cache.constEnd() ? &*it : nullptr;
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
    const int row = index.row();
    if (role == Qt::BackgroundRole) {
        if (row == TitleRow)
            return titleBackground();
        return m_rows.at(row).shaded ? QVariant(shadedBackground()) : QVariant();
    }
    if (role == FavouriteRole || (role == Qt::DecorationRole && index.column() == GameColumn)) {
        const GameRecord *record = row == TitleRow ? nullptr : game(row);
        if (!record)
            return {};
        return role == FavouriteRole ? QVariant(record->favourite) : QVariant(starIcon(record->favourite));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (row == TitleRow)
        return role == Qt::DisplayRole ? QVariant(titleText(index.column())) : QVariant();
    if (index.column() == IdColumn)
        return role == Qt::DisplayRole ? QVariant(QString::number(m_rows.at(row).id)) : QVariant();
    const GameRecord *record = game(row);
    if (!record)
        return {};
    // Titles and descriptions show the characters the server wrote as codes; file names are as they are.
    const QString text = index.column() == GameColumn   ? turnBackCodes(record->title)
                         : index.column() == FileColumn ? record->movieFile
                                                        : turnBackCodes(record->description);
    // A long text is elided in its cell; its tooltip shows the beginning of the whole. Qt shows a tooltip that
    // looks like markup as markup, so the text is handed over escaped: it shows as the characters it is.
    if (role == Qt::ToolTipRole)
        return text.size() > 40 ? QVariant(Qt::convertFromPlainText(text.left(1000), Qt::WhiteSpaceNormal))
                                : QVariant();
    return text.left(displayLimit);
}

Qt::ItemFlags GameListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
