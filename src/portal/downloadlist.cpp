#include "portal/downloadlist.h"

#include "base/portal/gameacquisition.h"
#include "portal/downloadpanel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int serialRole = Qt::UserRole;

QString durationText(qint64 seconds)
{
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString mmss =
        QStringLiteral("%1:%2").arg(m, h ? 2 : 1, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return h ? QStringLiteral("%1:%2").arg(h).arg(mmss) : mmss;
}

} // namespace

DownloadList::DownloadList(GameAcquisition *acquisition, DownloadPanel *panel, QWidget *window)
    : QWidget(window, Qt::Tool), m_acquisition(acquisition), m_panel(panel)
{
    setObjectName(QStringLiteral("downloadList"));
    setWindowTitle(tr("Downloads"));
    resize(640, 260);

    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("downloads"));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels({tr("Game"), tr("State"), tr("Progress"), tr("Speed"), tr("Remaining")});
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(Title, QHeaderView::Stretch);
    list->header()->setStretchLastSection(false);

    b_cancel = new QPushButton(tr("Cancel"), this);
    b_cancel->setObjectName(QStringLiteral("b_cancel"));
    b_retry = new QPushButton(tr("Retry"), this);
    b_retry->setObjectName(QStringLiteral("b_retry"));
    b_clear = new QPushButton(tr("Clear finished"), this);
    b_clear->setObjectName(QStringLiteral("b_clear"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(b_cancel);
    buttons->addWidget(b_retry);
    buttons->addStretch();
    buttons->addWidget(b_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);

    connect(b_cancel, &QPushButton::clicked, this, &DownloadList::cancelChosen);
    connect(b_retry, &QPushButton::clicked, this, [this] { m_acquisition->retryGame(chosen()); });
    connect(b_clear, &QPushButton::clicked, this, &DownloadList::clearFinished);
    connect(list, &QTreeWidget::currentItemChanged, this, &DownloadList::updateButtons);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const QueuedGame *game = m_acquisition->queue()->find(item->data(Title, serialRole).toULongLong());
        if (game && game->state == QueuedGame::State::Done && game->game)
            emit playRequested(game->game->gameId);
    });
    const DownloadQueue *queue = acquisition->queue();
    connect(queue, &DownloadQueue::added, this, &DownloadList::showGame);
    connect(queue, &DownloadQueue::changed, this, &DownloadList::showGame);
    connect(queue, &DownloadQueue::removed, this, &DownloadList::dropGame);
    for (const QueuedGame &game : queue->games())
        showGame(game.serial);
    connect(panel, &DownloadPanel::listRequested, this, &DownloadList::showList);
    updateButtons();
}

