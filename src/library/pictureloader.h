#pragma once

#include <QImage>
#include <QObject>
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
    void LoadPicture(const QString &strFileName, QObject *context, std::function<void(const QImage &)> done);

    // A picture file; a null image for anything but a regular file that decodes as a picture.
    static QImage loadFile(const QString &path);
    static QImage decode(const QByteArray &bytes);

    // A web picture larger than this is given up rather than held in memory.
    static constexpr qint64 maxDownloadBytes = 16 * 1024 * 1024;

private:
    bool isInLocalFolder(const QString &path) const;

    QNetworkAccessManager *m_network;
    QString m_localFolder;
};
