#include "base/portal/moviedownload.h"

#include "base/datafile.h"
#include "base/library/incomingfile.h"
#include "base/logging.h"
#include "base/portal/boundedreply.h"
#include "base/portal/serverfetch.h"
#include "base/swfheader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QThreadPool>

namespace {

constexpr qint64 readBufferBytes = transferlimits::movieReadBufferBytes;
// How often the free disk space is looked at again while a movie comes in.
constexpr qint64 freeSpaceCheckBytes = 16 * 1024 * 1024;

const QLatin1String partialPrefix(".partial-");
const QLatin1String descriptionSuffix(".json");
constexpr qint64 maxDescriptionBytes = 64 * 1024;

// The partial's file name for key: the key itself when it is a short plain word, else a plain form of it with
// part of its hash, so that two keys never share a name. No '.' follows the first.
QString partialName(const QString &key)
{
    constexpr int maxKeyChars = 64;
    QString plain;
    bool changed = key.size() > maxKeyChars;
    for (const QChar c : key.left(maxKeyChars)) {
        const bool kept = c.unicode() < 128 && (c.isLetterOrNumber() || c == u'-' || c == u'_');
        plain += kept ? c : QChar(u'_');
        changed = changed || !kept;
    }
    if (changed)
        plain +=
            QLatin1Char('-') +
            QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    return partialPrefix + plain;
}

QString partialPath(const QString &folder, const QString &key)
{
    return QDir(folder).filePath(partialName(key));
}

QString descriptionPath(const QString &folder, const QString &key)
{
    return partialPath(folder, key) + descriptionSuffix;
}

// What a later run needs to ask for the rest of a partial: the same address, the same version of the file
// (If-Range), and the size the whole has.
struct PartialDescription
{
    QString url; // fully encoded
    QByteArray validator;
    qint64 total = 0;
};

std::optional<PartialDescription> readDescription(const QString &path)
{
    const std::optional<QByteArray> bytes = datafile::readRegular(path, maxDescriptionBytes);
    if (!bytes)
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    PartialDescription description;
    description.url = json.value(QLatin1String("url")).toString();
    description.validator = json.value(QLatin1String("validator")).toString().toLatin1();
    description.total = qint64(json.value(QLatin1String("total")).toDouble(-1));
    if (description.url.isEmpty() || description.validator.isEmpty() || description.total <= 0)
        return std::nullopt;
    return description;
}

bool writeDescription(const QString &path, const PartialDescription &description)
{
    QJsonObject json;
    json.insert(QLatin1String("url"), description.url);
    json.insert(QLatin1String("validator"), QString::fromLatin1(description.validator));
    json.insert(QLatin1String("total"), double(description.total));
    return datafile::writeAtomic(path, QJsonDocument(json).toJson(QJsonDocument::Compact));
}

// What If-Range may name so that a later answer sends the rest only of these very bytes: a strong ETag, or
// Last-Modified when there is no ETag at all. A weak ETag does not promise the same bytes: nothing then.
QByteArray validatorOf(const QNetworkReply *reply)
{
    const QByteArray etag = reply->rawHeader("ETag").trimmed();
    if (!etag.isEmpty())
        return etag.startsWith("W/") ? QByteArray() : etag;
    return reply->rawHeader("Last-Modified").trimmed();
}

} // namespace

MovieDownload::MovieDownload(QNetworkAccessManager *network, const QUrl &url, const QString &targetPath,
                             QObject *parent)
    : QObject(parent), m_network(network), m_url(url), m_targetPath(targetPath)
{
}

MovieDownload::~MovieDownload()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    // A partial a later run can go on from stays (the program is closing, say); any other file never placed is
    // dropped.
    if (m_file && !m_resumable)
        m_file->discard();
}

void MovieDownload::start()
{
    const QString scheme = m_url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        // A server must not get local files (file:, data:, ...) copied into the library.
        QMetaObject::invokeMethod(
            this, [this] { finish(DownloadResult::Status::Failed, tr("not a web address")); }, Qt::QueuedConnection);
        return;
    }
    const QString folder = QFileInfo(m_targetPath).absolutePath();
    QDir().mkpath(folder);
    m_file = std::make_unique<IncomingFile>(folder);
    if (!m_resumeKey.isEmpty() && !m_file->openKept(partialName(m_resumeKey))) {
        // Another transfer of the same game has it: this one keeps nothing for later.
        qCInfo(lcPortal).noquote() << "Download of" << loggableUrl(m_url)
                                   << "keeps no partial:" << m_file->errorString();
        m_resumeKey.clear();
    }
    const bool resumed = !m_resumeKey.isEmpty() && resumePartial();
    if (!m_file->isOpen() && !m_file->open()) {
        // Reported from the event loop so that callers always see finished() after start() returns.
        const QString error = m_file->errorString();
        QMetaObject::invokeMethod(
            this, [this, error] { finish(DownloadResult::Status::Failed, error); }, Qt::QueuedConnection);
        return;
    }
    if (resumed && m_written == *m_announced) {
        // The whole movie had come when the earlier run stopped: it only has to be put in place.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_done && !m_committing)
                    commitInBackground();
            },
            Qt::QueuedConnection);
        return;
    }
    send(m_url);
}

