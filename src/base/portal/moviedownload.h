#pragma once

#include "base/portal/transferlimits.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include <QNetworkReply>

class IncomingFile;
struct FileNaming;
class QNetworkAccessManager;

// The outcome of one movie transfer.
struct DownloadResult
{
    enum class Status
    {
        Completed, // the whole body arrived and now lies in the target's folder, under the name filePath gives
        Failed,    // not a web address, connection error, HTTP error status, short body, over a limit, not a movie,
                   // or the file could not be written
        Cancelled  // stopped by the program; nothing was written under the target name
    };
    Status status = Status::Failed;
    QString errorText;
    QString filePath; // Completed: where the movie lies; otherwise the target asked for
    qint64 bytesWritten = 0;
};

// Moves one movie from the game server (http or https) into the library's flash folder, streaming the body to
// a nameless file there that takes its name only when the transfer is complete and what arrived is a Flash
// movie (see setNaming). A movie over the size limit, or one that would leave the disk with less
// than diskReserveBytes, is given up.
class MovieDownload : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 defaultMaxBytes = transferlimits::movieMaxBytes;
    static constexpr qint64 diskReserveBytes = movielimits::diskReserveBytes;

    MovieDownload(QNetworkAccessManager *network, const QUrl &url, const QString &targetPath,
                  QObject *parent = nullptr);
    ~MovieDownload() override;

    // The largest movie accepted; defaultMaxBytes unless set before start().
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    // What the movie is to be called in the target's folder, asked when it is complete; unless set, the target's
    // name, replacing the file there.
    void setNaming(std::function<FileNaming()> naming) { m_naming = std::move(naming); }
    void start();
    // Stops the transfer and drops what was written; finished() is emitted with Cancelled. A movie that arrived
    // whole and is being put on the disk is kept.
    void cancel();
    bool isRunning() const { return !m_done; }

    QUrl url() const { return m_url; }
    QString targetPath() const { return m_targetPath; }

signals:
    // announced is the Content-Length, when the server sent one.
    void progress(qint64 bytesWritten, std::optional<qint64> announced);
    void finished(const DownloadResult &result);

private:
    // Every hop of a redirect is a request of its own, with its own bounded read buffer.
    void send(const QUrl &url);
    void onHeaders();
    void onReadyRead();
    void onFinished();
    void finish(DownloadResult::Status status, const QString &error);
    void commitInBackground();
    void place(std::unique_ptr<IncomingFile> file);
    // Why the movie cannot grow to total bytes (limit or free space); empty when it can.
    QString roomFor(qint64 total);

    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_targetPath;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<IncomingFile> m_file;
    std::function<FileNaming()> m_naming;
    std::optional<qint64> m_announced;
    qint64 m_written = 0;
    QByteArray m_signature; // the movie's first bytes, up to three
    qint64 m_maxBytes = defaultMaxBytes;
    qint64 m_checkedFreeAt = 0; // free space was last checked when this much was written
    int m_redirects = 0;
    bool m_writeFailed = false;
    bool m_done = false;
    bool m_committing = false;
};
