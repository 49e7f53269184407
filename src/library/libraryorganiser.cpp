#include "library/libraryorganiser.h"

#include "base/library/library.h"
#include "library/gamelistmodel.h"
#include "widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>

#include <iterator>

namespace {

// The orders added after the panel's own.
struct SortEntry
{
    const char *text;
    GameIndex::Sort sort;
};
const SortEntry sortEntries[] = {
    {QT_TRANSLATE_NOOP("LibraryOrganiser", "Favourites first"), {GameIndex::SortKey::Favourite, Qt::DescendingOrder}},
    {QT_TRANSLATE_NOOP("LibraryOrganiser", "Most time played"), {GameIndex::SortKey::PlayTime, Qt::DescendingOrder}},
};

// The game's cell shows its star; a click on the star toggles it, a click elsewhere in the cell selects as ever.
class StarDelegate : public QStyledItemDelegate
{
public:
    StarDelegate(std::function<void(const QModelIndex &)> toggle, QObject *parent)
        : QStyledItemDelegate(parent), m_toggle(std::move(toggle))
    {
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (event->type() == QEvent::MouseButtonRelease && index.data(Qt::DecorationRole).isValid()) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            QStyleOptionViewItem item = option;
            initStyleOption(&item, index);
            const QWidget *view = option.widget;
            const QRect star = (view ? view->style() : QApplication::style())
                                   ->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, view);
            if (mouse->button() == Qt::LeftButton && star.contains(mouse->position().toPoint())) {
                m_toggle(index);
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    std::function<void(const QModelIndex &)> m_toggle;
};

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return LibraryOrganiser::tr("%1 s").arg(seconds);
    if (seconds < 3600)
        return LibraryOrganiser::tr("%1 min").arg(seconds / 60);
    return LibraryOrganiser::tr("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'));
}

} // namespace

LibraryOrganiser::LibraryOrganiser(Library *library, const PanelParts &parts, QObject *parent)
    : QObject(parent), m_library(library), m_parts(parts), m_model(qobject_cast<GameListModel *>(parts.grid->model()))
{
    QWidget *panel = parts.panel;
    game_favourites = new QToolButton(panel);
    game_favourites->setObjectName(QStringLiteral("game_favourites"));
    game_favourites->setText(tr("Favourites"));
    game_favourites->setIcon(GameListModel::starIcon(true));
    game_favourites->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    game_favourites->setCheckable(true);
    connect(game_favourites, &QToolButton::toggled, m_model, &GameListModel::setFavouritesOnly);

    game_random = new QPushButton(tr("Random game"), panel);
    game_random->setObjectName(QStringLiteral("game_random"));
    connect(game_random, &QPushButton::clicked, this, &LibraryOrganiser::pickRandomGame);
    m_randomAction = new QAction(tr("Random game"), this);
    m_randomAction->setObjectName(QStringLiteral("m_random"));
    connect(m_randomAction, &QAction::triggered, this, &LibraryOrganiser::pickRandomGame);

    m_firstSortEntry = parts.orders->count();
    for (const SortEntry &entry : sortEntries)
        parts.orders->addItem(tr(entry.text));
    connect(parts.orders, &QComboBox::activated, this, &LibraryOrganiser::sortChosen);

    parts.grid->setItemDelegateForColumn(GameListModel::GameColumn,
                                         new StarDelegate(
                                             [this](const QModelIndex &index) {
                                                 if (m_model->isGameRow(index.row()))
                                                     toggleFavourite(m_model->idAt(index.row()));
                                             },
                                             this));
    // Anywhere in the panel but the search field's own keys: the grid, the details, the buttons.
    auto *starKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), panel);
    starKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(starKey, &QShortcut::activated, this, &LibraryOrganiser::toggleCurrentFavourite);

    loc_star = new QToolButton(panel);
    loc_star->setObjectName(QStringLiteral("loc_star"));
    loc_star->setCheckable(true);
    loc_star->setAutoRaise(true);
    loc_star->setToolTip(tr("Favourite (Ctrl+D)"));
    loc_star->hide();
    connect(loc_star, &QToolButton::clicked, this, [this] {
        if (!toggleCurrentFavourite())
            showDetails();
    });
    loc_time = new QLabel(panel);
    loc_time->setObjectName(QStringLiteral("loc_time"));
    loc_time->setTextFormat(Qt::PlainText);
    loc_time->setAlignment(Qt::AlignRight | Qt::AlignTop);
    loc_time->setFont(parts.plays->font());
    loc_time->setPalette(parts.plays->palette());

    // The details show when the panel's Play button does, for the grid's current game.
    parts.play->installEventFilter(this);
    parts.count->installEventFilter(this);
    panel->installEventFilter(this);
    connect(parts.grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &LibraryOrganiser::showDetails);
    connect(library, &Library::favouriteChanged, this, &LibraryOrganiser::showDetails);
    connect(library, &Library::playTimeAdded, this, &LibraryOrganiser::showDetails);
    connect(m_model, &QAbstractItemModel::modelReset, this, &LibraryOrganiser::updateRandom);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &LibraryOrganiser::updateRandom);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &LibraryOrganiser::updateRandom);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // A reload shows every game again.
        const QSignalBlocker quiet(game_favourites);
        game_favourites->setChecked(m_model->favouritesOnly());
    });
    placeControls();
    updateRandom();
    showDetails();
}

