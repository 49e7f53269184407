#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// The program's requests to the game server, asynchronous so that the window never freezes. Results arrive
// through callbacks, once, after the call has returned, and not at all once their context object is gone.
class ServerFetch : public QObject
{
    Q_OBJECT

public:
    using PageCallback = std::function<void(const std::optional<QByteArray> &body)>;
    using DoneCallback = std::function<void(bool ok)>;

    // A transfer that moves no data for this long is given up.
    static constexpr int transferTimeoutMs = 30000;

    explicit ServerFetch(QNetworkAccessManager *network, QObject *parent = nullptr);

    // POSTs an empty body to url as it is. The body of whatever the server answers (an error page too), or
    // absent when no complete answer arrived (unreachable, connection broken, timed out).
    void GetPage(const QUrl &url, QObject *context, PageCallback done);

    // Fetches url into localFile. The body goes to a temporary file beside it, which replaces localFile only
    // when the whole body arrived with a 2xx status; otherwise localFile is left as it was. done (optional)
    // says when the fetch has ended and whether the file was replaced.
    void Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done = {});

private:
    void post(const QUrl &url, QObject *context, PageCallback done, int retries);

    QNetworkAccessManager *m_network;
};
