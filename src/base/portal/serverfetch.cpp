#include "base/portal/serverfetch.h"

#include "base/logging.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>

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

// One file fetch: streams the body into a QSaveFile, which is committed only when the answer is complete.
class FileFetch : public QObject
{
    Q_OBJECT

public:
    FileFetch(const QString &localFile, QObject *parent) : QObject(parent), m_file(localFile) {}

    void start(QNetworkAccessManager *network, const QUrl &url)
    {
        m_url = url;
        const QString scheme = url.scheme().toLower();
        const bool http = scheme == QLatin1String("http") || scheme == QLatin1String("https");
        // Only web addresses: a server must not get local files copied into our folders.
        // Unbuffered: every piece goes to disk as it arrives.
        if (!http || !m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            const QString why = http ? m_file.errorString() : QStringLiteral("not a web address");
            QTimer::singleShot(0, this, [this, why] { finish(false, why); });
            return;
        }
        QNetworkRequest request(url);
        request.setTransferTimeout(ServerFetch::transferTimeoutMs);
        // The bytes as the server stores them, so that Content-Length can be checked against what was written.
        request.setRawHeader("Accept-Encoding", "identity");
        m_reply = network->get(request);
        m_reply->setParent(this);
        connect(m_reply, &QNetworkReply::readyRead, this, &FileFetch::writeAvailable);
        connect(m_reply, &QNetworkReply::finished, this, &FileFetch::complete);
    }

signals:
    void finished(bool ok);

private:
    void writeAvailable()
    {
        if (m_writeFailed)
            return;
        const QByteArray data = m_reply->readAll();
        if (m_file.write(data) != data.size()) {
            m_writeFailed = true;
            m_reply->abort();
            return;
        }
        m_written += data.size();
    }

    void complete()
    {
        writeAvailable();
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
        QString why;
        if (m_writeFailed)
            why = m_file.errorString();
        else if (m_reply->error() != QNetworkReply::NoError)
            why = m_reply->errorString();
        else if (status < 200 || status >= 300)
            why = QStringLiteral("the server answered %1").arg(status);
        else if (announced.isValid() && announced.toLongLong() != m_written)
            why = QStringLiteral("%1 of %2 bytes arrived").arg(m_written).arg(announced.toLongLong());
        if (why.isEmpty() && !m_file.commit())
            why = m_file.errorString();
        if (!why.isEmpty())
            m_file.cancelWriting();
        finish(why.isEmpty(), why);
    }

    void finish(bool ok, const QString &why = QString())
    {
        if (!ok)
            qCWarning(lcPortal).noquote()
                << "Fetch of" << m_url.toString() << "into" << m_file.fileName() << "failed:" << why;
        emit finished(ok);
        deleteLater();
    }

    QUrl m_url;
    QSaveFile m_file;
    QNetworkReply *m_reply = nullptr;
    qint64 m_written = 0;
    bool m_writeFailed = false;
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
    QPointer<QObject> guard(context);
    connect(reply, &QNetworkReply::finished, context, [this, url, guard, reply, retries, done = std::move(done)] {
        // A kept-alive connection that the server closed just as the request went out never reached it; Qt
        // sends only idempotent requests again by itself, so a POST is sent again here, once.
        const bool notSent = reply->error() == QNetworkReply::RemoteHostClosedError &&
                             !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (notSent && retries > 0 && guard) {
            post(url, guard, done, retries - 1);
            return;
        }
        const std::optional<QByteArray> body =
            isCompleteAnswer(reply) ? std::optional<QByteArray>(reply->readAll()) : std::nullopt;
        if (!body)
            qCWarning(lcPortal).noquote()
                << "Request to" << url.toString() << "brought no answer:" << reply->errorString();
        if (done)
            done(body);
    });
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void ServerFetch::Download_Pic(const QUrl &url, const QString &localFile, QObject *context, DoneCallback done)
{
    auto *fetch = new FileFetch(localFile, this);
    connect(fetch, &FileFetch::finished, context ? context : this, [done = std::move(done)](bool ok) {
        if (done)
            done(ok);
    });
    fetch->start(m_network, url);
}

#include "serverfetch.moc"
