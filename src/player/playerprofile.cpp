#include "player/playerprofile.h"

#include "player/playerschemehandler.h"

#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>

void PlayerProfile::registerScheme()
{
    // Players of one program share a renderer process: three players then cost little more than one.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--process-per-site"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --process-per-site").trimmed());

    const QByteArray name = PlayerSchemeHandler::scheme();
    if (QWebEngineUrlScheme::schemeByName(name).name() == name)
        return;
    QWebEngineUrlScheme scheme(name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Ruffle needs a secure context (wasm, audio) and same-origin XHR for its assets and the movies.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

PlayerProfile::PlayerProfile(const QString &appFolder, const QString &ruffleFolder, QObject *parent)
    : QObject(parent), m_handler(new PlayerSchemeHandler(appFolder, ruffleFolder, this)),
      m_profile(new QWebEngineProfile(this)) // no storage name: off the record, nothing written to disk
{
    m_profile->installUrlSchemeHandler(PlayerSchemeHandler::scheme(), m_handler);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setSpellCheckEnabled(false);
    QWebEngineSettings *settings = m_profile->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
}

PlayerProfile::~PlayerProfile()
{
    emit releasingPages();
    delete m_profile;
    delete m_handler;
}
