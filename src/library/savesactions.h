#pragma once

#include "base/library/gamestore.h"
#include "base/player/savekeeper.h"
#include "widgets/messagebox.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class Library;
class QAction;
class QMenu;
class QWidget;

// Where the user chooses the file that saves are exported to or imported from; tests answer instead.
class SavesFileDialogs
{
public:
    virtual ~SavesFileDialogs() = default;
    // suggested: a file name for the dialog to start with. Empty when cancelled. Each dialog opens in the folder
    // the last one ended in, the first in the user's documents.
    virtual QString chooseExportFile(const QString &suggested, QWidget *parent);
    virtual QString chooseImportFile(QWidget *parent);

private:
    QString startFolder() const;
    QString m_lastFolder;
};

// The library's "Saves" actions: "Export saves..." and "Import saves..." for the current game, "Export all
// saves...", with the dialogs that choose their files and the messages that tell what went wrong. Without a
// saves keeper they stay disabled.
class SavesActions : public QObject
{
    Q_OBJECT

public:
    // currentGame: the game the actions are for, if any. parent: where the dialogs and messages show.
    SavesActions(Library *library, MessageBox *messages, std::function<std::optional<GameRecord>()> currentGame,
                 QWidget *parent);
    ~SavesActions() override;

    // Where the games' saves are kept, and the dialogs that choose their files (none: the desktop's own).
    void setSaves(SaveKeeper *saves, SavesFileDialogs *dialogs = nullptr);
    SaveKeeper *saves() const { return m_saves; }
    // Export, import, and export all after a separator.
    void addTo(QMenu *menu);
    // Enables the actions: those for the current game while there is one.
    void update(bool currentGameChosen);

    void exportSaves();
    void importSaves();
    void exportAllSaves();

private:
    void exportTo(const GameRecord &game);
    // Tells what was done, or what went wrong; title is empty for every game's saves.
    void tellResult(const SaveKeeper::Result &result, const QString &title, const QString &file, bool importing);

    Library *m_library;
    MessageBox *m_messages;
    std::function<std::optional<GameRecord>()> m_currentGame;
    QWidget *m_parent;
    SaveKeeper *m_saves = nullptr;
    SavesFileDialogs *m_dialogs = nullptr;
    std::unique_ptr<SavesFileDialogs> m_ownDialogs;
    QAction *m_export;
    QAction *m_import;
    QAction *m_exportAll;
    bool m_gameChosen = false;
};
