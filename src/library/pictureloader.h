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

    // strFileName is a file path or an http(s)/file URL. A file is read at once and done runs before this
    // returns; a web picture is fetched in the background and done runs later, unless context (the loader itself
    // when null) is gone by then.
    // done receives a null image when there is no picture.
    void LoadPicture(const QString &strFileName, QObject *context, std::function<void(const QImage &)> done);

    static QImage loadFile(const QString &path);
    static QImage decode(const QByteArray &bytes);

    // A web picture larger than this is given up rather than held in memory.
    static constexpr qint64 maxDownloadBytes = 16 * 1024 * 1024;

private:
    QNetworkAccessManager *m_network;
};
