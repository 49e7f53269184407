#include "library/gameadder.h"

#include "base/library/gamestore.h"
#include "base/logging.h"
#include "widgets/messagebox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSet>

namespace {

// The message names this many refused files at most, then how many more there were.
constexpr int namedRefusals = 15;

} // namespace

GameAdder::GameAdder(GameStore *store, const QString &appFolder, MessageBox *messages, QWidget *window)
    : QObject(window),
      m_store(store),
      m_messages(messages),
      m_window(window),
      m_import(QDir(appFolder).filePath(QStringLiteral("flash")))
{
    connect(&m_import, &MovieImport::progress, this, [this](int done, int total) {
        if (m_progress) {
            m_progress->setMaximum(total);
            m_progress->setValue(done);
        }
    });
    connect(&m_import, &MovieImport::finished, this, &GameAdder::importFinished);
}

GameAdder::~GameAdder()
{
    delete m_progress;
}

void GameAdder::add(const QStringList &paths)
{
    if (isRunning())
        return;
    const QStringList files = MovieImport::expand(paths);
    if (files.isEmpty()) {
        m_messages->show(MessageBox::Icon::Warning, tr("There are no Flash movies (.swf) to add."), m_window);
        emit finished(0);
        return;
    }
    if (files.size() > quietBatch) {
        m_progress = new QProgressDialog(tr("Adding games..."), tr("Cancel"), 0, int(files.size()), m_window);
        m_progress->setObjectName(QStringLiteral("add_progress"));
        m_progress->setWindowTitle(MessageBox::title());
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        connect(m_progress, &QProgressDialog::canceled, &m_import, &MovieImport::cancel);
        m_progress->setValue(0);
    }
    m_import.start(files);
}

void GameAdder::importFinished(const QVector<ImportedMovie> &added, const QVector<RefusedMovie> &refused)
{
    // The end may arrive while the dialog itself handles events (a modal setValue() does): it goes once
    // that is over, never from under its own feet.
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
        m_progress = nullptr;
    }

    // A file already recorded (the same movie added before) is recorded once.
    QVector<GameRecord> games;
    QVector<QString> copiedPaths;
    QSet<QString> names;
    for (const ImportedMovie &movie : added) {
        if (names.contains(movie.fileName))
            continue;
        names.insert(movie.fileName);
        if (movie.copied)
            copiedPaths.append(m_store->moviePath(movie.fileName));
        else if (m_store->countUsingMovie(movie.fileName).value_or(0) > 0)
            continue;
        GameRecord game;
        game.gamename = movie.title;
        game.game = movie.fileName;
        games.append(game);
    }

    int recorded = 0;
    if (m_store->insertOwnGames(games)) {
        recorded = int(games.size());
    } else {
        // Nothing was recorded: the copies made for it go again, as if never added.
        for (const QString &path : copiedPaths)
            QFile::remove(path);
        m_messages->show(MessageBox::Icon::Warning, tr("The games could not be recorded in the library."),
                         m_window);
    }
    qCInfo(lcLibrary).noquote() << "Added" << recorded << "games of the user's;" << refused.size() << "files refused";

    if (!refused.isEmpty()) {
        QStringList lines;
        for (int i = 0; i < refused.size() && i < namedRefusals; ++i)
            lines << tr("%1: %2").arg(QFileInfo(refused.at(i).sourcePath).fileName(), refused.at(i).reason);
        if (refused.size() > namedRefusals)
            lines << tr("...and %1 more.").arg(refused.size() - namedRefusals);
        m_messages->show(MessageBox::Icon::Warning,
                         tr("These files were not added:") + QLatin1Char('\n') + lines.join(QLatin1Char('\n')),
                         m_window);
    }
    emit finished(recorded);
}
