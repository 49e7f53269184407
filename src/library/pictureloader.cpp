#include "library/pictureloader.h"

#include "base/logging.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

namespace {

constexpr int transferTimeoutMs = 30000;
constexpr qint64 readBufferBytes = 256 * 1024;

// The content decides the format, not the name: a picture saved as "x.jpg" may well be a GIF.
QImage readImage(QImageReader &reader)
{
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace

PictureLoader::PictureLoader(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network) {}

QImage PictureLoader::loadFile(const QString &path)
{
    // Only regular files: a FIFO or a device would block the window, a folder holds no picture.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImageReader reader(path);
    return readImage(reader);
}

QImage PictureLoader::decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readImage(reader);
}

bool PictureLoader::isInLocalFolder(const QString &path) const
{
    if (m_localFolder.isEmpty() || path.isEmpty())
        return false;
    const QString folder = QFileInfo(m_localFolder).canonicalFilePath();
    const QString file = QFileInfo(path).canonicalFilePath(); // symbolic links followed to where they lead
    return !folder.isEmpty() && file.startsWith(folder + QLatin1Char('/'));
}

void PictureLoader::LoadPicture(const QString &strFileName, QObject *context, std::function<void(const QImage &)> done)
{
    const QUrl url(strFileName);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        const QString path = scheme == QLatin1String("file") ? url.toLocalFile() : strFileName;
        if (!isInLocalFolder(path)) {
            if (!strFileName.isEmpty())
                qCWarning(lcLibrary).noquote()
                    << "Picture not loaded: not a web address nor one of ours:" << strFileName.left(200);
            done(QImage());
            return;
        }
        done(loadFile(path));
        return;
    }
    if (!m_network) {
        done(QImage());
        return;
    }
    if (!context)
        context = this;
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    // The body is taken as it comes, through a small buffer: an endless picture never piles up in memory.
    reply->setReadBufferSize(readBufferBytes);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body] {
        *body += reply->readAll();
        if (body->size() > maxDownloadBytes) {
            body->clear();
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, context, [reply, body, done = std::move(done)] {
        if (reply->error() == QNetworkReply::NoError)
            *body += reply->readAll();
        done(reply->error() == QNetworkReply::NoError && body->size() <= maxDownloadBytes ? decode(*body) : QImage());
    });
    // Nobody waits for the picture any more; queued so that no answer reaches a half-destroyed context.
    connect(context, &QObject::destroyed, reply, &QNetworkReply::abort, Qt::QueuedConnection);
}
