#include "library/librarypanel.h"

#include "base/library/library.h"
#include "base/textcodes.h"

#include "library/gamelistmodel.h"
#include "library/libraryorganiser.h"
#include "library/pictureloader.h"
#include "library/savesactions.h"
#include "widgets/twips.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <iterator>

namespace {

// Column widths and the row height of the grid, in twips.
constexpr int columnWidths[GameListModel::ColumnCount] = {800, 3650, 3000, 4340};
constexpr int rowHeight = 400;

QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel *detailLabel(const QString &name, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(font);
    // Titles and descriptions come from the server: they are shown as the text they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));
    label->setPalette(palette);
    return label;
}

// The orders offered beside the search field; a click on a column's title gives the others.
struct SortEntry
{
    const char *text;
    GameIndex::Sort sort;
};
const SortEntry sortEntries[] = {
    {QT_TRANSLATE_NOOP("LibraryPanel", "Newest first"), {GameIndex::SortKey::Id, Qt::DescendingOrder}},
    {QT_TRANSLATE_NOOP("LibraryPanel", "Recently played"), {GameIndex::SortKey::LastPlayed, Qt::DescendingOrder}},
    {QT_TRANSLATE_NOOP("LibraryPanel", "Most played"), {GameIndex::SortKey::PlayCount, Qt::DescendingOrder}},
    {QT_TRANSLATE_NOOP("LibraryPanel", "Title"), {GameIndex::SortKey::Title, Qt::AscendingOrder}},
};

// Shows text on the label's one line, ending in "..." when it is wider than the label, the whole of it in the
// tooltip then. Qt shows a tooltip that looks like markup as markup: the text is handed over escaped.
void setElidedText(QLabel *label, const QString &text)
{
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, label->width());
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setFont(arial(9, true));
    b->hide();
    return b;
}

} // namespace

// The organiser watches this panel's children: it goes first, before they are torn down under it.
LibraryPanel::~LibraryPanel()
{
    delete m_organiser;
}

