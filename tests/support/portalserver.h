#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// Runs the bundled portal server on 127.0.0.1 on a free port for the length of a test.
class PortalServer
{
public:
    PortalServer() = default;
    ~PortalServer();
    PortalServer(const PortalServer &) = delete;
    PortalServer &operator=(const PortalServer &) = delete;

    // Starts the server (extra arguments are passed on); false when it did not come up.
    bool start(const QStringList &extraArgs = {});
    void stop();

    QUrl baseUrl() const { return m_baseUrl; }
    QUrl url(const QString &relative) const { return m_baseUrl.resolved(QUrl(relative)); }
    int port() const { return m_baseUrl.port(); }

    static QString executable();
    static QString gamesFolder();

    // A port on 127.0.0.1 that nothing listens on (bound and released at once).
    static int closedPort();

private:
    QProcess m_process;
    QUrl m_baseUrl;
};
