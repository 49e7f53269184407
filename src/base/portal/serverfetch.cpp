#include "base/portal/serverfetch.h"

#include "base/portal/boundedreply.h"

#include "base/library/incomingfile.h"
#include "base/logging.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
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
constexpr qint64 readBufferBytes = transferlimits::readBufferBytes;

// One file fetch: streams the body into a nameless file in the target folder, which takes its name only when the
// answer is complete, within its limits and approved. Only a head that must be approved is held in memory as it
// comes; a whole body to approve is read back once complete.
class FileFetch : public QObject
{
    Q_OBJECT

public:
    FileFetch(const QString &folder, std::function<FileNaming()> naming, const ServerFetch::FileLimits &limits,
              QObject *parent)
        : QObject(parent), m_naming(std::move(naming)), m_file(folder), m_limits(limits)
    {
    }

    void start(QNetworkAccessManager *network, const QUrl &url)
    {
        m_network = network;
        m_url = url;
        m_firstUrl = url;
        // Only web addresses: a server must not get local files copied into our folders.
        // Every piece goes to disk as it arrives.
        const bool http = boundedrequest::isWebAddress(url);
        if (!http || !m_file.open()) {
            const QString why = http ? m_file.errorString() : QStringLiteral("not a web address");
            QTimer::singleShot(0, this, [this, why] { finish(why); });
            return;
        }
        send(url);
        // A steady trickle keeps the transfer timeout from ever firing; this limit counts from the start.
        if (m_limits.maxMs > 0)
            QTimer::singleShot(m_limits.maxMs, this,
                               [this] { giveUp(QStringLiteral("it took longer than %1 ms").arg(m_limits.maxMs)); });
    }

    // Nobody waits for the file any more: the transfer stops and nothing of it stays.
    void cancel()
    {
        if (m_done)
            return;
        m_done = true;
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
        }
        m_file.discard();
        deleteLater();
    }

signals:
    // The name the file took in its folder; none when the fetch failed.
    void finished(const std::optional<QString> &fileName);

private:
    void send(const QUrl &url)
    {
        m_reply = boundedrequest::get(m_network, boundedrequest::make(url), readBufferBytes);
        m_reply->setParent(this);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &FileFetch::checkHeaders);
        connect(m_reply, &QNetworkReply::readyRead, this, &FileFetch::gather);
        connect(m_reply, &QNetworkReply::finished, this, &FileFetch::complete);
    }

    void checkHeaders()
    {
        if (const std::optional<QUrl> target = boundedrequest::redirectOf(m_reply)) {
            const auto port = [](const QUrl &u) { return u.port(u.scheme() == QLatin1String("https") ? 443 : 80); };
            const bool otherSite = target->scheme() != m_firstUrl.scheme() || target->host() != m_firstUrl.host() ||
                                   port(*target) != port(m_firstUrl);
            if (!target->isValid() || (m_limits.sameSiteOnly && otherSite))
                giveUp(QStringLiteral("a redirect that is not followed"));
            else if (++m_redirects > boundedrequest::maxRedirects)
                giveUp(QStringLiteral("more than %1 redirects").arg(boundedrequest::maxRedirects));
            if (m_done)
                return;
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
            send(*target);
            return;
        }
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
        if (!m_file.write(data)) {
            giveUp(m_file.errorString());
            return;
        }
        // A head to approve is kept as it comes; a whole body is read back from the disk once it is all there, so
        // that a body that never ends never grows in memory.
        if (m_limits.accept && m_limits.acceptHeadBytes > 0)
            m_data += data.left(qMax<qint64>(m_limits.acceptHeadBytes - m_data.size(), 0));
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
        else if (m_limits.accept && !m_limits.accept(m_limits.acceptHeadBytes > 0 ? m_data : m_file.readBack()))
            why = QStringLiteral("what arrived is not what was asked for");
        else if (!m_file.sync())
            why = m_file.errorString();
        else if (m_name = m_file.place(m_naming()); m_name.isEmpty())
            why = m_file.errorString();
        finish(why);
    }

    // An empty reason: the file is in place.
    void finish(const QString &why)
    {
        if (m_done)
            return; // cancelled meanwhile
        m_done = true;
        m_file.discard(); // unless it was placed, nothing of it stays on disk
        m_data.clear();
        if (!why.isEmpty())
            qCWarning(lcPortal).noquote()
                << "Fetch of" << loggableUrl(m_url) << "into" << m_file.folder() << "failed:" << why;
        emit finished(why.isEmpty() ? std::optional<QString>(m_name) : std::nullopt);
        deleteLater();
    }

    QNetworkAccessManager *m_network = nullptr;
    QUrl m_url;
    std::function<FileNaming()> m_naming;
    IncomingFile m_file;
    QString m_name;
    ServerFetch::FileLimits m_limits;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_data; // the head, when that is what must be approved
    qint64 m_written = 0;
    int m_redirects = 0;
    QUrl m_firstUrl;
    bool m_done = false;
};

} // namespace