LibraryPanel::LibraryPanel(Library *library, MessageBox *messages, const QString &placeholderPicture, QWidget *parent)
    : QFrame(parent), m_library(library), m_messages(messages), m_placeholderPicture(placeholderPicture),
      m_model(new GameListModel(library, this))
{
    // After the model's: the grid has lost the row when the count is shown.
    connect(m_library, &Library::gameRemoved, this, &LibraryPanel::gameRemoved);
    connect(m_library, &Library::gamePlayed, this, &LibraryPanel::gamePlayed);

    setObjectName(QStringLiteral("game_main"));
    setStyleSheet(QStringLiteral("#game_main { background: #E0E0E0; }"));
    twips::place(this, 0, 0, 11940, 7965);

    game_list = new QTableView(this);
    game_list->setObjectName(QStringLiteral("game_list"));
    game_list->setModel(m_model);
    game_list->setFont(arial(8.25, false));
    game_list->horizontalHeader()->hide();
    game_list->verticalHeader()->hide();
    game_list->setSelectionMode(QAbstractItemView::SingleSelection);
    game_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    game_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    game_list->setWordWrap(false);
    game_list->setTextElideMode(Qt::ElideRight); // a long title or description ends in "..." within its cell
    QHeaderView *rows = game_list->verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(twips::toPixels(rowHeight));
    QHeaderView *columns = game_list->horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    for (int column = 0; column < GameListModel::ColumnCount; ++column)
        columns->resizeSection(column, twips::toPixels(columnWidths[column]));
    twips::place(game_list, 120, 240 + barHeight, 7455, 4935 - barHeight);
    game_list->installEventFilter(this);
    connect(game_list, &QAbstractItemView::clicked, this, &LibraryPanel::game_list_Click);
    // A title is pressed once even in a double-click, so the order changes once.
    connect(game_list, &QAbstractItemView::pressed, this, &LibraryPanel::titleRowPressed);
    // The arrow keys move through the games and show each one's details.
    connect(game_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && m_model->isGameRow(current.row()))
                    game_list_Click();
            });
    connect(game_list, &QAbstractItemView::doubleClicked, this, [this] {
        game_list_Click();
        if (m_model->isGameRow(currentRow()))
            emit playRequested();
    });

    loc_pic = new QLabel(this);
    loc_pic->setObjectName(QStringLiteral("loc_pic"));
    loc_pic->setAlignment(Qt::AlignCenter);
    twips::place(loc_pic, 240, 5400, 1575, 1335);

    loc_name = detailLabel(QStringLiteral("loc_name"), arial(9, true), this);
    twips::place(loc_name, 2280, 5280, 5415, 375);
    loc_dec = detailLabel(QStringLiteral("loc_dec"), arial(9, false), this);
    loc_dec->setWordWrap(true);
    twips::place(loc_dec, 2280, 5760, 8055, 1455);

    loc_stats = detailLabel(QStringLiteral("loc_stats"), arial(8.25, false), this);
    loc_stats->setAlignment(Qt::AlignRight | Qt::AlignTop);
    twips::place(loc_stats, 7800, 5280, 3960, 375);
    loc_kept = detailLabel(QStringLiteral("loc_kept"), arial(8.25, false), this);
    loc_kept->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    twips::place(loc_kept, 6240, 7380, 5520, 375);

    game_search = new QLineEdit(this);
    game_search->setObjectName(QStringLiteral("game_search"));
    game_search->setPlaceholderText(tr("Search games"));
    game_search->setClearButtonEnabled(true);
    game_search->installEventFilter(this);
    connect(game_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_model->setFilter(text);
        showCount();
    });
    game_sort = new QComboBox(this);
    game_sort->setObjectName(QStringLiteral("game_sort"));
    for (const SortEntry &entry : sortEntries)
        game_sort->addItem(tr(entry.text));
    connect(game_sort, &QComboBox::activated, this, &LibraryPanel::sortChosen);
    game_count = new QLabel(this);
    game_count->setObjectName(QStringLiteral("game_count"));
    game_count->setTextFormat(Qt::PlainText);
    game_count->installEventFilter(this); // the count is elided anew to the room it gets
    game_add = new QPushButton(tr("Add games..."), this);
    game_add->setObjectName(QStringLiteral("game_add"));
    connect(game_add, &QPushButton::clicked, this, &LibraryPanel::addRequested);
    placeBar();

    Game_Play = button(QStringLiteral("Game_Play"), tr("Play"), this);
    twips::place(Game_Play, 3360, 7320, 900, 495);
    connect(Game_Play, &QPushButton::clicked, this, &LibraryPanel::playRequested);
    Game_Delete = button(QStringLiteral("Game_Delete"), tr("Delete"), this);
    twips::place(Game_Delete, 4920, 7320, 900, 495);
    connect(Game_Delete, &QPushButton::clicked, this, &LibraryPanel::Game_Delete_Click);

    m_savesActions = new SavesActions(
        library, messages, [this] { return currentGame(); }, this);
    game_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(game_list, &QWidget::customContextMenuRequested, this, &LibraryPanel::showGameMenu);
    connect(game_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &LibraryPanel::updateSavesActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, &LibraryPanel::updateSavesActions);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &LibraryPanel::updateSavesActions);
    // Games come and go while the panel is shown: a download in the background, a star taken off a favourite.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &LibraryPanel::showCount);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &LibraryPanel::showCount);
    connect(m_model, &QAbstractItemModel::modelReset, this, &LibraryPanel::showCount);
    // A new search, filter or order lists the games anew: the one shown stays selected while it is listed.
    connect(m_model, &QAbstractItemModel::modelReset, this, &LibraryPanel::keepSelection);
    updateSavesActions();
    m_organiser = new LibraryOrganiser(
        library, {this, game_list, game_sort, game_count, game_add, loc_name, loc_stats, Game_Play, loc_dec}, this);
    connect(m_organiser, &LibraryOrganiser::gamePicked, this, &LibraryPanel::game_list_Click);
}

