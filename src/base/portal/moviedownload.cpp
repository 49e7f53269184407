#include "base/portal/moviedownload.h"

#include "base/library/incomingfile.h"
#include "base/logging.h"
#include "base/portal/boundedreply.h"
#include "base/portal/serverfetch.h"
#include "base/swfheader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QThreadPool>

namespace {

constexpr qint64 readBufferBytes = transferlimits::movieReadBufferBytes;
// How often the free disk space is looked at again while a movie comes in.
constexpr qint64 freeSpaceCheckBytes = 16 * 1024 * 1024;

} // namespace

MovieDownload::MovieDownload(QNetworkAccessManager *network, const QUrl &url, const QString &targetPath,
                             QObject *parent)
    : QObject(parent), m_network(network), m_url(url), m_targetPath(targetPath)
{
}

MovieDownload::~MovieDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    // A file that was never placed is dropped with its IncomingFile.
}

void MovieDownload::start()
{
    const QString scheme = m_url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        // A server must not get local files (file:, data:, ...) copied into the library.
        QMetaObject::invokeMethod(
            this, [this] { finish(DownloadResult::Status::Failed, tr("not a web address")); }, Qt::QueuedConnection);
        return;
    }
    QDir().mkpath(QFileInfo(m_targetPath).absolutePath());
    m_file = std::make_unique<IncomingFile>(QFileInfo(m_targetPath).absolutePath());
    if (!m_file->open()) {
        // Reported from the event loop so that callers always see finished() after start() returns.
        const QString error = m_file->errorString();
        QMetaObject::invokeMethod(
            this, [this, error] { finish(DownloadResult::Status::Failed, error); }, Qt::QueuedConnection);
        return;
    }
    send(m_url);
}

void MovieDownload::send(const QUrl &url)
{
    m_reply = boundedrequest::get(m_network, boundedrequest::make(url), readBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &MovieDownload::onHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &MovieDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &MovieDownload::onFinished);
}

void MovieDownload::onHeaders()
{
    if (const std::optional<QUrl> target = boundedrequest::redirectOf(m_reply)) {
        if (!target->isValid()) {
            finish(DownloadResult::Status::Failed, tr("a redirect that is not followed"));
        } else if (++m_redirects > boundedrequest::maxRedirects) {
            finish(DownloadResult::Status::Failed, tr("more than %1 redirects").arg(boundedrequest::maxRedirects));
        } else {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
            send(*target);
        }
        return;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid())
        return;
    m_announced = length.toLongLong();
    const QString noRoom = roomFor(*m_announced);
    if (!noRoom.isEmpty())
        finish(DownloadResult::Status::Failed, noRoom);
}

void MovieDownload::cancel()
{
    if (m_done || m_committing)
        return; // a movie that arrived whole is being put in place: it is kept
    finish(DownloadResult::Status::Cancelled, tr("Cancelled"));
}

void MovieDownload::onReadyRead()
{
    if (!m_reply || m_done)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = m_reply->readAll();
    if (status >= 300 || m_writeFailed)
        return; // an error page is never stored as a movie
    // A web page or anything else that does not start like a movie is given up at its first bytes.
    if (m_signature.size() < 3) {
        m_signature += data.left(3 - int(m_signature.size()));
        if (!hasSwfSignature(m_signature + QByteArrayLiteral("FWS").mid(m_signature.size()))) {
            finish(DownloadResult::Status::Failed, tr("what the server sent is not a Flash movie"));
            return;
        }
    }
    if (m_written + data.size() - m_checkedFreeAt >= freeSpaceCheckBytes || m_written + data.size() > m_maxBytes) {
        m_checkedFreeAt = m_written + data.size();
        const QString noRoom = roomFor(m_announced.value_or(m_checkedFreeAt));
        if (!noRoom.isEmpty()) {
            finish(DownloadResult::Status::Failed, noRoom);
            return;
        }
    }
    if (!m_file->write(data)) {
        m_writeFailed = true;
        return;
    }
    m_written += data.size();
    emit progress(m_written, m_announced);
}

void MovieDownload::onFinished()
{
    if (!m_reply || m_done)
        return;
    onReadyRead();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_reply->error() != QNetworkReply::NoError) {
        // Qt's message names the URL, password and all: the text goes to the log.
        finish(DownloadResult::Status::Failed, loggableUrl(m_reply->errorString()));
    } else if (status < 200 || status >= 300) {
        finish(DownloadResult::Status::Failed, tr("The server answered %1").arg(status));
    } else if (m_writeFailed) {
        finish(DownloadResult::Status::Failed, m_file->errorString());
    } else if (m_written == 0) {
        finish(DownloadResult::Status::Failed, tr("The server sent no movie"));
    } else if (!hasSwfSignature(m_signature)) {
        finish(DownloadResult::Status::Failed, tr("what the server sent is not a Flash movie"));
    } else if (m_announced && *m_announced != m_written) {
        finish(DownloadResult::Status::Failed,
               tr("The transfer ended after %1 of %2 bytes").arg(m_written).arg(*m_announced));
    } else {
        commitInBackground();
    }
}

QString MovieDownload::roomFor(qint64 total)
{
    if (total > m_maxBytes)
        return tr("the movie is larger than %1 bytes").arg(m_maxBytes);
    QStorageInfo storage(QFileInfo(m_targetPath).absolutePath());
    const qint64 stillToWrite = total - m_written;
    if (storage.isValid() && storage.bytesAvailable() >= 0 &&
        storage.bytesAvailable() - stillToWrite < diskReserveBytes)
        return tr("not enough free disk space: %1 MiB are free").arg(storage.bytesAvailable() >> 20);
    return QString();
}

void MovieDownload::commitInBackground()
{
    // Flushing the whole movie to disk can take longer than the window may stay unanswered; naming it is quick,
    // and is done here, where the names that must be kept are known.
    m_committing = true;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
    QPointer<MovieDownload> self(this);
    QThreadPool::globalInstance()->start([self, file = m_file.release()] {
        const bool synced = file->sync();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, file, synced] {
                std::unique_ptr<IncomingFile> owned(file); // dropped unless placed
                if (!self)
                    return; // nobody waits for it any more
                self->m_committing = false;
                if (synced)
                    self->place(std::move(owned));
                else
                    self->finish(DownloadResult::Status::Failed, owned->errorString());
            },
            Qt::QueuedConnection);
    });
}

void MovieDownload::place(std::unique_ptr<IncomingFile> file)
{
    const QString name =
        file->place(m_naming ? m_naming() : FileNaming{QFileInfo(m_targetPath).fileName(), true, {}, false});
    if (name.isEmpty()) {
        finish(DownloadResult::Status::Failed, file->errorString());
        return;
    }
    m_targetPath = QDir(file->folder()).filePath(name);
    finish(DownloadResult::Status::Completed, QString());
}

void MovieDownload::finish(DownloadResult::Status status, const QString &error)
{
    if (m_done)
        return;
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_file.reset(); // what was written is dropped
    DownloadResult result;
    result.status = status;
    result.errorText = error;
    result.filePath = m_targetPath;
    result.bytesWritten = m_written;
    emit finished(result);
}
