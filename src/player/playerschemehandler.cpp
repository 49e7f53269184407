#include "player/playerschemehandler.h"

#include "base/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QStringDecoder>
#include <QWebEngineUrlRequestJob>

#include <unistd.h>

#include <algorithm>

namespace {

const QString kHost = QStringLiteral("app");
const QString kPageFolder = QStringLiteral(":/quillabrix/player/page");
const QString kFlash = QStringLiteral("flash");
const QString kPic = QStringLiteral("pic");
const QString kRuffle = QStringLiteral("ruffle");
const QString kPlaceholder = QStringLiteral("nogame.swf");
const QString kFonts = QStringLiteral("fonts");
const QString kCompanion = QStringLiteral("companion");

QByteArray mimeTypeFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html"))
        return "text/html";
    if (suffix == QLatin1String("js"))
        return "text/javascript";
    if (suffix == QLatin1String("css"))
        return "text/css";
    if (suffix == QLatin1String("wasm"))
        return "application/wasm"; // compiled while streaming only with this type
    if (suffix == QLatin1String("swf"))
        return "application/x-shockwave-flash";
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QByteArray("application/octet-stream") : type.name().toLatin1();
}

// The path's segments, or nothing when one of them could step out of its folder or is not a plain name.
std::optional<QStringList> plainSegments(const QUrl &url)
{
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QStringList segments = path.mid(1).split(QLatin1Char('/'));
    for (const QString &s : segments) {
        if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String("..") || s.contains(QLatin1Char('\\')) ||
            s.contains(QChar(0)))
            return std::nullopt;
    }
    return segments;
}

// A request for a file a game keeps: its game's row id and the file's path, decoded (bytes that are not UTF-8 leave
// the path empty, which names no file).
struct CompanionRequest
{
    qint64 id = 0;
    QString serverGameId; // a game without its row yet: "s<server id>" in the address
    QString path;
};

