#pragma once

#include "base/library/libraryverify.h"

#include <QDialog>
#include <QList>
#include <QUrl>

class Library;
class MessageBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Verifies the library while showing its progress (the window stays usable; Cancel stops it), then lists what
// was found and offers the repairs, each only after the user said yes: downloading the server's games again,
// removing the rows of the user's own games whose movies are gone, deleting the files no game names. Removals go
// through the Library, so that the grid follows.
class VerifyDialog : public QDialog
{
    Q_OBJECT

public:
    // serverUrl: the game server's base URL, ending in "/", under which a game's link is "game.asp?id=N".
    VerifyDialog(Library *library, MessageBox *messages, const QUrl &serverUrl, QWidget *parent = nullptr);
    ~VerifyDialog() override;

    void start();
    bool isRunning() const { return m_verify.isRunning(); }
    const VerifyReport &report() const { return m_report; }

    // The games to download again, as the links the portal gives them.
    QList<QUrl> redownloadLinks() const;

signals:
    // The user chose to download these games again.
    void redownloadRequested(const QList<QUrl> &gameLinks);

protected:
    void reject() override;

private:
    void showProgress(int gamesDone, int games, qint64 bytesDone, qint64 bytes);
    void verified(const VerifyReport &report);
    void showFindings();
    void redownload();
    void removeGone();
    void deleteOrphans();
    QVector<GameCheck> toRedownload() const;
    QVector<GameCheck> goneImports() const;
    bool confirm(const QString &question, const QStringList &items);

    Library *m_library;
    MessageBox *m_messages;
    QUrl m_serverUrl;
    LibraryVerify m_verify;
    VerifyReport m_report;
    bool m_redownloaded = false;
    QStringList m_done; // what the repairs did, said under the findings

    QLabel *m_status;
    QProgressBar *m_progress;
    QPlainTextEdit *m_findings;
    QPushButton *m_redownload;
    QPushButton *m_removeGone;
    QPushButton *m_deleteOrphans;
    QPushButton *m_close;
};
