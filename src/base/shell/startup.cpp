#include "base/shell/startup.h"

#include "base/logging.h"
#include "base/portal/serverfetch.h"
#include "base/portal/textops.h"
#include "base/swfheader.h"

#include <QDir>
#include <QFileInfo>

Startup::Startup(ServerFetch *fetch, const LibraryFolders &folders, const QUrl &serverUrl, QObject *parent)
    : QObject(parent), m_fetch(fetch), m_folders(folders), m_serverUrl(serverUrl)
{
    setObjectName(QStringLiteral("startup"));
    m_leftPageTimeout.setSingleShot(true);
    m_leftPageTimeout.setInterval(leftPageWaitMs);
    connect(&m_leftPageTimeout, &QTimer::timeout, this, [this] {
        qCInfo(lcShell) << "The left portal page did not load within" << leftPageWaitMs << "ms; going on without it";
        finish();
    });
}

void Startup::start()
{
    const QUrl status = m_serverUrl.resolved(QUrl(QStringLiteral("gg.asp")));
    m_fetch->GetPage(status, this, [this](const std::optional<QByteArray> &body) { onAnswer(BytesToBstr(body)); });
}

void Startup::leftPageLoaded()
{
    m_leftPageLoaded = true;
    if (m_waitingForLeftPage)
        finish();
}

QString Startup::advertisementPath(const QString &url) const
{
    const QString name = advertisementFileName(url);
    return name.isEmpty() ? QString() : m_folders.picturePath(name);
}

void Startup::onAnswer(const QString &text)
{
    m_answer = parseStartupAnswer(text);
    if (!m_answer.ok) {
        qCWarning(lcShell).noquote() << "The game server refused the program; its status answer was"
                                     << (text.isEmpty() ? QStringLiteral("(none)") : text.left(200));
        m_done = true;
        emit refused();
        return;
    }
    fetchAdvertisement(m_answer.gg_1, m_answer.gg_size1,
                       [this] { fetchAdvertisement(m_answer.gg_2, m_answer.gg_size2, [this] { waitForLeftPage(); }); });
}

void Startup::fetchAdvertisement(const QString &url, std::optional<qint64> announced, std::function<void()> next)
{
    const QString path = advertisementPath(url);
    if (path.isEmpty()) {
        if (!url.isEmpty())
            qCWarning(lcShell).noquote() << "Advertisement not fetched: unusable file name in" << loggableUrl(url);
        next();
        return;
    }
    // A movie already there is kept unless it is shorter than the server says; anything else there (a web page
    // kept before movies were checked) is fetched again.
    const QFileInfo file(path);
    if (file.exists() && file.size() >= announced.value_or(0) && fileHasSwfSignature(path)) {
        next();
        return;
    }
    // Only a movie is kept: an error page or anything else the server sends in its place is not.
    FetchLimits limits;
    limits.maxMs = advertisementMaxMs;
    limits.accept = [](const QByteArray &head) { return readSwfHeader(head).has_value(); };
    limits.acceptHeadBytes = SwfHeader::size;
    m_fetch->Download_Pic(
        QUrl(url), path, this, [next](bool) { next(); }, limits);
}

void Startup::waitForLeftPage()
{
    if (m_leftPageLoaded) {
        finish();
        return;
    }
    m_waitingForLeftPage = true;
    m_leftPageTimeout.start();
}

void Startup::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_waitingForLeftPage = false;
    m_leftPageTimeout.stop();
    emit finished();
}