void LibraryPanel::setSaves(SaveKeeper *saves, SavesFileDialogs *dialogs)
{
    m_savesActions->setSaves(saves, dialogs);
}

void LibraryPanel::addMenus(QMenuBar *bar)
{
    if (auto *games = bar->findChild<QMenu *>(QStringLiteral("mgames")))
        m_organiser->addToMenu(games);
    QMenu *menu = bar->addMenu(tr("S&aves"));
    menu->setObjectName(QStringLiteral("msaves"));
    m_savesActions->addTo(menu);
}

void LibraryPanel::updateSavesActions()
{
    m_savesActions->update(currentGameId().has_value());
}

void LibraryPanel::showGameMenu(const QPoint &at)
{
    const QModelIndex index = game_list->indexAt(at);
    if (index.isValid() && m_model->isGameRow(index.row())) {
        game_list->setCurrentIndex(index);
        game_list_Click();
    }
    updateSavesActions();
    QMenu menu(this);
    m_savesActions->addTo(&menu);
    menu.exec(game_list->viewport()->mapToGlobal(at));
}

void LibraryPanel::placeOver(const QRect &area)
{
    setGeometry(area);
    game_list->resize(twips::toPixels(twips::fromPixels(width()) - 60), game_list->height());
    game_list->move(twips::positionToPixels(30), twips::positionToPixels(120 + barHeight));
    loc_dec->resize(twips::toPixels(twips::fromPixels(loc_dec->width()) + 800), loc_dec->height());
}

std::optional<qint64> LibraryPanel::gameCount()
{
    return m_library->gameCount();
}

void LibraryPanel::reload()
{
    // The search, the filter, the order and the selected game stay for the session.
    if (m_library->open()) {
        m_model->reload();
    } else {
        m_model->setFilter(QString());
        const QSignalBlocker quiet(game_search);
        game_search->clear();
    }
    showCount();
    keepSelection();
}

void LibraryPanel::keepSelection()
{
    int row = m_model->rowOf(m_detailsId);
    if (row < 0 && m_model->shownGames() > 0)
        row = GameListModel::TitleRow + 1;
    if (row < 0) {
        game_list->setCurrentIndex(QModelIndex());
        clearDetails();
        return;
    }
    game_list->setCurrentIndex(m_model->index(row, GameListModel::GameColumn));
    showCurrentDetails();
}

void LibraryPanel::showCurrentDetails()
{
    m_detailsId = 0; // read anew: the star, the plays and the play time may have changed meanwhile
    if (currentGame())
        game_list_Click();
    else
        clearDetails();
}

void LibraryPanel::gamePlayed(const GameRecord &game)
{
    const int row = currentRow();
    if (m_model->isGameRow(row) && m_model->idAt(row) == game.id)
        showStatistics(game);
}

void LibraryPanel::titleRowPressed(const QModelIndex &index)
{
    if (!index.isValid() || index.row() != GameListModel::TitleRow)
        return;
    const GameIndex::Sort sort = m_model->sortForColumn(index.column());
    m_model->setSort(sort);
    int entry = -1;
    for (int i = 0; i < int(std::size(sortEntries)); ++i) {
        if (sortEntries[i].sort == sort)
            entry = i;
    }
    game_sort->setCurrentIndex(entry);
}

void LibraryPanel::sortChosen(int entry)
{
    if (entry >= 0 && entry < int(std::size(sortEntries)))
        m_model->setSort(sortEntries[entry].sort);
}

void LibraryPanel::showCount()
{
    const int shown = m_model->shownGames();
    const int total = m_model->totalGames();
    if (shown != total)
        setElidedText(game_count, tr("%1 of %2 games").arg(shown).arg(total));
    else
        setElidedText(game_count, total == 1 ? tr("1 game") : tr("%1 games").arg(total));
}

