#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class QNetworkAccessManager;

// Loads a game picture from a file or a web address; anything that cannot be loaded gives no picture,
// never an error.
class PictureLoader : public QObject
{
    Q_OBJECT

public:
    explicit PictureLoader(QNetworkAccessManager *network, QObject *parent = nullptr);

    // Local pictures are read only from inside this folder (none until set).
    void setLocalFolder(const QString &folder) { m_localFolder = folder; }

    // strFileName is an http(s) URL, or a file path or file URL inside the local folder. A file is read at once
    // and done runs before this returns; a web picture is fetched in the background and done runs later,
    // unless context (the loader itself when null) is gone by then. Any other address, and anything that is
    // not a regular file (a FIFO would block), gives no picture: done receives a null image.
    // A valid shownSize (in device pixels) is the box the picture is shown in: a larger picture is decoded
    // scaled down to fit it, keeping its proportions.
    void LoadPicture(const QString &strFileName, QObject *context, std::function<void(const QImage &)> done,
                     const QSize &shownSize = QSize());

    // A picture file; a null image for anything but a regular file that decodes as a picture in one of the
    // formats a game picture comes in (BMP, JPEG, GIF, ICO, PNG) and within the bounds below.
    static QImage loadFile(const QString &path, const QSize &shownSize = QSize());
    static QImage decode(const QByteArray &bytes, const QSize &shownSize = QSize());

    // A web picture larger than this is given up rather than held in memory.
    static constexpr qint64 maxDownloadBytes = 16 * 1024 * 1024;
    // A picture whose header announces more than this is refused before it is decoded: a few kilobytes of
    // a compressed file can describe a picture of gigabytes. A game's picture is shown about 100 pixels wide.
    static constexpr int maxSide = 4096;
    static constexpr qint64 maxPixels = 4 * 1024 * 1024;

private:
    bool isInLocalFolder(const QString &path) const;

    QNetworkAccessManager *m_network;
    QString m_localFolder;
};
