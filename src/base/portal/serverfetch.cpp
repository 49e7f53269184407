#include "base/portal/serverfetch.h"

#include "base/logging.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>

#include <memory>

namespace {

// An HTTP answer whose status Qt turned into an error code still delivered its whole body; network, proxy
// and protocol failures did not.
bool isCompleteAnswer(const QNetworkReply *reply)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
        return true;
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const bool contentError =
        error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError;
    const bool serverError = error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    return contentError || serverError || error == QNetworkReply::ProtocolInvalidOperationError;
}

// How much of a body the network may hold before it waits for us to take it.
constexpr qint64 readBufferBytes = 256 * 1024;

// One file fetch: streams the body into a QSaveFile, which replaces the target only when the answer is complete,
// within its limits and approved. Only a body that must be approved is also held in memory, up to its limit, or
// only its head when that is all the approval looks at.
class FileFetch : public QObject
{
    Q_OBJECT

public:
    FileFetch(const QString &localFile, const ServerFetch::FileLimits &limits, QObject *parent)
        : QObject(parent), m_file(localFile), m_limits(limits)
    {
    }

    void start(QNetworkAccessManager *network, const QUrl &url)
    {
        m_url = url;
        const QString scheme = url.scheme().toLower();
        // Only web addresses: a server must not get local files copied into our folders.
        // Unbuffered: every piece goes to disk as it arrives.
        const bool http = scheme == QLatin1String("http") || scheme == QLatin1String("https");
        if (!http || !m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            const QString why = http ? m_file.errorString() : QStringLiteral("not a web address");
            QTimer::singleShot(0, this, [this, why] { finish(why); });
            return;
        }
        QNetworkRequest request(url);
        request.setTransferTimeout(ServerFetch::transferTimeoutMs);
        // The bytes as the server stores them, so that Content-Length can be checked against what arrived.
        request.setRawHeader("Accept-Encoding", "identity");
        m_reply = network->get(request);
        m_reply->setParent(this);
        m_reply->setReadBufferSize(readBufferBytes); // taken as it comes: nothing piles up in memory
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &FileFetch::checkAnnounced);
        connect(m_reply, &QNetworkReply::readyRead, this, &FileFetch::gather);
        connect(m_reply, &QNetworkReply::finished, this, &FileFetch::complete);
        // A steady trickle keeps the transfer timeout from ever firing; this limit counts from the start.
        if (m_limits.maxMs > 0)
            QTimer::singleShot(m_limits.maxMs, this,
                               [this] { giveUp(QStringLiteral("it took longer than %1 ms").arg(m_limits.maxMs)); });
    }

signals:
    void finished(bool ok);

private:
    void checkAnnounced()
    {
        const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > m_limits.maxBytes)
            giveUp(QStringLiteral("the server announced %1 bytes, more than %2")
                       .arg(announced.toLongLong())
                       .arg(m_limits.maxBytes));
    }

    void gather()
    {
        if (m_done)
            return;
        const QByteArray data = m_reply->readAll();
        m_written += data.size();
        if (m_written > m_limits.maxBytes) {
            giveUp(QStringLiteral("more than %1 bytes").arg(m_limits.maxBytes));
            return;
        }
        if (m_file.write(data) != data.size()) {
            giveUp(m_file.errorString());
            return;
        }
        if (m_limits.accept) {
            const qint64 wanted = m_limits.acceptHeadBytes > 0 ? m_limits.acceptHeadBytes - m_data.size() : data.size();
            m_data += data.left(qMax<qint64>(wanted, 0));
        }
    }

    void giveUp(const QString &why)
    {
        if (m_done)
            return;
        m_reply->disconnect(this);
        m_reply->abort();
        finish(why);
    }

    void complete()
    {
        gather();
        if (m_done)
            return;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
        QString why;
        if (m_reply->error() != QNetworkReply::NoError)
            why = loggableUrl(m_reply->errorString());
        else if (status < 200 || status >= 300)
            why = QStringLiteral("the server answered %1").arg(status);
        else if (announced.isValid() && announced.toLongLong() != m_written)
            why = QStringLiteral("%1 of %2 bytes arrived").arg(m_written).arg(announced.toLongLong());
        else if (m_limits.accept && !m_limits.accept(m_data))
            why = QStringLiteral("what arrived is not what was asked for");
        else if (!m_file.commit())
            why = m_file.errorString();
        finish(why);
    }

    // An empty reason: the file is in place.
    void finish(const QString &why)
    {
        m_done = true;
        if (m_file.isOpen())
            m_file.cancelWriting(); // without a commit nothing of it stays on disk
        m_data.clear();
        if (!why.isEmpty())
            qCWarning(lcPortal).noquote()
                << "Fetch of" << loggableUrl(m_url) << "into" << m_file.fileName() << "failed:" << why;
        emit finished(why.isEmpty());
        deleteLater();
    }

    QUrl m_url;
    QSaveFile m_file;
    ServerFetch::FileLimits m_limits;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_data; // only when it must be approved
    qint64 m_written = 0;
    bool m_done = false;
};

} // namespace

ServerFetch::ServerFetch(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network) {}

void ServerFetch::GetPage(const QUrl &url, QObject *context, PageCallback done)
{
    post(url, context ? context : this, std::move(done), 1);
}

void ServerFetch::post(const QUrl &url, QObject *context, PageCallback done, int retries)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    // Qt labels an empty POST to a URL with a query as a form on its own, with a warning; naming that same
    // type keeps the request identical and quiet.
    if (url.hasQuery())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    QNetworkReply *reply = m_network->post(request, QByteArray());
    // Room for a whole answer and a byte more: a larger one stops there and is given up below.
    reply->setReadBufferSize(maxAnswerBytes + 1);
    // An answer that grows past its limit is cut off: it counts as no answer.
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge](qint64 received, qint64 total) {
        if (received > maxAnswerBytes || total > maxAnswerBytes) {
            *tooLarge = true;
            reply->abort();
        }
    });
    QTimer::singleShot(maxAnswerMs, reply, [reply, tooLarge] {
        *tooLarge = true;
        reply->abort();
    });
    QPointer<QObject> guard(context);
    connect(reply, &QNetworkReply::finished, context,
            [this, url, guard, reply, retries, tooLarge, done = std::move(done)] {
                // A kept-alive connection that the server closed just as the request went out never reached
                // it; Qt sends only idempotent requests again by itself, so a POST is sent again here, once.
                const bool notSent = reply->error() == QNetworkReply::RemoteHostClosedError &&
                                     !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
                if (notSent && retries > 0 && guard) {
                    post(url, guard, done, retries - 1);
                    return;
                }
                const std::optional<QByteArray> body =
                    !*tooLarge && isCompleteAnswer(reply) ? std::optional<QByteArray>(reply->readAll()) : std::nullopt;
                if (!body)
                    qCWarning(lcPortal).noquote()
                        << "Request to" << loggableUrl(url) << "brought no answer:"
                        << (*tooLarge ? QStringLiteral("larger than %1 bytes or slower than %2 ms")
                                            .arg(maxAnswerBytes)
                                            .arg(maxAnswerMs)
                                      : loggableUrl(reply->errorString()));
                if (done)
                    done(body);
            });
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void ServerFetch::Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done,
                               const FileLimits &limits)
{
    auto *fetch = new FileFetch(localFile, limits, this);
    connect(fetch, &FileFetch::finished, context ? context : this, [done = std::move(done)](bool ok) {
        if (done)
            done(ok);
    });
    fetch->start(m_network, url);
}

#include "serverfetch.moc"