void DownloadList::addMenu(QMenuBar *bar)
{
    QMenu *menu = bar->addMenu(tr("&Downloads"));
    menu->setObjectName(QStringLiteral("mdownloads"));
    QAction *open = menu->addAction(tr("Downloads list"), this, &DownloadList::showList);
    open->setObjectName(QStringLiteral("m_downloads"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    open->setShortcutContext(Qt::WindowShortcut);
}

void DownloadList::showList()
{
    if (!isVisible())
        placeBesideWindow();
    QWidget::show();
    raise();
    activateWindow();
    list->setFocus();
}

void DownloadList::placeBesideWindow()
{
    const QWidget *window = parentWidget() ? parentWidget()->window() : nullptr;
    if (!window || !window->screen())
        return;
    const QRect main = window->frameGeometry();
    const QRect room = window->screen()->availableGeometry();
    const QSize size = frameGeometry().size().expandedTo(this->size());
    int x = main.right() + 1;
    if (x + size.width() > room.right() + 1)
        x = main.left() - size.width();
    if (x < room.left())
        x = main.right() + 1 - size.width();
    const int y = std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
    move(std::clamp(x, room.left(), std::max(room.left(), room.right() + 1 - size.width())), y);
}

void DownloadList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString DownloadList::stateText(QueuedGame::State state)
{
    switch (state) {
    case QueuedGame::State::Details:
        return tr("Getting details");
    case QueuedGame::State::Waiting:
        return tr("Waiting");
    case QueuedGame::State::Downloading:
        return tr("Downloading");
    case QueuedGame::State::Failed:
        return tr("Failed");
    case QueuedGame::State::Done:
        return tr("Done");
    }
    return QString();
}

QString DownloadList::progressText(const QueuedGame &game)
{
    if (game.state == QueuedGame::State::Done)
        return QStringLiteral("100%");
    if (game.total && *game.total > 0)
        return QStringLiteral("%1%").arg(std::min<qint64>(100, game.written * 100 / *game.total));
    return game.written > 0 ? QLocale().formattedDataSize(game.written) : QString();
}

QString DownloadList::speedText(const QueuedGame &game)
{
    if (game.state != QueuedGame::State::Downloading || game.bytesPerSecond <= 0)
        return QString();
    return tr("%1/s").arg(QLocale().formattedDataSize(game.bytesPerSecond));
}

QString DownloadList::remainingText(const QueuedGame &game)
{
    const std::optional<qint64> bytes = game.remainingBytes();
    if (!game.isUnfinished() || !bytes || game.written == 0)
        return QString();
    const std::optional<qint64> seconds =
        game.state == QueuedGame::State::Downloading ? game.remainingSeconds() : std::nullopt;
    const QString size = QLocale().formattedDataSize(*bytes);
    return seconds ? QStringLiteral("%1, %2").arg(size, durationText(*seconds)) : size;
}

QTreeWidgetItem *DownloadList::itemOf(quint64 serial) const
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        if (item->data(Title, serialRole).toULongLong() == serial)
            return item;
    }
    return nullptr;
}

quint64 DownloadList::chosen() const
{
    const QTreeWidgetItem *item = list->currentItem();
    return item ? item->data(Title, serialRole).toULongLong() : 0;
}

void DownloadList::showGame(quint64 serial)
{
    const QueuedGame *game = m_acquisition->queue()->find(serial);
    if (!game)
        return;
    QTreeWidgetItem *item = itemOf(serial);
    if (!item) {
        item = new QTreeWidgetItem(list);
        item->setData(Title, serialRole, serial);
        item->setTextAlignment(Progress, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(Speed, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(Remaining, Qt::AlignRight | Qt::AlignVCenter);
    }
    // Items show their text as it is: titles from the server are never taken for markup.
    item->setText(Title, game->title());
    item->setText(State, stateText(game->state));
    item->setToolTip(State, game->state == QueuedGame::State::Failed ? game->errorText : QString());
    item->setText(Progress, progressText(*game));
    item->setText(Speed, speedText(*game));
    item->setText(Remaining, remainingText(*game));
    updateButtons();
}

void DownloadList::dropGame(quint64 serial)
{
    delete itemOf(serial);
    updateButtons();
}

void DownloadList::updateButtons()
{
    const QueuedGame *game = m_acquisition->queue()->find(chosen());
    b_cancel->setEnabled(game && game->isUnfinished());
    b_retry->setEnabled(game && game->state == QueuedGame::State::Failed);
    const QList<QueuedGame> &games = m_acquisition->queue()->games();
    b_clear->setEnabled(
        std::any_of(games.cbegin(), games.cend(), [](const QueuedGame &g) { return !g.isUnfinished(); }));
}

void DownloadList::cancelChosen()
{
    const quint64 serial = chosen();
    const QueuedGame *game = m_acquisition->queue()->find(serial);
    // The panel no longer shows a transfer that will not come.
    const bool shown = game && game->isUnfinished() && serial == m_acquisition->onPanel();
    m_acquisition->cancelGame(serial);
    if (shown)
        m_panel->showCancelled();
}

void DownloadList::clearFinished()
{
    QList<quint64> finished;
    for (const QueuedGame &game : m_acquisition->queue()->games()) {
        if (!game.isUnfinished())
            finished << game.serial;
    }
    for (quint64 serial : std::as_const(finished))
        m_acquisition->cancelGame(serial);
}
