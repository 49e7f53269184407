#include "player/playerprofile.h"

#include "base/logging.h"
#include "player/playerschemehandler.h"
#include "player/profilesaves.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
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
    : PlayerProfile(appFolder, ruffleFolder, QString(), parent)
{
}

QWebEngineProfile *PlayerProfile::makeProfile(const QString &savesFolder, QObject *parent)
{
    if (savesFolder.isEmpty())
        return new QWebEngineProfile(parent); // no storage name: off the record, nothing written to disk
    QDir().mkpath(savesFolder);
    const QFileInfo folder(savesFolder);
    if (!folder.isDir() || !folder.isWritable()) {
        qCWarning(lcPlayer).noquote() << "The saves folder" << savesFolder
                                      << "cannot be used; games play without keeping their saves";
        return new QWebEngineProfile(parent);
    }
    auto *profile = new QWebEngineProfile(QStringLiteral("saves"), parent);
    profile->setPersistentStoragePath(savesFolder);
    profile->setCachePath(QDir(savesFolder).filePath(QStringLiteral("cache")));
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    return profile;
}

PlayerProfile::PlayerProfile(const QString &appFolder, const QString &ruffleFolder, const QString &savesFolder,
                             QObject *parent)
    : QObject(parent), m_handler(new PlayerSchemeHandler(appFolder, ruffleFolder, this)),
      m_profile(makeProfile(savesFolder, this)), m_saves(new ProfileSaves(this, this))
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
    // A movie may ask for full screen (its widget decides what that means), and Stage3D needs WebGL: only a
    // machine without a GPU (tests, Xvfb) turns it off, from outside.
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, true);
    settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, true);

    const std::optional<DeviceFont> font = DeviceFont::find();
    if (!font)
        qCWarning(lcPlayer) << "No Chinese font is installed (Debian's fonts-wqy-microhei has one): Chinese text that "
                               "games write in the player's own fonts stays invisible";
    setDeviceFont(font);
}

void PlayerProfile::setDeviceFont(const std::optional<DeviceFont> &font)
{
    m_deviceFont = font;
    m_handler->setDeviceFontFile(font ? font->path : QString());
}

bool PlayerProfile::keepsSaves() const
{
    return !m_profile->isOffTheRecord();
}

SaveKeeper *PlayerProfile::saves() const
{
    return m_saves;
}

void PlayerProfile::spareSaves(const QString &movieFileName, bool spare)
{
    if (spare)
        m_spared.insert(movieFileName);
    else
        m_spared.remove(movieFileName);
}

void PlayerProfile::runWithSaves(const QString &script, QObject *context,
                                 std::function<void(bool ok, const QVariant &)> done)
{
    auto *page = new QWebEnginePage(m_profile, this);
    const QPointer<QObject> caller(context);
    connect(page, &QWebEnginePage::loadFinished, page, [page, script, caller, done](bool ok) {
        if (!ok) {
            page->deleteLater();
            if (caller)
                done(false, QVariant());
            return;
        }
        page->runJavaScript(script, [page, caller, done](const QVariant &value) {
            page->deleteLater();
            if (caller)
                done(true, value);
        });
    });
    connect(this, &PlayerProfile::releasingPages, page, [page] { delete page; });
    page->load(PlayerSchemeHandler::pageUrl());
}

void PlayerProfile::removeSaves(const QString &movieFileName)
{
    if (m_spared.contains(movieFileName)) {
        qCInfo(lcPlayer).noquote() << "Kept the saves of" << movieFileName << "as the user asked";
        emit savesRemoved(movieFileName, 0);
        return;
    }
    // Ruffle names each shared object after the movie's address, which holds "/flash/<file name>/" with the
    // name percent-encoded as in the address (and the player page keeps even a movie's shared-path objects
    // there); a page of the player's own origin can reach those entries of local storage and nothing else.
    QUrl address;
    address.setPath(QStringLiteral("/flash/") + movieFileName + QLatin1Char('/'), QUrl::DecodedMode);
    QStringList needles{QStringLiteral("/flash/") + movieFileName + QLatin1Char('/')};
    const QString encoded = address.path(QUrl::FullyEncoded);
    if (!needles.contains(encoded))
        needles << encoded;
    const QString script =
        QStringLiteral(
            "(function(needles){var gone=[];for(var i=0;i<localStorage.length;i++){var k=localStorage.key(i);"
            "if(needles.some(function(n){return k.indexOf(n)>=0;}))gone.push(k);}"
            "gone.forEach(function(k){localStorage.removeItem(k);});return gone.length;})(%1)")
            .arg(QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(needles)).toJson(QJsonDocument::Compact)));
    runWithSaves(script, this, [this, movieFileName](bool ok, const QVariant &removed) {
        if (!ok)
            qCWarning(lcPlayer).noquote() << "Cannot reach the saves to forget those of" << movieFileName;
        else
            qCInfo(lcPlayer).noquote() << "Forgot" << removed.toInt() << "saves of" << movieFileName;
        emit savesRemoved(movieFileName, removed.toInt());
    });
}

PlayerProfile::~PlayerProfile()
{
    emit releasingPages();
    delete m_profile;
    delete m_handler;
}
