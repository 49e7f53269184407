#include "portalserver.h"

#include <QTcpServer>

PortalServer::~PortalServer()
{
    stop();
}

QString PortalServer::executable()
{
    const QString fromEnv = qEnvironmentVariable("QUILLABRIX_PORTAL");
    return fromEnv.isEmpty() ? QStringLiteral(QUILLABRIX_DEFAULT_PORTAL) : fromEnv;
}

QString PortalServer::gamesFolder()
{
    return QStringLiteral(QUILLABRIX_DEFAULT_GAMES_DIR);
}

bool PortalServer::start(const QStringList &extraArgs)
{
    stop();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executable(), QStringList{QStringLiteral("--port"), QStringLiteral("0")} + extraArgs);
    if (!m_process.waitForStarted(5000))
        return false;
    // The server prints its base URL on one line once it listens.
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000))
            return false;
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    m_baseUrl = QUrl(line);
    return m_baseUrl.isValid() && m_baseUrl.port() > 0;
}

void PortalServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

int PortalServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
