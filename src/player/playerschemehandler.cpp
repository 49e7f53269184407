#include "player/playerschemehandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestJob>

namespace {

const QString kHost = QStringLiteral("app");
const QString kPageFolder = QStringLiteral(":/quillabrix/player/page");
const QString kFlash = QStringLiteral("flash");
const QString kPic = QStringLiteral("pic");
const QString kRuffle = QStringLiteral("ruffle");
const QString kPlaceholder = QStringLiteral("nogame.swf");
const QString kFonts = QStringLiteral("fonts");

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
    const std::optional<Resource> resource = resolve(job->requestUrl());
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