void LibraryPanel::showStatistics(const GameRecord &game)
{
    if (game.playCount <= 0) {
        loc_stats->setText(tr("Never played"));
        return;
    }
    const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(game.lastPlayed), QLocale::ShortFormat);
    loc_stats->setText(game.playCount == 1 ? tr("Played once, last on %1").arg(when)
                                           : tr("Played %1 times, last on %2").arg(game.playCount).arg(when));
}

void LibraryPanel::showKeptFiles(qint64 id)
{
    // Read each time the details are shown: a game keeps more files as it is played.
    const std::optional<QVector<KeptFile>> kept = m_library->store().keptFiles(id);
    if (!kept || kept->isEmpty()) {
        loc_kept->clear();
        return;
    }
    qint64 bytes = 0;
    for (const KeptFile &file : *kept)
        bytes += file.size;
    loc_kept->setText(
        tr("Files kept with the game: %1 (%2)").arg(kept->size()).arg(QLocale().formattedDataSize(bytes)));
}

void LibraryPanel::placeBar()
{
    // The row above the grid, as wide as the grid: search, order and count on the left, adding on the right.
    const QRect grid = game_list->geometry();
    const int height = twips::toPixels(barHeight - 120);
    const int top = grid.top() - twips::toPixels(barHeight) + twips::toPixels(40);
    const int addWidth = twips::toPixels(1500);
    game_search->setGeometry(grid.left(), top, twips::toPixels(3600), height);
    game_sort->setGeometry(game_search->geometry().right() + twips::toPixels(120), top, twips::toPixels(2100), height);
    game_count->setGeometry(game_sort->geometry().right() + twips::toPixels(180), top,
                            qMax(0, grid.right() - addWidth - game_sort->geometry().right() - twips::toPixels(300)),
                            height);
    game_add->setGeometry(grid.right() - addWidth + 1, top, addWidth, height);
}

