#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
#include <QNetworkReply>
class QSaveFile;

// The outcome of one movie transfer.
struct DownloadResult
{
    enum class Status
    {
        Completed, // the whole body arrived and now lies under the target name
        Failed,    // connection error, HTTP error status, short body, or the file could not be written
        Cancelled  // stopped by the program; nothing was written under the target name
    };
    Status status = Status::Failed;
    QString errorText;
    QString filePath;
    qint64 bytesWritten = 0;
};

// Moves one movie from the game server into the library's flash folder, streaming the body to a temporary
// file beside the target that replaces it only when the transfer is complete.
class MovieDownload : public QObject
{
    Q_OBJECT

public:
    MovieDownload(QNetworkAccessManager *network, const QUrl &url, const QString &targetPath,
                  QObject *parent = nullptr);
    ~MovieDownload() override;

    void start();
    // Stops the transfer and removes its temporary file; finished() is emitted with Cancelled.
    void cancel();
    bool isRunning() const { return !m_done; }

    QUrl url() const { return m_url; }
    QString targetPath() const { return m_targetPath; }

signals:
    // announced is the Content-Length, when the server sent one.
    void progress(qint64 bytesWritten, std::optional<qint64> announced);
    void finished(const DownloadResult &result);

private:
    void onReadyRead();
    void onFinished();
    void finish(DownloadResult::Status status, const QString &error);
    void commitInBackground();

    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_targetPath;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QSaveFile> m_file;
    std::optional<qint64> m_announced;
    qint64 m_written = 0;
    bool m_writeFailed = false;
    bool m_done = false;
    bool m_committing = false;
};
