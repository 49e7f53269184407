#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Reads a game picture from a file or from bytes (a picture the game server sent, before it is kept); anything
// that is not a picture within the bounds below gives no picture, never an error.
class PictureLoader
{
public:
    // A null image for anything but a regular file (a FIFO would block) that decodes as a picture in one of the
    // formats a game picture comes in (BMP, JPEG, GIF, ICO, PNG) and within the bounds below. A valid shownSize
    // (in device pixels) is the box the picture is shown in: a larger picture is decoded scaled down to fit it,
    // keeping its proportions.
    static QImage loadFile(const QString &path, const QSize &shownSize = QSize());
    static QImage decode(const QByteArray &bytes, const QSize &shownSize = QSize());

    // A picture whose header announces more than this is refused before it is decoded: a few kilobytes of
    // a compressed file can describe a picture of gigabytes. A game's picture is shown about 100 pixels wide.
    static constexpr int maxSide = 4096;
    static constexpr qint64 maxPixels = 4 * 1024 * 1024;
};