bool MovieDownload::resumePartial()
{
    const QString description = descriptionPath(m_file->folder(), m_resumeKey);
    const std::optional<PartialDescription> earlier = readDescription(description);
    const qint64 held = m_file->size();
    const QByteArray head = m_file->readBack(3);
    // The partial's first bytes were checked when they came; a partial changed since then is not gone on with.
    if (earlier && held > 0 && held <= earlier->total && earlier->url == m_url.toString(QUrl::FullyEncoded) &&
        hasSwfSignature(head + QByteArrayLiteral("FWS").mid(head.size()))) {
        qCInfo(lcPortal).noquote() << "Download of" << loggableUrl(m_url) << "goes on from byte" << held << "of"
                                   << earlier->total;
        m_resumedFrom = m_written = m_checkedFreeAt = held;
        m_announced = earlier->total;
        m_validator = earlier->validator;
        m_signature = head;
        m_resumable = true;
        return true;
    }
    if (held != 0)
        qCInfo(lcPortal).noquote() << "Download of" << loggableUrl(m_url) << "does not go on from the" << held
                                   << "bytes an earlier run left:"
                                   << (earlier ? "another address, or not the start of a movie"
                                               : "nothing describes them");
    QFile::remove(description);
    if (!m_file->truncate()) {
        // What it holds cannot be dropped, so nothing may be added to it: a nameless file takes the movie.
        qCWarning(lcPortal).noquote() << "The partial of" << loggableUrl(m_url)
                                      << "cannot be emptied:" << m_file->errorString();
        m_file->close();
        m_resumeKey.clear();
    }
    return false;
}

void MovieDownload::send(const QUrl &url)
{
    QNetworkRequest request = boundedrequest::make(url);
    if (m_resumedFrom > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_resumedFrom) + '-');
        request.setRawHeader("If-Range", m_validator);
    }
    m_reply = boundedrequest::get(m_network, request, readBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &MovieDownload::onHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &MovieDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &MovieDownload::onFinished);
}

void MovieDownload::onHeaders()
{
    if (const std::optional<QUrl> target = boundedrequest::redirectOf(m_reply)) {
        if (!target->isValid()) {
            finish(DownloadResult::Status::Failed, tr("a redirect that is not followed"));
        } else if (++m_redirects > boundedrequest::maxRedirects) {
            finish(DownloadResult::Status::Failed, tr("more than %1 redirects").arg(boundedrequest::maxRedirects));
        } else {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
            send(*target);
        }
        return;
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_resumedFrom > 0) {
        if (status == 416) {
            startOver(QStringLiteral("the server has no bytes past those held (416)"), false);
            return;
        }
        if (status == 206) {
            QString mismatch = checkValidator();
            if (mismatch.isEmpty())
                mismatch = checkContentRange();
            if (!mismatch.isEmpty()) {
                startOver(mismatch, false);
                return;
            }
            const QString noRoom = roomFor(*m_announced);
            if (!noRoom.isEmpty())
                finish(DownloadResult::Status::Failed, noRoom);
            return;
        }
        if (status < 200 || status >= 300)
            return; // an error page: onFinished() reports it, and the partial waits for a later run
        startOver(QStringLiteral("the whole movie comes (the server ignored the range, or the movie changed)"), true);
        if (m_done)
            return;
    }
    if (status == 206) {
        finish(DownloadResult::Status::Failed, tr("the server sent a part of the movie that was not asked for"));
        return;
    }
    if (status < 200 || status >= 300)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid())
        m_announced = length.toLongLong();
    describePartial();
    const QString noRoom = m_announced ? roomFor(*m_announced) : QString();
    if (!noRoom.isEmpty())
        finish(DownloadResult::Status::Failed, noRoom);
}

QString MovieDownload::checkValidator() const
{
    // A server that names another version of the file than If-Range did sent the rest of that other version.
    const bool etag = m_validator.startsWith('"');
    const QByteArray named = m_reply->rawHeader(etag ? "ETag" : "Last-Modified").trimmed();
    if (named.isEmpty() || named == m_validator)
        return QString();
    return QStringLiteral("the rest is of another version (%1 instead of %2)")
        .arg(QString::fromLatin1(named.left(200)), QString::fromLatin1(m_validator));
}

