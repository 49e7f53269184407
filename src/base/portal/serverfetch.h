#pragma once

#include "base/portal/transferlimits.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
struct FileNaming;

// What a file fetch accepts: at most maxBytes, within maxMs in all (0: no limit but the transfer timeout),
// and content that accept (when set) approves: the whole body, or only its first acceptHeadBytes when that is set.
struct FetchLimits
{
    // A picture or advertisement larger than this is given up.
    static constexpr qint64 maxFileBytes = transferlimits::fileMaxBytes;

    qint64 maxBytes = maxFileBytes;
    int maxMs = 0;
    std::function<bool(const QByteArray &)> accept;
    qint64 acceptHeadBytes = 0;
    // A redirect to another scheme, host or port is given up: what the file is kept as names the first address.
    bool sameSiteOnly = false;
};

// The program's requests to the game server, asynchronous so that the window never freezes. Results arrive
// through callbacks, once, after the call has returned, and not at all once their context object is gone.
class ServerFetch : public QObject
{
    Q_OBJECT

public:
    using PageCallback = std::function<void(const std::optional<QByteArray> &body)>;
    using DoneCallback = std::function<void(bool ok)>;
    using PlacedCallback = std::function<void(const std::optional<QString> &fileName)>;

    // A transfer that moves no data for this long is given up.
    static constexpr int transferTimeoutMs = transferlimits::stalledMs;
    // An answer to GetPage larger than this, or still coming after maxAnswerMs, is given up and counts as no
    // answer (a steady trickle never lets the transfer timeout fire).
    static constexpr qint64 maxAnswerBytes = transferlimits::answerMaxBytes;
    static constexpr int maxAnswerMs = transferlimits::answerMaxMs;
    using FileLimits = FetchLimits;

    explicit ServerFetch(QNetworkAccessManager *network, QObject *parent = nullptr);

    // POSTs an empty body to url as it is. The body of whatever the server answers (an error page too), or
    // absent when no complete answer arrived (unreachable, connection broken, timed out). Destroying context
    // cancels the request: it is aborted, and its answer never delivered.
    void GetPage(const QUrl &url, QObject *context, PageCallback done);

    // Fetches url (http or https only) into localFile. The file is replaced only when the whole body arrived
    // with a 2xx status within the limits; otherwise localFile is left as it was and no partial file remains.
    // done (optional) says when the fetch has ended and whether the file was replaced.
    void Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done = {},
                      const FileLimits &limits = FileLimits());
    // The same into folder, under what naming says when the whole file is in (see IncomingFile::place): done
    // tells the name the file took, or none when it was not stored. Destroying context stops the fetch, and
    // nothing of it stays.
    void fetchFile(const QUrl &url, const QString &folder, std::function<FileNaming()> naming, QObject *context,
                   PlacedCallback done, const FileLimits &limits = FileLimits());

private:
    // asPost: as GetPage asks; a redirect may turn it into a GET. retries: sends again when the request never
    // reached the server.
    void send(const QUrl &url, bool asPost, QObject *context, PageCallback done, int retries, int redirects);

    QNetworkAccessManager *m_network;
};