bool LibraryPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == game_list && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        placeBar();
    } else if (watched == game_count && event->type() == QEvent::Resize) {
        showCount();
    } else if (watched == game_search && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !game_search->text().isEmpty()) {
        game_search->clear();
        return true;
    } else if (watched == game_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_model->isGameRow(currentRow())) {
            game_list_Click();
            emit playRequested();
            return true;
        }
        // A key is easier to hit by mistake than the button: it asks first.
        if (key == Qt::Key_Delete && m_model->isGameRow(currentRow())) {
            const std::optional<GameRecord> game = currentGame();
            if (game && m_messages->ask(tr("Delete \"%1\" from the library?").arg(turnBackCodes(game->title)), this))
                Game_Delete_Click();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

int LibraryPanel::currentRow() const
{
    const QModelIndex current = game_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

std::optional<qint64> LibraryPanel::currentGameId() const
{
    const int row = currentRow();
    return m_model->isGameRow(row) ? std::optional<qint64>(m_model->idAt(row)) : std::nullopt;
}

std::optional<GameRecord> LibraryPanel::currentGame()
{
    const std::optional<qint64> id = currentGameId();
    if (!id || !m_library->open())
        return std::nullopt;
    return m_library->game(*id);
}

void LibraryPanel::game_list_Click()
{
    // A click moves the current row too: the details it shows are shown once.
    const int row = currentRow();
    if (m_model->isGameRow(row) && m_model->idAt(row) == m_detailsId && !Game_Play->isHidden())
        return;
    const std::optional<GameRecord> game = currentGame();
    if (!game)
        return;
    m_detailsId = game->id;
    // A game of the user's own has no picture: the placeholder stands in for it.
    showPicture(picture(game->pictureFile.isEmpty() ? m_placeholderPicture
                                                    : m_library->folders().picturePath(game->pictureFile)));
    // The library keeps what the server wrote; the user reads the characters its codes stand for.
    setElidedText(loc_name, turnBackCodes(game->title));
    loc_dec->setText(turnBackCodes(game->description));
    showStatistics(*game);
    showKeptFiles(game->id);
    Game_Play->show();
    Game_Delete->show();
    if (m_organiser)
        m_organiser->showDetails();
}

void LibraryPanel::Game_Delete_Click()
{
    const std::optional<qint64> id = currentGameId();
    if (!id || m_deleting)
        return;
    // The saves go only with the game's movie: while another game plays it they stay, and nothing is asked.
    SaveKeeper *saves = m_savesActions->saves();
    const std::optional<GameRecord> game = saves ? currentGame() : std::nullopt;
    if (!game || m_library->store().countUsingMovie(game->movieFile).value_or(0) != 1) {
        deleteGame(*id, Deletion::Saves::GoWithMovie);
        return;
    }
    m_deleting = true;
    saves->countSaves(game->movieFile, this, [this, game = *game](int count) {
        m_deleting = false;
        // No is the default: progress kept by mistake costs a little room, progress lost cannot come back.
        const bool forget =
            count <= 0 || m_messages->ask(tr("Delete the saves of \"%1\" too? Kept, they come back when the same "
                                             "game is added again.")
                                              .arg(turnBackCodes(game.title)),
                                          this);
        deleteGame(game.id, forget ? Deletion::Saves::GoWithMovie : Deletion::Saves::Keep);
    });
}

void LibraryPanel::deleteGame(qint64 id, Deletion::Saves saves)
{
    const Deletion::Status status = m_library->deleteGame(id, saves).status;
    // The grid and the count follow the library; a game that is still there stays listed.
    switch (status) {
    case Deletion::Status::Deleted:
        // The grid has moved its selection to a neighbouring row: the details are that game's.
        showCurrentDetails();
        return;
    case Deletion::Status::Unreadable:
        m_messages->show(MessageBox::Icon::Warning, tr("The game could not be deleted: the library cannot be read."),
                         this);
        return;
    case Deletion::Status::DiskFull:
        m_messages->show(MessageBox::Icon::Warning,
                         tr("The disk is full, so the game stays in the library. Free some disk space, then "
                            "delete it again."),
                         this);
        return;
    case Deletion::Status::NotWritten:
        m_messages->show(MessageBox::Icon::Warning, tr("The game could not be deleted: the library cannot be written."),
                         this);
        return;
    }
}

void LibraryPanel::gameRemoved(qint64 id)
{
    showCount();
    if (id == m_detailsId)
        showCurrentDetails();
}

void LibraryPanel::clearDetails()
{
    m_detailsId = 0;
    Game_Play->hide();
    Game_Delete->hide();
    showPicture(picture(m_placeholderPicture));
    loc_name->clear();
    loc_dec->clear();
    loc_stats->clear();
    loc_kept->clear();
    if (m_organiser)
        m_organiser->showDetails();
}

QImage LibraryPanel::picture(const QString &path)
{
    // Kept by name, size and time, so a picture a download writes anew under the same name is read again; and
    // by the size it is shown at.
    const QFileInfo file(path);
    const QSize shown = pictureSize();
    const QString key = path + QLatin1Char('\n') + QString::number(file.size()) + QLatin1Char('\n') +
                        QString::number(file.lastModified().toMSecsSinceEpoch()) + QLatin1Char('\n') +
                        QString::number(shown.width()) + QLatin1Char('x') + QString::number(shown.height());
    if (const QImage *known = m_pictures.object(key))
        return *known;
    // Decoded no larger than it is shown: a big picture costs its few kilobytes on screen, not its megabytes.
    const QImage image = PictureLoader::loadFile(path, shown);
    // Even a picture that did not load costs its entry something, so that no number of them grows unbounded.
    m_pictures.insert(key, new QImage(image), qMax<qsizetype>(image.sizeInBytes(), 1024));
    return image;
}

QSize LibraryPanel::pictureSize() const
{
    return loc_pic->size() * loc_pic->devicePixelRatioF();
}

void LibraryPanel::showPicture(const QImage &image)
{
    if (image.isNull()) {
        loc_pic->clear();
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(image.scaled(pictureSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(loc_pic->devicePixelRatioF());
    loc_pic->setPixmap(pixmap);
}
