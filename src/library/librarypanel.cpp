#include "library/librarypanel.h"

#include "base/textcodes.h"

#include "library/gamelistmodel.h"
#include "library/pictureloader.h"
#include "widgets/twips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

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

// The server writes an apostrophe as "#39;" and a double quote as "#34;"; only descriptions show them back.
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

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setFont(arial(9, true));
    b->hide();
    return b;
}

} // namespace

LibraryPanel::LibraryPanel(GameStore *store, const QString &appFolder, QWidget *parent)
    : QFrame(parent), m_store(store), m_appFolder(appFolder), m_model(new GameListModel(this))
{
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
    twips::place(game_list, 120, 240, 7455, 4935);
    connect(game_list, &QAbstractItemView::clicked, this, &LibraryPanel::game_list_Click);
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

    Game_Play = button(QStringLiteral("Game_Play"), tr("Play"), this);
    twips::place(Game_Play, 3360, 7320, 900, 495);
    connect(Game_Play, &QPushButton::clicked, this, &LibraryPanel::playRequested);
    Game_Delete = button(QStringLiteral("Game_Delete"), tr("Delete"), this);
    twips::place(Game_Delete, 4920, 7320, 900, 495);
    connect(Game_Delete, &QPushButton::clicked, this, &LibraryPanel::Game_Delete_Click);
}

std::optional<qint64> LibraryPanel::gameCount()
{
    if (!m_store->open_db())
        return std::nullopt;
    return m_store->count();
}

void LibraryPanel::reload()
{
    const bool opened = m_store->open_db();
    const std::optional<QVector<GameRecord>> games = opened ? m_store->gamesNewestFirst() : std::nullopt;
    m_model->setGames(games.value_or(QVector<GameRecord>()));
    Game_Play->hide();
    Game_Delete->hide();
}

int LibraryPanel::currentRow() const
{
    const QModelIndex current = game_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

std::optional<GameRecord> LibraryPanel::currentGame()
{
    const int row = currentRow();
    if (!m_model->isGameRow(row) || !m_store->open_db())
        return std::nullopt;
    return m_store->gameById(m_model->idText(row));
}

void LibraryPanel::game_list_Click()
{
    const std::optional<GameRecord> game = currentGame();
    if (!game)
        return;
    showPicture(PictureLoader::loadFile(m_store->picturePath(game->gamepic)));
    loc_name->setText(game->gamename);
    loc_dec->setText(turnBackCodes(game->gamedesc));
    Game_Play->show();
    Game_Delete->show();
}

void LibraryPanel::Game_Delete_Click()
{
    const int row = currentRow();
    if (!m_model->isGameRow(row))
        return;
    const QString key = m_model->idText(row);
    // Unless its row is really gone, the game stays listed and its files stay on disk.
    if (!m_store->open_db())
        return;
    const std::optional<GameRecord> game = m_store->gameById(key);
    if (!m_store->removeById(key))
        return;
    if (game) {
        const std::optional<qint64> movieUsers = m_store->countUsingMovie(game->game);
        removeUnlessNamed(m_store->moviePath(game->game), movieUsers);
        removeUnlessNamed(m_store->picturePath(game->gamepic), m_store->countUsingPicture(game->gamepic));
        // The saves belong to the movie: they go with it, and stay while another game plays that movie.
        if (movieUsers && *movieUsers == 0 && !m_store->moviePath(game->game).isEmpty())
            emit movieForgotten(game->game);
    }
    m_model->removeGameRow(row);
    Game_Play->hide();
    Game_Delete->hide();
    showPicture(PictureLoader::loadFile(QDir(m_appFolder).filePath(QStringLiteral("no.gif"))));
    loc_name->clear();
    loc_dec->clear();
}

void LibraryPanel::removeUnlessNamed(const QString &path, std::optional<qint64> stillNamedBy)
{
    // Another recorded game still using the file (or not knowing) keeps it.
    if (path.isEmpty() || !stillNamedBy || *stillNamedBy > 0)
        return;
    if (QFileInfo(path).isFile())
        QFile::remove(path);
}

void LibraryPanel::showPicture(const QImage &image)
{
    if (image.isNull()) {
        loc_pic->clear();
        return;
    }
    loc_pic->setPixmap(
        QPixmap::fromImage(image.scaled(loc_pic->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}