QString MovieDownload::checkContentRange() const
{
    static const QRegularExpression form(QStringLiteral(R"(^bytes[ \t]+(\d{1,18})-(\d{1,18})/(\d{1,18})$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString value = QString::fromLatin1(m_reply->rawHeader("Content-Range").trimmed());
    const QRegularExpressionMatch match = form.match(value);
    if (!match.hasMatch())
        return QStringLiteral("a Content-Range that is not one range: \"%1\"").arg(value.left(200));
    const qint64 first = match.captured(1).toLongLong();
    const qint64 last = match.captured(2).toLongLong();
    const qint64 total = match.captured(3).toLongLong();
    if (first != m_resumedFrom || last != total - 1 || total != *m_announced)
        return QStringLiteral("Content-Range \"%1\" is not the rest after the %2 bytes held of %3")
            .arg(value)
            .arg(m_resumedFrom)
            .arg(*m_announced);
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != last - first + 1)
        return QStringLiteral("Content-Range \"%1\" does not match Content-Length %2")
            .arg(value)
            .arg(length.toLongLong());
    return QString();
}

void MovieDownload::startOver(const QString &why, bool whole)
{
    qCInfo(lcPortal).noquote() << "Download of" << loggableUrl(m_url) << "starts again from the first byte:" << why;
    // The description goes first: a partial without one is never gone on with.
    if (!m_resumeKey.isEmpty())
        QFile::remove(descriptionPath(m_file->folder(), m_resumeKey));
    m_resumable = false;
    m_resumedFrom = m_written = m_checkedFreeAt = 0;
    m_signature.clear();
    m_announced.reset();
    m_validator.clear();
    if (!m_file->truncate()) {
        finish(DownloadResult::Status::Failed, m_file->errorString());
        return;
    }
    emit progress(0, std::nullopt);
    if (whole)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_redirects = 0;
    send(m_url);
}

void MovieDownload::describePartial()
{
    if (m_resumeKey.isEmpty())
        return;
    const QString path = descriptionPath(m_file->folder(), m_resumeKey);
    m_validator = validatorOf(m_reply);
    m_resumable = m_announced && *m_announced > 0 && !m_validator.isEmpty() &&
                  writeDescription(path, {m_url.toString(QUrl::FullyEncoded), m_validator, *m_announced});
    if (!m_resumable)
        QFile::remove(path);
}

void MovieDownload::cancel()
{
    if (m_done || m_committing)
        return; // a movie that arrived whole is being put in place: it is kept
    finish(DownloadResult::Status::Cancelled, tr("Cancelled"));
}

void MovieDownload::onReadyRead()
{
    if (!m_reply || m_done)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = m_reply->readAll();
    if (status >= 300 || m_writeFailed)
        return; // an error page is never stored as a movie
    m_fetched += data.size();
    // A web page or anything else that does not start like a movie is given up at its first bytes.
    if (m_signature.size() < 3) {
        m_signature += data.left(3 - int(m_signature.size()));
        if (!hasSwfSignature(m_signature + QByteArrayLiteral("FWS").mid(m_signature.size()))) {
            finish(DownloadResult::Status::Failed, tr("what the server sent is not a Flash movie"));
            return;
        }
    }
    if (m_announced && m_written + data.size() > *m_announced) {
        finish(DownloadResult::Status::Failed,
               tr("the server sent more than the %1 bytes it announced").arg(*m_announced));
        return;
    }
    if (m_written + data.size() - m_checkedFreeAt >= freeSpaceCheckBytes || m_written + data.size() > m_maxBytes) {
        m_checkedFreeAt = m_written + data.size();
        const QString noRoom = roomFor(m_announced.value_or(m_checkedFreeAt));
        if (!noRoom.isEmpty()) {
            finish(DownloadResult::Status::Failed, noRoom);
            return;
        }
    }
    if (!m_file->write(data)) {
        m_writeFailed = true;
        return;
    }
    m_written += data.size();
    emit progress(m_written, m_announced);
}

void MovieDownload::onFinished()
{
    if (!m_reply || m_done)
        return;
    onReadyRead();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A transfer that broke off, or an error answer, leaves the partial for a later run; a body found wrong does not.
    if (m_reply->error() != QNetworkReply::NoError) {
        // Qt's message names the URL, password and all: the text goes to the log.
        finish(DownloadResult::Status::Failed, loggableUrl(m_reply->errorString()), true);
    } else if (status < 200 || status >= 300) {
        finish(DownloadResult::Status::Failed, tr("The server answered %1").arg(status), true);
    } else if (m_writeFailed) {
        finish(DownloadResult::Status::Failed, m_file->errorString());
    } else if (m_written == 0) {
        finish(DownloadResult::Status::Failed, tr("The server sent no movie"));
    } else if (!hasSwfSignature(m_signature)) {
        finish(DownloadResult::Status::Failed, tr("what the server sent is not a Flash movie"));
    } else if (m_announced && *m_announced != m_written) {
        finish(DownloadResult::Status::Failed,
               tr("The transfer ended after %1 of %2 bytes").arg(m_written).arg(*m_announced), true);
    } else {
        commitInBackground();
    }
}

QString MovieDownload::roomFor(qint64 total)
{
    if (total > m_maxBytes)
        return tr("the movie is larger than %1 bytes").arg(m_maxBytes);
    QStorageInfo storage(QFileInfo(m_targetPath).absolutePath());
    const qint64 stillToWrite = total - m_written;
    if (storage.isValid() && storage.bytesAvailable() >= 0 &&
        storage.bytesAvailable() - stillToWrite < diskReserveBytes)
        return tr("not enough free disk space: %1 MiB are free").arg(storage.bytesAvailable() >> 20);
    return QString();
}

void MovieDownload::commitInBackground()
{
    // Flushing the whole movie to disk can take longer than the window may stay unanswered; naming it is quick,
    // and is done here, where the names that must be kept are known.
    m_committing = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    QPointer<MovieDownload> self(this);
    QThreadPool::globalInstance()->start([self, file = m_file.release()] {
        const bool synced = file->sync();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, file, synced] {
                // Dropped unless placed; a partial stays whole for the next run when nobody waits for it any more.
                std::unique_ptr<IncomingFile> owned(file);
                if (!self)
                    return;
                self->m_committing = false;
                if (synced) {
                    self->place(std::move(owned));
                } else {
                    owned->discard();
                    self->finish(DownloadResult::Status::Failed, owned->errorString());
                }
            },
            Qt::QueuedConnection);
    });
}

