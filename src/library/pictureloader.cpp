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

// What a decoder may allocate at most, in MiB: the largest picture allowed, at up to 8 bytes a pixel (a PNG
// of 16 bits a channel). A format that announces no size is held to it while it decodes.
constexpr int allocationLimitMiB = int(PictureLoader::maxPixels * 8 / (1024 * 1024));

// The content decides the format, not the name: a picture saved as "x.jpg" may well be a GIF.
QImage readImage(QImageReader &reader, const QSize &shownSize)
{
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(allocationLimitMiB);
    static const QList<QByteArray> formats = {"bmp", "jpeg", "gif", "ico", "png"};
    if (!formats.contains(reader.format()))
        return {};
    // Measured from the header, before a single pixel is decoded. Each of the formats tells its size there.
    const QSize size = reader.size();
    if (!size.isValid())
        return {};
    if (size.width() > PictureLoader::maxSide || size.height() > PictureLoader::maxSide ||
        qint64(size.width()) * size.height() > PictureLoader::maxPixels) {
        qCWarning(lcLibrary).noquote() << "Picture not loaded: it would be" << size.width() << "by" << size.height()
                                       << "pixels";
        return {};
    }
    if (shownSize.isValid()) {
        // The box is turned with the picture: the size read is the one stored, before its turn.
        QSize box = shownSize;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            box.transpose();
        if (size.width() > box.width() || size.height() > box.height()) {
            const QSize fitted = size.scaled(box, Qt::KeepAspectRatio);
            reader.setScaledSize(fitted.expandedTo(QSize(1, 1)));
        }
    }
    return reader.read();
}

} // namespace

PictureLoader::PictureLoader(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network) {}

QImage PictureLoader::loadFile(const QString &path, const QSize &shownSize)
{
    // Only regular files: a FIFO or a device would block the window, a folder holds no picture.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImageReader reader(path);
    return readImage(reader, shownSize);
}

QImage PictureLoader::decode(const QByteArray &bytes, const QSize &shownSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readImage(reader, shownSize);
}

bool PictureLoader::isInLocalFolder(const QString &path) const
{
    if (m_localFolder.isEmpty() || path.isEmpty())
        return false;
    const QString folder = QFileInfo(m_localFolder).canonicalFilePath();
    const QString file = QFileInfo(path).canonicalFilePath(); // symbolic links followed to where they lead
    return !folder.isEmpty() && file.startsWith(folder + QLatin1Char('/'));
}

void PictureLoader::LoadPicture(const QString &strFileName, QObject *context, std::function<void(const QImage &)> done,
                                const QSize &shownSize)
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
        done(loadFile(path, shownSize));
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
    connect(reply, &QNetworkReply::finished, context, [reply, body, shownSize, done = std::move(done)] {
        if (reply->error() == QNetworkReply::NoError)
            *body += reply->readAll();
        done(reply->error() == QNetworkReply::NoError && body->size() <= maxDownloadBytes ? decode(*body, shownSize)
                                                                                          : QImage());
    });
    // Nobody waits for the picture any more; queued so that no answer reaches a half-destroyed context.
    connect(context, &QObject::destroyed, reply, &QNetworkReply::abort, Qt::QueuedConnection);
}