ServerFetch::ServerFetch(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network) {}

void ServerFetch::GetPage(const QUrl &url, QObject *context, PageCallback done)
{
    send(url, true, context ? context : this, std::move(done), 1, 0);
}

void ServerFetch::send(const QUrl &url, bool asPost, QObject *context, PageCallback done, int retries, int redirects)
{
    QNetworkRequest request = boundedrequest::make(url);
    // Qt labels an empty POST to a URL with a query as a form on its own, with a warning; naming that same
    // type keeps the request identical and quiet.
    if (asPost && url.hasQuery())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    QNetworkReply *reply = asPost ? boundedrequest::post(m_network, request, readBufferBytes)
                                  : boundedrequest::get(m_network, request, readBufferBytes);
    // The answer is taken as it comes, which lets the network go on, and given up once it grows past its limit: it
    // then counts as no answer.
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLarge] {
        *body += reply->readAll();
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (body->size() > maxAnswerBytes || announced.toLongLong() > maxAnswerBytes) {
            *tooLarge = true;
            body->clear();
            reply->abort();
        }
    });
    QTimer::singleShot(maxAnswerMs, reply, [reply, tooLarge] {
        *tooLarge = true;
        reply->abort();
    });
    QPointer<QObject> guard(context);
    // Whoever waited for the answer is gone (a later game link took its place): so is the request, and an answer
    // that already came in is never delivered.
    auto delivery = std::make_shared<QMetaObject::Connection>();
    connect(context, &QObject::destroyed, reply, [reply, delivery] {
        QObject::disconnect(*delivery);
        reply->abort();
    });
    const auto deliver = [url, done](const std::optional<QByteArray> &body, const QString &why) {
        if (!body)
            qCWarning(lcPortal).noquote() << "Request to" << loggableUrl(url) << "brought no answer:" << why;
        if (done)
            done(body);
    };
    // A redirect is followed as a browser does: 307 and 308 send the same request on, the others ask with a GET.
    connect(reply, &QNetworkReply::metaDataChanged, context,
            [this, reply, asPost, guard, retries, redirects, delivery, deliver, done] {
                const std::optional<QUrl> target = boundedrequest::redirectOf(reply);
                if (!target)
                    return;
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                QObject::disconnect(*delivery);
                reply->abort();
                if (!target->isValid())
                    deliver(std::nullopt, QStringLiteral("a redirect that is not followed"));
                else if (redirects >= boundedrequest::maxRedirects)
                    deliver(std::nullopt, QStringLiteral("more than %1 redirects").arg(boundedrequest::maxRedirects));
                else
                    send(*target, asPost && (status == 307 || status == 308), guard, done, retries, redirects + 1);
            });
    *delivery = connect(
        reply, &QNetworkReply::finished, context,
        [this, url, asPost, guard, reply, retries, redirects, body, tooLarge, deliver, done] {
            // A kept-alive connection that the server closed just as the request went out never
            // reached it; Qt sends only idempotent requests again by itself, so a POST is sent
            // again here, once.
            const bool notSent = reply->error() == QNetworkReply::RemoteHostClosedError &&
                                 !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
            if (notSent && retries > 0 && guard) {
                send(url, asPost, guard, done, retries - 1, redirects);
                return;
            }
            if (!*tooLarge && isCompleteAnswer(reply)) {
                deliver(*body + reply->readAll(), QString());
                return;
            }
            const QString tooLong =
                QStringLiteral("larger than %1 bytes or slower than %2 ms").arg(maxAnswerBytes).arg(maxAnswerMs);
            deliver(std::nullopt, *tooLarge ? tooLong : loggableUrl(reply->errorString()));
        });
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void ServerFetch::Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done,
                               const FileLimits &limits)
{
    const QFileInfo target(localFile);
    const QString name = target.fileName();
    fetchFile(
        url, target.absolutePath(),
        [name] {
            return FileNaming{name, true, {}, false};
        },
        context,
        [done = std::move(done)](const std::optional<QString> &name) {
            if (done)
                done(name.has_value());
        },
        limits);
}

void ServerFetch::fetchFile(const QUrl &url, const QString &folder, std::function<FileNaming()> naming,
                            QObject *context, PlacedCallback done, const FileLimits &limits)
{
    auto *fetch = new FileFetch(folder, std::move(naming), limits, this);
    if (context)
        connect(context, &QObject::destroyed, fetch, &FileFetch::cancel);
    connect(fetch, &FileFetch::finished, context ? context : this,
            [done = std::move(done)](const std::optional<QString> &name) {
                if (done)
                    done(name);
            });
    fetch->start(m_network, url);
}

#include "serverfetch.moc"