void MovieDownload::place(std::unique_ptr<IncomingFile> file)
{
    const QString name =
        file->place(m_naming ? m_naming() : FileNaming{QFileInfo(m_targetPath).fileName(), true, {}, false});
    if (name.isEmpty()) {
        finish(DownloadResult::Status::Failed, file->errorString(), true); // a whole partial waits for a name
        return;
    }
    m_targetPath = QDir(file->folder()).filePath(name);
    finish(DownloadResult::Status::Completed, QString());
}

void MovieDownload::finish(DownloadResult::Status status, const QString &error, bool keepPartial)
{
    if (m_done)
        return;
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    const bool keep = keepPartial && m_resumable;
    if (m_file && !keep)
        m_file->discard();
    m_file.reset();
    if (!keep && !m_resumeKey.isEmpty())
        QFile::remove(descriptionPath(QFileInfo(m_targetPath).absolutePath(), m_resumeKey));
    DownloadResult result;
    result.status = status;
    result.errorText = error;
    result.filePath = m_targetPath;
    result.bytesWritten = m_written;
    result.bytesFetched = m_fetched;
    result.resumedFrom = m_resumedFrom;
    emit finished(result);
}

void MovieDownload::dropPartial(const QString &folder, const QString &key)
{
    if (key.isEmpty())
        return;
    QFile::remove(descriptionPath(folder, key));
    QFile::remove(partialPath(folder, key));
}

int MovieDownload::dropStalePartials(const QString &folder, qint64 maxAgeSecs)
{
    const QDir dir(folder);
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-maxAgeSecs);
    int dropped = 0;
    const QFileInfoList entries =
        dir.entryInfoList({partialPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        // A partial and its description are always regular files: anything else was planted, and goes.
        if (entry.isSymLink() || !entry.isFile()) {
            QFile::remove(entry.filePath());
            continue;
        }
        if (name.endsWith(descriptionSuffix)) {
            // A description whose partial went (placed, or dropped) describes nothing.
            if (!dir.exists(name.chopped(descriptionSuffix.size())))
                QFile::remove(entry.filePath());
            continue;
        }
        if (entry.lastModified() > oldest || IncomingFile::isInUse(entry.filePath()))
            continue;
        QFile::remove(entry.filePath());
        // Names with a dot past the first are what a description being written left, no partials.
        if (name.indexOf(QLatin1Char('.'), 1) < 0) {
            QFile::remove(entry.filePath() + descriptionSuffix);
            ++dropped;
        }
    }
    return dropped;
}
