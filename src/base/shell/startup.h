#pragma once

#include "base/library/libraryfolders.h"
#include "base/portal/answers.h"
#include "base/portal/transferlimits.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class ServerFetch;

// The program's check-in with the game server at start: its status answer, the two advertisement movies
// fetched into the pic folder when they are missing or short, and the wait for the portal's left page.
// It ends in finished() (the window may be shown) or refused() (the program must end).
class Startup : public QObject
{
    Q_OBJECT

public:
    // How long start-up waits for the left portal page before going on without it.
    static constexpr int leftPageWaitMs = 10000;
    // An advertisement that has not arrived within this long is given up; start-up goes on without it.
    static constexpr int advertisementMaxMs = transferlimits::advertisementMaxMs;

    // The advertisements are kept in the pictures' folder of folders.
    Startup(ServerFetch *fetch, const LibraryFolders &folders, const QUrl &serverUrl, QObject *parent = nullptr);

    // Asks the server for its status; the rest follows from its answer.
    void start();

    // The left portal page has loaded; start-up waits for this after the advertisements (or for the timeout).
    void leftPageLoaded();

    // The status answer read at start (all empty until it arrived).
    const StartupAnswer &answer() const { return m_answer; }
    // Where an advertisement movie is kept; empty when its name could not be a file of ours.
    QString advertisementPath(const QString &url) const;

signals:
    void finished();
    void refused();

private:
    void onAnswer(const QString &text);
    void fetchAdvertisement(const QString &url, std::optional<qint64> announced, std::function<void()> next);
    void waitForLeftPage();
    void finish();

    ServerFetch *m_fetch;
    LibraryFolders m_folders;
    QUrl m_serverUrl;
    StartupAnswer m_answer;
    QTimer m_leftPageTimeout;
    bool m_leftPageLoaded = false;
    bool m_waitingForLeftPage = false;
    bool m_done = false;
};