void LibraryOrganiser::addToMenu(QMenu *menu)
{
    menu->addAction(m_randomAction);
}

bool LibraryOrganiser::pickRandomGame()
{
    QTableView *grid = m_parts.grid;
    const int row = m_model->randomGameRow(grid->currentIndex().row());
    if (row < 0)
        return false;
    grid->setCurrentIndex(m_model->index(row, GameListModel::GameColumn));
    grid->scrollTo(grid->currentIndex(), QAbstractItemView::PositionAtCenter);
    emit gamePicked();
    grid->setFocus(Qt::OtherFocusReason);
    return true;
}

std::optional<qint64> LibraryOrganiser::currentGameId() const
{
    const QModelIndex current = m_parts.grid->currentIndex();
    return current.isValid() && m_model->isGameRow(current.row()) ? std::optional(m_model->idAt(current.row()))
                                                                  : std::nullopt;
}

bool LibraryOrganiser::toggleCurrentFavourite()
{
    const std::optional<qint64> id = currentGameId();
    return id && toggleFavourite(*id);
}

bool LibraryOrganiser::toggleFavourite(qint64 id)
{
    const std::optional<GameRecord> game = m_library->game(id);
    return game && m_library->setFavourite(id, !game->favourite);
}

void LibraryOrganiser::sortChosen(int entry)
{
    const int ours = entry - m_firstSortEntry;
    if (ours >= 0 && ours < int(std::size(sortEntries)))
        m_model->setSort(sortEntries[ours].sort);
}

QString LibraryOrganiser::playTimeText(qint64 totalSeconds, qint64 lastSessionSeconds)
{
    if (totalSeconds <= 0)
        return QString();
    return tr("Time played: %1, last time %2").arg(duration(totalSeconds), duration(lastSessionSeconds));
}

void LibraryOrganiser::showDetails()
{
    const std::optional<qint64> id = currentGameId();
    const std::optional<GameRecord> game = id && !m_parts.play->isHidden() ? m_library->game(*id) : std::nullopt;
    loc_star->setVisible(game.has_value());
    loc_time->setVisible(game.has_value());
    if (!game) {
        loc_time->clear();
        return;
    }
    loc_star->setChecked(game->favourite);
    loc_star->setIcon(GameListModel::starIcon(game->favourite));
    loc_time->setText(playTimeText(game->playSeconds, game->lastSessionSeconds));
}

void LibraryOrganiser::updateRandom()
{
    const bool any = m_model->shownGames() > 0;
    game_random->setEnabled(any);
    m_randomAction->setEnabled(any && m_parts.panel->isVisible());
}

void LibraryOrganiser::placeControls()
{
    if (m_placing)
        return;
    m_placing = true;
    // In the row above the grid, after the orders; the count keeps what is left of the row.
    const QRect sort = m_parts.orders->geometry();
    const QRect add = m_parts.add->geometry();
    const int gap = twips::toPixels(120);
    // The buttons as wide as their texts need, in any language: the count keeps the rest of the row.
    game_favourites->setGeometry(sort.right() + gap, sort.top(), game_favourites->sizeHint().width(), sort.height());
    game_random->setGeometry(game_favourites->geometry().right() + gap, sort.top(), game_random->sizeHint().width(),
                             sort.height());
    const int countLeft = game_random->geometry().right() + gap;
    m_parts.count->setGeometry(countLeft, sort.top(), qMax(0, add.left() - gap - countLeft), sort.height());
    // Between the title and the plays in the details, the title ending before it; the play time on a line of its
    // own under the plays, the description under that.
    const QRect name = m_parts.title->geometry();
    const QRect stats = m_parts.plays->geometry();
    loc_star->setGeometry(stats.left() - name.height() - gap, name.top(), name.height(), name.height());
    m_parts.title->resize(qMax(0, loc_star->x() - gap - name.left()), name.height());
    loc_time->setGeometry(stats.left(), stats.bottom() + 1, stats.width(), stats.height());
    const QRect description = m_parts.description->geometry();
    const int top = qMax(description.top(), loc_time->geometry().bottom() + 1);
    m_parts.description->setGeometry(description.left(), top, description.width(),
                                     qMax(0, description.bottom() + 1 - top));
    m_placing = false;
}

bool LibraryOrganiser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_parts.play && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        showDetails();
    else if (watched == m_parts.panel && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        updateRandom();
    else if (watched == m_parts.count && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeControls();
    return QObject::eventFilter(watched, event);
}
