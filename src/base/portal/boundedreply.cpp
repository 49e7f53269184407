#include "base/portal/boundedreply.h"

#include "base/portal/httpanswer.h"
#include "base/portal/transferlimits.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace {

// One HTTP/1.1 exchange on a socket of its own, read on this thread only as fast as it is taken: the socket holds
// at most the read buffer, and beyond it the kernel's flow control holds the server back. Qt's own HTTP client
// hands the body over from a network thread of its own, and there the read buffer does not hold: run beside
// another request to the same server, an endless answer was seen queued by the hundreds of megabytes, even with the
// window taking every piece at once.
class BoundedReply : public QNetworkReply
{
    Q_OBJECT

public:
    BoundedReply(const QNetworkRequest &request, QNetworkAccessManager::Operation operation, qint64 bufferBytes,
                 const QNetworkProxy &proxy)
        : m_bufferBytes(qMax<qint64>(bufferBytes, 1))
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        QNetworkReply::setReadBufferSize(m_bufferBytes);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        const bool tls = request.url().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
        if (!boundedrequest::isWebAddress(request.url()) || request.url().host().isEmpty()) {
            failLater(QNetworkReply::ProtocolUnknownError,
                      QStringLiteral("Protocol \"%1\" is unknown").arg(request.url().scheme()));
            return;
        }
        if (tls && !QSslSocket::supportsSsl()) {
            failLater(QNetworkReply::ProtocolUnknownError, QStringLiteral("https is not available"));
            return;
        }
        m_socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
        m_socket->setProxy(proxy);
        m_socket->setReadBufferSize(m_bufferBytes);
        if (tls)
            connect(static_cast<QSslSocket *>(m_socket), &QSslSocket::encrypted, this, &BoundedReply::sendRequest);
        else
            connect(m_socket, &QAbstractSocket::connected, this, &BoundedReply::sendRequest);
        connect(m_socket, &QAbstractSocket::readyRead, this, &BoundedReply::pump);
        connect(m_socket, &QAbstractSocket::bytesWritten, this, &BoundedReply::restartStallTimer);
        connect(m_socket, &QAbstractSocket::errorOccurred, this, &BoundedReply::onSocketError);
        connect(m_socket, &QAbstractSocket::disconnected, this,
                [this] { onSocketError(QAbstractSocket::RemoteHostClosedError); });
        m_stall.setSingleShot(true);
        connect(&m_stall, &QTimer::timeout, this,
                [this] { fail(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled")); });
        restartStallTimer();
        const quint16 port = quint16(request.url().port(tls ? 443 : 80));
        if (tls)
            static_cast<QSslSocket *>(m_socket)->connectToHostEncrypted(request.url().host(), port);
        else
            m_socket->connectToHost(request.url().host(), port);
    }

    void abort() override { fail(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled")); }
    qint64 bytesAvailable() const override { return m_body.size() + QNetworkReply::bytesAvailable(); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_body.size());
        if (n == 0)
            return isFinished() ? -1 : 0;
        std::memcpy(data, m_body.constData(), size_t(n));
        m_body.remove(0, n);
        // Room again: what waits in the socket comes in once this read is over.
        if (!m_pumpQueued && m_socket && m_socket->bytesAvailable() > 0) {
            m_pumpQueued = true;
            QMetaObject::invokeMethod(this, &BoundedReply::pump, Qt::QueuedConnection);
        }
        return n;
    }

private:
    void restartStallTimer()
    {
        const int ms = request().transferTimeout();
        if (ms > 0)
            m_stall.start(ms);
    }

    void sendRequest()
    {
        restartStallTimer();
        const QUrl url = request().url();
        const bool post = operation() == QNetworkAccessManager::PostOperation;
        QByteArray text = (post ? QByteArrayLiteral("POST ") : QByteArrayLiteral("GET ")) +
                          url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
        if (url.path().isEmpty())
            text.insert(post ? 5 : 4, '/');
        text += " HTTP/1.1\r\nHost: " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath |
                                                      QUrl::RemoveQuery | QUrl::RemoveFragment)
                                            .mid(2);
        // One request a connection: nothing of an answer can be left on it for the next one.
        text += "\r\nConnection: close\r\nUser-Agent: Mozilla/5.0\r\n";
        const QList<QByteArray> names = request().rawHeaderList();
        for (const QByteArray &name : names) {
            if (name.compare("Connection", Qt::CaseInsensitive) != 0 && name.compare("Host", Qt::CaseInsensitive) != 0)
                text += name + ": " + request().rawHeader(name) + "\r\n";
        }
        if (post && !request().hasRawHeader("Content-Length"))
            text += "Content-Length: 0\r\n";
        m_socket->write(text + "\r\n");
    }

    void onSocketError(QAbstractSocket::SocketError error)
    {
        if (isFinished())
            return;
        if (error == QAbstractSocket::RemoteHostClosedError) {
            m_closed = true;
            pump();
            return;
        }
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            fail(QNetworkReply::ConnectionRefusedError, QStringLiteral("Connection refused"));
            break;
        case QAbstractSocket::HostNotFoundError:
            fail(QNetworkReply::HostNotFoundError, QStringLiteral("Host %1 not found").arg(request().url().host()));
            break;
        case QAbstractSocket::SslHandshakeFailedError:
            fail(QNetworkReply::SslHandshakeFailedError, m_socket->errorString());
            break;
        default:
            fail(QNetworkReply::UnknownNetworkError, m_socket->errorString());
            break;
        }
    }

    // Takes what the socket holds, as far as there is room for the body.
    void pump()
    {
        m_pumpQueued = false;
        if (isFinished() || !m_socket)
            return;
        const bool headWasReady = m_answer.headReady();
        const qint64 before = m_body.size();
        bool moved = false;
        for (;;) {
            const qint64 want = qMin(m_answer.wants(m_bufferBytes - m_body.size()), m_socket->bytesAvailable());
            if (want <= 0)
                break;
            const qsizetype took = m_answer.take(m_socket->peek(want), m_bufferBytes - m_body.size(), &m_body);
            m_socket->skip(took);
            if (took == 0)
                break;
            moved = true;
        }
        if (m_closed && m_socket->bytesAvailable() == 0)
            m_answer.endOfInput(); // what arrived before still counts
        // The head must come within the transfer timeout of the request: only the body's progress restarts it, so
        // that interim answers or header lines trickling without end cannot hold a transfer forever.
        if (moved && m_answer.headReady())
            restartStallTimer();
        if (m_answer.hasFailed()) {
            fail(m_answer.wasCut() ? RemoteHostClosedError : ProtocolFailure, m_answer.failure());
            return;
        }
        if (!headWasReady && m_answer.headReady())
            headersDone();
        if (m_body.size() > before)
            emit readyRead();
        if (m_answer.isDone() && !isFinished())
            finishNow();
    }

    void headersDone()
    {
        const QByteArray reason = m_answer.reason();
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, m_answer.status());
        setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, QString::fromLatin1(reason));
        for (const auto &[name, value] : m_answer.headers()) {
            setRawHeader(name, value);
            if (name.compare("Location", Qt::CaseInsensitive) == 0)
                setAttribute(QNetworkRequest::RedirectionTargetAttribute, QUrl::fromEncoded(value));
        }
        if (m_answer.status() >= 400)
            setError(errorFor(m_answer.status()), QStringLiteral("Error transferring %1 - server replied: %2")
                                                      .arg(url().toString(), QString::fromLatin1(reason)));
        emit metaDataChanged();
    }

    static NetworkError errorFor(int status)
    {
        switch (status) {
        case 401:
            return AuthenticationRequiredError;
        case 403:
            return ContentAccessDenied;
        case 404:
            return ContentNotFoundError;
        case 405:
            return ContentOperationNotPermittedError;
        case 407:
            return ProxyAuthenticationRequiredError;
        case 409:
            return ContentConflictError;
        case 410:
            return ContentGoneError;
        case 500:
            return InternalServerError;
        case 501:
            return OperationNotImplementedError;
        case 503:
            return ServiceUnavailableError;
        default:
            return status == 400 || status == 418 ? ProtocolInvalidOperationError
                   : status < 500                 ? UnknownContentError
                                                  : UnknownServerError;
        }
    }

    void finishNow()
    {
        m_stall.stop();
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
        }
        setFinished(true);
        if (error() != NoError)
            emit errorOccurred(error());
        emit finished();
    }

    void fail(NetworkError code, const QString &why)
    {
        if (isFinished())
            return;
        setError(code, why);
        m_body.clear();
        finishNow();
    }

    // Reported from the event loop, as every answer is: callers see it after the request returned.
    void failLater(NetworkError code, const QString &why)
    {
        QMetaObject::invokeMethod(
            this, [this, code, why] { fail(code, why); }, Qt::QueuedConnection);
    }

    const qint64 m_bufferBytes;
    QAbstractSocket *m_socket = nullptr;
    QTimer m_stall;
    HttpAnswerReader m_answer;
    QByteArray m_body; // taken from the socket, not yet read: at most the read buffer
    bool m_closed = false;
    bool m_pumpQueued = false;
};

} // namespace

