#include "portal/webbrowser.h"

#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

PortalPage::PortalPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
{
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
}

bool PortalPage::isForbiddenForPages(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return !(scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about") ||
             scheme == QLatin1String("data") || scheme == QLatin1String("javascript"));
}

bool PortalPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The program itself may show its local first page; the portal's content may not go there.
    if (type == NavigationTypeTyped)
        return true;
    if (isForbiddenForPages(url))
        return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

WebBrowser::WebBrowser(QWebEngineProfile *profile, QWidget *parent) : QWebEngineView(parent)
{
    auto *page = new PortalPage(profile, this);
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(page, &QWebEnginePage::loadStarted, this, [this] { m_readyState = Loading; });
    connect(page, &QWebEnginePage::loadFinished, this, [this] {
        m_readyState = Complete;
        emit DocumentComplete();
    });
    // Not calling openIn() refuses the window: the handler only ever sees the address.
    connect(page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        // Handled after the engine's callback returns, so the handler may show a modal message.
        const QUrl url = request.requestedUrl();
        QMetaObject::invokeMethod(
            this, [this, url] { emit NewWindow(url); }, Qt::QueuedConnection);
    });
}

void WebBrowser::navigateTo(const QUrl &url)
{
    m_readyState = Loading;
    setUrl(url);
}