std::optional<CompanionRequest> companionRequest(const QUrl &url)
{
    const QString prefix = QLatin1Char('/') + kCompanion + QLatin1Char('/');
    const QString encoded = url.path(QUrl::FullyEncoded);
    if (!encoded.startsWith(prefix))
        return std::nullopt;
    const qsizetype slash = encoded.indexOf(QLatin1Char('/'), prefix.size());
    const QString game = encoded.mid(prefix.size(), slash - prefix.size());
    const bool server = game.startsWith(QLatin1Char('s'));
    bool ok = false;
    const qint64 id = game.mid(server ? 1 : 0).toLongLong(&ok);
    if (slash < 0 || !ok || id <= 0 ||
        !std::all_of(game.begin() + (server ? 1 : 0), game.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    auto utf8 = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString path = utf8(QByteArray::fromPercentEncoding(encoded.mid(slash + 1).toLatin1()));
    if (utf8.hasError())
        path.clear();
    return server ? CompanionRequest{0, QString::number(id), path} : CompanionRequest{id, QString(), path};
}

bool isRuffleAsset(const QString &name)
{
    return name.endsWith(QLatin1String(".js")) || name.endsWith(QLatin1String(".wasm"));
}

} // namespace

PlayerSchemeHandler::PlayerSchemeHandler(const QString &appFolder, const QString &ruffleFolder, QObject *parent)
    : QWebEngineUrlSchemeHandler(parent), m_appFolder(QDir::cleanPath(appFolder)),
      m_ruffleFolder(QDir::cleanPath(ruffleFolder)), m_dataFolder(m_appFolder)
{
}

void PlayerSchemeHandler::setDataFolder(const QString &dataFolder)
{
    m_dataFolder = QDir::cleanPath(dataFolder);
}

void PlayerSchemeHandler::setDeviceFontFile(const QString &path)
{
    m_fontFile = path;
}

QUrl PlayerSchemeHandler::fontUrl() const
{
    if (m_fontFile.isEmpty())
        return {};
    QUrl url = pageUrl();
    url.setPath(QStringLiteral("/%1/%2").arg(kFonts, QFileInfo(m_fontFile).fileName()), QUrl::DecodedMode);
    return url;
}

QUrl PlayerSchemeHandler::companionUrl(qint64 id)
{
    QUrl url = pageUrl();
    url.setPath(QStringLiteral("/%1/%2/").arg(kCompanion).arg(id));
    return url;
}

QUrl PlayerSchemeHandler::companionUrl(const QString &serverGameId)
{
    QUrl url = pageUrl();
    url.setPath(QStringLiteral("/%1/s%2/").arg(kCompanion, serverGameId));
    return url;
}

QByteArray PlayerSchemeHandler::scheme()
{
    return QByteArrayLiteral("qbplayer");
}

QUrl PlayerSchemeHandler::pageUrl()
{
    QUrl url;
    url.setScheme(QString::fromLatin1(scheme()));
    url.setHost(kHost);
    url.setPath(QStringLiteral("/player.html"));
    return url;
}

std::optional<PlayerSchemeHandler::Resource> PlayerSchemeHandler::resolveInFolder(const QString &folder,
                                                                                  const QStringList &segments) const
{
    // Canonical paths on both sides: a symbolic link may lead anywhere, only its target counts.
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return std::nullopt;
    const QFileInfo target(QFileInfo(root + QLatin1Char('/') + segments.join(QLatin1Char('/'))).canonicalFilePath());
    if (!target.filePath().startsWith(root + QLatin1Char('/')) || !target.isFile())
        return std::nullopt;
    return Resource{target.filePath(), mimeTypeFor(target.filePath())};
}

std::optional<PlayerSchemeHandler::Resource> PlayerSchemeHandler::resolve(const QUrl &url) const
{
    if (url.scheme() != QString::fromLatin1(scheme()) || url.host() != kHost)
        return std::nullopt;
    const std::optional<QStringList> segments = plainSegments(url);
    if (!segments)
        return std::nullopt;
    const QString &first = segments->first();

    if (segments->size() == 1 && first == kPlaceholder) {
        const std::optional<Resource> found = resolveInFolder(m_appFolder, *segments);
        if (found && QFileInfo(found->filePath).fileName() == kPlaceholder)
            return found;
        return std::nullopt;
    }
    if (segments->size() == 1) {
        const QString resource = kPageFolder + QLatin1Char('/') + first;
        if (QFileInfo(resource).isFile())
            return Resource{resource, mimeTypeFor(resource)};
        return std::nullopt;
    }
    const QStringList rest = segments->mid(1);
    // The font file alone, not its folder: the rest of the system's fonts stay out of the pages' reach.
    if (first == kFonts && rest.size() == 1 && !m_fontFile.isEmpty() &&
        rest.first() == QFileInfo(m_fontFile).fileName())
        return Resource{m_fontFile, "application/octet-stream"};
    if (first == kRuffle && rest.size() == 1 && isRuffleAsset(rest.first()))
        return resolveInFolder(m_ruffleFolder, rest);
    if (first == kFlash || first == kPic)
        return resolveInFolder(QDir(m_dataFolder).filePath(first), rest);
    return std::nullopt;
}

QUrl PlayerSchemeHandler::urlForFile(const QString &path) const
{
    QString given = path;
    given.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const auto relativeTo = [&given](const QString &folder) {
        const QString clean = QDir::cleanPath(QDir(folder).filePath(given));
        const QString prefix = folder + QLatin1Char('/');
        return clean.startsWith(prefix) ? clean.mid(prefix.size()) : QString();
    };
    QString relative = relativeTo(m_appFolder);
    if (relative != kPlaceholder) {
        relative = relativeTo(m_dataFolder);
        if (!relative.startsWith(kFlash + QLatin1Char('/')) && !relative.startsWith(kPic + QLatin1Char('/')))
            return {};
    }

    QUrl url;
    url.setScheme(QString::fromLatin1(scheme()));
    url.setHost(kHost);
    url.setPath(QLatin1Char('/') + relative, QUrl::DecodedMode);
    if (!resolve(url))
        return {};
    return url;
}

void PlayerSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    if (job->requestMethod() != QByteArrayLiteral("GET")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QUrl url = job->requestUrl();
    if (url.scheme() == QString::fromLatin1(scheme()) && url.host() == kHost) {
        if (const std::optional<CompanionRequest> request = companionRequest(url)) {
            if (!m_companions) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            // Answered when the file is there, which may take a fetch; a job the page gave up meanwhile is gone.
            QPointer<QWebEngineUrlRequestJob> asked(job);
            const auto answer = [asked](const std::optional<QString> &filePath) {
                if (!asked)
                    return;
                const int fd = filePath ? datafile::openRegular(*filePath) : -1;
                auto *file = new QFile(asked);
                if (fd < 0 || !file->open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
                    if (fd >= 0)
                        ::close(fd);
                    asked->fail(QWebEngineUrlRequestJob::UrlNotFound);
                    return;
                }
                asked->reply(mimeTypeFor(*filePath), file);
            };
            m_companions(request->id, request->serverGameId, request->path, url.query(QUrl::FullyEncoded), job, answer);
            return;
        }
    }
    const std::optional<Resource> resource = resolve(url);
    if (!resource) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    auto *file = new QFile(resource->filePath, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return;
    }
    job->reply(resource->mimeType, file);
}
