#include "library/pictureloader.h"

#include "base/logging.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace {

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
