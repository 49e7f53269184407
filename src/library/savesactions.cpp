#include "library/savesactions.h"

#include "base/library/library.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>

namespace {

SaveKeeper::Game keeperGame(const GameRecord &game)
{
    return {game.movieFile, game.gameId, game.title};
}

// A file name for the title: what no desktop's file system refuses.
QString fileNameFor(const QString &title)
{
    QString name = title.trimmed();
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    return name.left(100);
}

} // namespace

QString SavesFileDialogs::startFolder() const
{
    return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir()
               ? m_lastFolder
               : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString SavesFileDialogs::chooseExportFile(const QString &suggested, QWidget *parent)
{
    QString file =
        QFileDialog::getSaveFileName(parent, SavesActions::tr("Export saves"), QDir(startFolder()).filePath(suggested),
                                     SavesActions::tr("Saves (*.zip)"));
    if (!file.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".zip");
    if (!file.isEmpty())
        m_lastFolder = QFileInfo(file).absolutePath();
    return file;
}

QString SavesFileDialogs::chooseImportFile(QWidget *parent)
{
    const QString file = QFileDialog::getOpenFileName(parent, SavesActions::tr("Import saves"), startFolder(),
                                                      SavesActions::tr("Saves (*.zip);;All files (*)"));
    if (!file.isEmpty())
        m_lastFolder = QFileInfo(file).absolutePath();
    return file;
}

SavesActions::SavesActions(Library *library, MessageBox *messages,
                           std::function<std::optional<GameRecord>()> currentGame, QWidget *parent)
    : QObject(parent), m_library(library), m_messages(messages), m_currentGame(std::move(currentGame)), m_parent(parent)
{
    m_export = new QAction(tr("Export saves..."), this);
    m_export->setObjectName(QStringLiteral("m_exportsaves"));
    connect(m_export, &QAction::triggered, this, &SavesActions::exportSaves);
    m_import = new QAction(tr("Import saves..."), this);
    m_import->setObjectName(QStringLiteral("m_importsaves"));
    connect(m_import, &QAction::triggered, this, &SavesActions::importSaves);
    m_exportAll = new QAction(tr("Export all saves..."), this);
    m_exportAll->setObjectName(QStringLiteral("m_exportallsaves"));
    connect(m_exportAll, &QAction::triggered, this, &SavesActions::exportAllSaves);
    update(false);
}

SavesActions::~SavesActions() = default;

void SavesActions::setSaves(SaveKeeper *saves, SavesFileDialogs *dialogs)
{
    m_saves = saves;
    if (!dialogs) {
        if (!m_ownDialogs)
            m_ownDialogs = std::make_unique<SavesFileDialogs>();
        dialogs = m_ownDialogs.get();
    }
    m_dialogs = dialogs;
    update(m_gameChosen);
}

void SavesActions::update(bool currentGameChosen)
{
    m_gameChosen = currentGameChosen;
    m_export->setEnabled(m_saves && m_gameChosen);
    m_import->setEnabled(m_saves && m_gameChosen);
    m_exportAll->setEnabled(m_saves != nullptr);
}

void SavesActions::addTo(QMenu *menu)
{
    menu->addAction(m_export);
    menu->addAction(m_import);
    menu->addSeparator();
    menu->addAction(m_exportAll);
}

void SavesActions::exportSaves()
{
    const std::optional<GameRecord> game = m_saves ? m_currentGame() : std::nullopt;
    if (!game)
        return;
    // A game without saves is told so before the user looks for a place to put them.
    m_saves->countSaves(game->movieFile, this, [this, game = *game](int count) {
        if (count == 0)
            m_messages->show(MessageBox::Icon::Information, tr("\"%1\" has no saves to export.").arg(game.title),
                             m_parent);
        else
            exportTo(game);
    });
}

void SavesActions::exportTo(const GameRecord &game)
{
    const QString file = m_dialogs->chooseExportFile(tr("%1 saves.zip").arg(fileNameFor(game.title)), m_parent);
    if (file.isEmpty())
        return;
    m_saves->exportSaves(
        {keeperGame(game)}, false, file, this,
        [this, title = game.title, file](const SaveKeeper::Result &result) { tellResult(result, title, file, false); });
}

void SavesActions::exportAllSaves()
{
    if (!m_saves)
        return;
    const QString file =
        m_dialogs->chooseExportFile(tr("All saves %1.zip").arg(QDate::currentDate().toString(Qt::ISODate)), m_parent);
    if (file.isEmpty())
        return;
    // Every movie's saves go, the library naming the games it knows; saves kept from deleted games too.
    QVector<SaveKeeper::Game> games;
    if (m_library->open()) {
        for (const GameRecord &game : m_library->store().gamesNewestFirst().value_or(QVector<GameRecord>()))
            games.append(keeperGame(game));
    }
    m_saves->exportSaves(games, true, file, this, [this, file](const SaveKeeper::Result &result) {
        tellResult(result, QString(), file, false);
    });
}

void SavesActions::importSaves()
{
    const std::optional<GameRecord> game = m_saves ? m_currentGame() : std::nullopt;
    if (!game)
        return;
    const QString file = m_dialogs->chooseImportFile(m_parent);
    if (file.isEmpty())
        return;
    const QString title = game->title;
    m_saves->importSaves(
        keeperGame(*game), file, this,
        [this, title](int) {
            return m_messages->ask(tr("\"%1\" has saves already. Replace them with those in the file?").arg(title),
                                   m_parent);
        },
        [this, title, file](const SaveKeeper::Result &result) { tellResult(result, title, file, true); });
}

void SavesActions::tellResult(const SaveKeeper::Result &result, const QString &title, const QString &file,
                              bool importing)
{
    const QString name = QFileInfo(file).fileName();
    QString text;
    switch (result.outcome) {
    case SaveKeeper::Outcome::Done:
        text = importing         ? tr("The saves of \"%1\" were imported from %2.").arg(title, file)
               : title.isEmpty() ? tr("Every game's saves were exported to %1.").arg(file)
                                 : tr("The saves of \"%1\" were exported to %2.").arg(title, file);
        m_messages->show(MessageBox::Icon::Information, text, m_parent);
        return;
    case SaveKeeper::Outcome::Declined:
        return;
    case SaveKeeper::Outcome::NothingSaved:
        text = title.isEmpty() ? tr("No game has saves to export.") : tr("\"%1\" has no saves to export.").arg(title);
        break;
    case SaveKeeper::Outcome::NotAnExport:
        text = tr("%1 is not a file of exported saves.").arg(name);
        break;
    case SaveKeeper::Outcome::Damaged:
        text = tr("%1 is damaged: it cannot be read whole, so nothing was imported.").arg(name);
        break;
    case SaveKeeper::Outcome::NewerFormat:
        text = tr("%1 was written by a newer version of the program. Update the program to import it.").arg(name);
        break;
    case SaveKeeper::Outcome::UnsafeName:
        text = tr("%1 was refused: it names a place outside the game's saves (%2).").arg(name, result.detail);
        break;
    case SaveKeeper::Outcome::TooLarge:
        text = tr("%1 is too large to be a file of exported saves.").arg(name);
        break;
    case SaveKeeper::Outcome::OtherGame:
        text = result.detail.isEmpty()
                   ? tr("%1 holds no saves of \"%2\".").arg(name, title)
                   : tr("%1 holds the saves of another game (\"%2\"), not of \"%3\".").arg(name, result.detail, title);
        break;
    case SaveKeeper::Outcome::CannotRead:
        text = tr("%1 cannot be read.").arg(name);
        break;
    case SaveKeeper::Outcome::CannotWrite:
        text = importing ? tr("There is no room to keep the saves; those the game had stay.")
                         : tr("The saves could not be written to %1.").arg(name);
        break;
    case SaveKeeper::Outcome::Unreachable:
        text = tr("The saves cannot be reached. Try again.");
        break;
    }
    m_messages->show(MessageBox::Icon::Warning, text, m_parent);
}
