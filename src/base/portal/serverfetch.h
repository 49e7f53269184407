#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// What a file fetch accepts: at most maxBytes, within maxMs in all (0: no limit but the transfer timeout),
// and content that accept (when set) approves: the whole body, or only its first acceptHeadBytes when that is set.
struct FetchLimits
{
    // A picture or advertisement larger than this is given up.
    static constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

    qint64 maxBytes = maxFileBytes;
    int maxMs = 0;
    std::function<bool(const QByteArray &)> accept;
    qint64 acceptHeadBytes = 0;
};

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
    // An answer to GetPage larger than this, or still coming after maxAnswerMs, is given up and counts as no
    // answer (a steady trickle never lets the transfer timeout fire).
    static constexpr qint64 maxAnswerBytes = 1024 * 1024;
    static constexpr int maxAnswerMs = 60000;
    using FileLimits = FetchLimits;

    explicit ServerFetch(QNetworkAccessManager *network, QObject *parent = nullptr);

    // POSTs an empty body to url as it is. The body of whatever the server answers (an error page too), or
    // absent when no complete answer arrived (unreachable, connection broken, timed out).
    void GetPage(const QUrl &url, QObject *context, PageCallback done);

    // Fetches url (http or https only) into localFile. The file is replaced only when the whole body arrived
    // with a 2xx status within the limits; otherwise localFile is left as it was and no partial file remains.
    // done (optional) says when the fetch has ended and whether the file was replaced.
    void Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done = {},
                      const FileLimits &limits = FileLimits());

private:
    void post(const QUrl &url, QObject *context, PageCallback done, int retries);

    QNetworkAccessManager *m_network;
};
