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
    QString filePath;        // Completed: where the movie lies; otherwise the target asked for
    qint64 bytesWritten = 0; // the movie's bytes on the disk, those an earlier run left included
    qint64 bytesFetched = 0; // the movie's bytes that came over the network in this run
    qint64 resumedFrom = 0;  // where this run went on from what an earlier one left; 0 for a whole download
};

// Moves one movie from the game server (http or https) into the library's flash folder, streaming the body to
// a nameless file there that takes its name only when the transfer is complete and what arrived is a Flash
// movie (see setNaming). A movie over the size limit, or one that would leave the disk with less
// than diskReserveBytes, is given up.
//
// With a resume key the body goes to a partial file of the folder instead, under a hidden name the key gives,
// beside a small description of it (address, validator, size). A transfer that fails on the way, or is dropped
// while it runs (the program closed or killed), leaves both, and the next run with the same key asks only for
// the rest: Range and If-Range with the first answer's strong ETag or else its Last-Modified. The rest is taken
// only when Content-Range starts where the partial ends and names the same size, and the answer names no other
// version (ETag, or Last-Modified) than If-Range did; a whole body (a server that ignores ranges, or a changed
// file) starts the file again; 416, any other Content-Range or another version drops the partial for one whole
// download. The signature and the limits hold for the whole movie.
class MovieDownload : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 defaultMaxBytes = transferlimits::movieMaxBytes;
    static constexpr qint64 diskReserveBytes = movielimits::diskReserveBytes;
    // A partial nothing was added to for this long is dropped by dropStalePartials: two weeks, so that a game
    // left over a holiday still goes on where it stopped.
    static constexpr qint64 partialMaxAgeSecs = 14 * 24 * 3600;

    MovieDownload(QNetworkAccessManager *network, const QUrl &url, const QString &targetPath,
                  QObject *parent = nullptr);
    ~MovieDownload() override;

    // The largest movie accepted; defaultMaxBytes unless set before start().
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    // What the movie is to be called in the target's folder, asked when it is complete; unless set, the target's
    // name, replacing the file there.
    void setNaming(std::function<FileNaming()> naming) { m_naming = std::move(naming); }
    // Keeps what arrives under a partial name that key (any text) gives in the target's folder, and goes on from
    // what an earlier run with the same key left there. Set before start(); unset, nothing is kept.
    void setResumeKey(const QString &key) { m_resumeKey = key; }
    void start();
    // Stops the transfer and drops what was written, the partial too; finished() is emitted with Cancelled. A
    // movie that arrived whole and is being put on the disk is kept.
    void cancel();
    // Removes the partial of key in folder: its game was given up while no transfer ran for it.
    static void dropPartial(const QString &folder, const QString &key);
    // Removes the partials of folder nothing was added to for maxAgeSecs; those in use stay. How many went.
    static int dropStalePartials(const QString &folder, qint64 maxAgeSecs = partialMaxAgeSecs);
    bool isRunning() const { return !m_done; }

    QUrl url() const { return m_url; }
    QString targetPath() const { return m_targetPath; }

signals:
    // announced is the whole movie's size, when the server said it (Content-Length, or a range's total).
    void progress(qint64 bytesWritten, std::optional<qint64> announced);
    void finished(const DownloadResult &result);

private:
    // Every hop of a redirect is a request of its own, with its own bounded read buffer.
    void send(const QUrl &url);
    void onHeaders();
    void onReadyRead();
    void onFinished();
    // keepPartial: a partial that can be gone on with stays (the transfer broke off, not the movie's fault).
    void finish(DownloadResult::Status status, const QString &error, bool keepPartial = false);
    // Takes up what an earlier run left under the resume key; false when there is nothing to go on from.
    bool resumePartial();
    // Whether a 206 answer is the rest of the partial and nothing else; why not otherwise.
    QString checkContentRange() const;
    // Whether a 206 answer is of the version If-Range named (its ETag, or Last-Modified); why not otherwise.
    QString checkValidator() const;
    // Starts over from the first byte: the partial holds nothing of the body now coming (whole is true) or of
    // the next request, sent without a range.
    void startOver(const QString &why, bool whole);
    // Notes what the next run needs to go on from the body now coming.
    void describePartial();
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
    QString m_resumeKey;
    bool m_resumable = false; // the partial and its description agree: a later run can go on from it
    QByteArray m_validator;   // the body's strong ETag, or else its Last-Modified
    qint64 m_resumedFrom = 0; // the first byte asked for; 0 for the whole body
    qint64 m_fetched = 0;     // body bytes taken from the network in this run
    bool m_writeFailed = false;
    bool m_done = false;
    bool m_committing = false;
};