namespace boundedrequest {

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

namespace {

// A child of network, which reports it finished as it does its own replies.
QNetworkReply *adopt(QNetworkAccessManager *network, QNetworkReply *reply)
{
    reply->setParent(network);
    QObject::connect(reply, &QNetworkReply::finished, network, [network, reply] { emit network->finished(reply); });
    return reply;
}

} // namespace

QNetworkRequest make(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferlimits::stalledMs);
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

QNetworkReply *get(QNetworkAccessManager *network, const QNetworkRequest &request, qint64 bufferBytes)
{
    return adopt(network,
                 new BoundedReply(request, QNetworkAccessManager::GetOperation, bufferBytes, network->proxy()));
}

QNetworkReply *post(QNetworkAccessManager *network, const QNetworkRequest &request, qint64 bufferBytes)
{
    return adopt(network,
                 new BoundedReply(request, QNetworkAccessManager::PostOperation, bufferBytes, network->proxy()));
}

std::optional<QUrl> redirectOf(const QNetworkReply *reply)
{
    static const QList<int> redirects{301, 302, 303, 307, 308};
    const QVariant location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (!redirects.contains(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) || !location.isValid())
        return std::nullopt;
    const QUrl target = reply->url().resolved(location.toUrl());
    const bool downgrade = reply->url().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
                           target.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    return isWebAddress(target) && !downgrade ? target : QUrl();
}

} // namespace boundedrequest

#include "boundedreply.moc"
