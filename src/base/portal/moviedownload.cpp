#include "base/portal/moviedownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThreadPool>

namespace {

// What the network may hold for us before it waits: each turn of the event loop writes at most this much.
constexpr qint64 readBufferBytes = 1024 * 1024;

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
    // An unfinished QSaveFile discards its temporary file when destroyed.
}

void MovieDownload::start()
{
    QDir().mkpath(QFileInfo(m_targetPath).absolutePath());
    m_file = std::make_unique<QSaveFile>(m_targetPath);
    m_file->setDirectWriteFallback(false);
    if (!m_file->open(QIODevice::WriteOnly)) {
        // Reported from the event loop so that callers always see finished() after start() returns.
        const QString error = m_file->errorString();
        QMetaObject::invokeMethod(
            this, [this, error] { finish(DownloadResult::Status::Failed, error); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(30000);
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(readBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            m_announced = length.toLongLong();
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &MovieDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &MovieDownload::onFinished);
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
    if (m_file->write(data) != data.size()) {
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
        finish(DownloadResult::Status::Failed, m_reply->errorString());
    } else if (status < 200 || status >= 300) {
        finish(DownloadResult::Status::Failed, tr("The server answered %1").arg(status));
    } else if (m_writeFailed) {
        finish(DownloadResult::Status::Failed, m_file->errorString());
    } else if (m_written == 0) {
        finish(DownloadResult::Status::Failed, tr("The server sent no movie"));
    } else if (m_announced && *m_announced != m_written) {
        finish(DownloadResult::Status::Failed,
               tr("The transfer ended after %1 of %2 bytes").arg(m_written).arg(*m_announced));
    } else {
        commitInBackground();
    }
}

void MovieDownload::commitInBackground()
{
    // Committing flushes the whole movie to disk, which can take longer than the window may stay unanswered.
    m_committing = true;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
    QPointer<MovieDownload> self(this);
    QThreadPool::globalInstance()->start([self, file = m_file.release()] {
        const bool ok = file->commit();
        const QString error = file->errorString();
        delete file;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, ok, error] {
                if (self) {
                    self->m_committing = false;
                    self->finish(ok ? DownloadResult::Status::Completed : DownloadResult::Status::Failed,
                                 ok ? QString() : error);
                }
            },
            Qt::QueuedConnection);
    });
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
    if (status != DownloadResult::Status::Completed && m_file)
        m_file->cancelWriting();
    m_file.reset(); // without a commit the temporary file is removed here
    DownloadResult result;
    result.status = status;
    result.errorText = error;
    result.filePath = m_targetPath;
    result.bytesWritten = m_written;
    emit finished(result);
}
