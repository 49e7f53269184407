#include "library/gameadder.h"

#include "base/library/library.h"
#include "base/logging.h"
#include "library/verifydialog.h"
#include "widgets/messagebox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>

namespace {

// The message names this many refused files at most, then how many more there were.
constexpr int namedRefusals = 15;

// The local files and folders that a drag brings; none when it brings no local file.
QStringList localFiles(const QMimeData *data)
{
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl &url : data->urls()) {
            if (url.isLocalFile())
                paths << url.toLocalFile();
        }
    }
    return paths;
}

} // namespace

GameAdder::GameAdder(Library *library, MessageBox *messages, QWidget *window)
    : QObject(window), m_library(library), m_messages(messages), m_window(window),
      m_import(library->folders().movieFolder())
{
    connect(&m_import, &MovieImport::progress, this, [this](int done, int total) {
        if (m_progress) {
            m_progress->setMaximum(total);
            m_progress->setValue(done);
        }
    });
    connect(&m_import, &MovieImport::finished, this, &GameAdder::importFinished);
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

void GameAdder::addMenu(QMenuBar *bar)
{
    QMenu *mgames = bar->addMenu(tr("&Games"));
    mgames->setObjectName(QStringLiteral("mgames"));
    QAction *files = mgames->addAction(tr("Add games..."), this, &GameAdder::chooseFiles);
    files->setObjectName(QStringLiteral("m_addgames"));
    QAction *folder = mgames->addAction(tr("Add a folder of games..."), this, &GameAdder::chooseFolder);
    folder->setObjectName(QStringLiteral("m_addfolder"));
    mgames->addSeparator();
    QAction *verify = mgames->addAction(tr("Verify library"), this, &GameAdder::verifyLibrary);
    verify->setObjectName(QStringLiteral("m_verifylibrary"));
}

void GameAdder::verifyLibrary()
{
    if (m_verify) {
        m_verify->raise();
        m_verify->activateWindow();
        return;
    }
    // Not modal: games go on playing and downloading while the library is read.
    m_verify = new VerifyDialog(m_library, m_messages, m_serverUrl, m_window);
    m_verify->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_verify, &VerifyDialog::redownloadRequested, this, &GameAdder::redownloadRequested);
    m_verify->show();
    m_verify->start();
}

void GameAdder::chooseFiles()
{
    const QStringList files = m_messages->chooseMovies(m_window);
    if (files.isEmpty() || isRunning())
        emit finished(0);
    else
        add(files);
}

void GameAdder::chooseFolder()
{
    const QString folder = m_messages->chooseMovieFolder(m_window);
    if (folder.isEmpty() || isRunning())
        emit finished(0);
    else
        add({folder});
}

bool GameAdder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    if (event->type() == QEvent::DragEnter) {
        auto *enter = static_cast<QDragEnterEvent *>(event);
        if (!localFiles(enter->mimeData()).isEmpty() && !isRunning())
            enter->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = localFiles(drop->mimeData());
        if (!paths.isEmpty()) {
            drop->acceptProposedAction();
            // The drop ends before the files are read: the user's file manager is not kept waiting.
            QTimer::singleShot(0, this, [this, paths] { add(paths); });
        }
        return true;
    }
    return false;
}

GameAdder::~GameAdder()
{
    delete m_progress;
    delete m_verify;
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

    int recorded = 0;
    if (const std::optional<QVector<GameRecord>> games = m_library->recordImported(added))
        recorded = int(games->size());
    else
        m_messages->show(MessageBox::Icon::Warning, tr("The games could not be recorded in the library."), m_window);
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
