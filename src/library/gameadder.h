#pragma once

#include "base/library/movieimport.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class Library;
class MessageBox;
class QMenuBar;
class QProgressDialog;
class QWidget;
class VerifyDialog;

// Adds the user's own movies to the library: copies them into the flash folder, has the library record them
// all in one go, and names every file that was refused with its reason in one message. A batch of more than a
// few files shows its progress, and can be cancelled; the window stays responsive throughout.
// Its menu also opens the verification of the library (VerifyDialog).
class GameAdder : public QObject
{
    Q_OBJECT

public:
    // More files than this show a progress bar.
    static constexpr int quietBatch = 5;

    // Files and folders dropped on window are added too.
    GameAdder(Library *library, MessageBox *messages, QWidget *window);
    ~GameAdder() override;

    // The menu "Games", whose entries choose movies or a folder of them in a dialog and add them, and verify the
    // library.
    void addMenu(QMenuBar *bar);
    // The game server's base URL, under which verification's repairs find the games to download again.
    void setServerUrl(const QUrl &url) { m_serverUrl = url; }
    // Opens the verification dialog and starts checking; one that is open already is brought to the front.
    void verifyLibrary();
    void chooseFiles();
    void chooseFolder();
    // Files and folders (a folder's .swf files, not those of its subfolders). Ignored while a batch runs.
    void add(const QStringList &paths);
    bool isRunning() const { return m_import.isRunning(); }

signals:
    // The batch ended, or the dialog was closed without a choice (0); recorded games are listed newest in the
    // library.
    void finished(int recorded);
    // The user chose to download these games again after a verification (their links as the portal gives them).
    void redownloadRequested(const QList<QUrl> &gameLinks);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void importFinished(const QVector<ImportedMovie> &added, const QVector<RefusedMovie> &refused);

    Library *m_library;
    MessageBox *m_messages;
    QWidget *m_window;
    MovieImport m_import;
    QPointer<QProgressDialog> m_progress;
    QPointer<VerifyDialog> m_verify;
    QUrl m_serverUrl;
};
