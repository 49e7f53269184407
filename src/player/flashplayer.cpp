#include "player/flashplayer.h"

#include "base/logging.h"
#include "base/swfheader.h"
#include "player/playerprofile.h"
#include "player/playerschemehandler.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>

namespace {

const QString kEventPrefix = QStringLiteral("qb:");

// The page reports to its widget through console messages; everything else it logs stays quiet.
class PlayerPage : public QWebEnginePage
{
public:
    PlayerPage(QWebEngineProfile *profile, std::function<void(const QString &)> onEvent, QObject *parent)
        : QWebEnginePage(profile, parent), m_onEvent(std::move(onEvent))
    {
    }

protected:
    // A movie may ask to open a URL in the player's own page; that would end the player, so the page
    // stays. New windows are refused by not being handled.
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || url == PlayerSchemeHandler::pageUrl();
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override
    {
        if (message.startsWith(kEventPrefix)) {
            m_onEvent(message.mid(kEventPrefix.size()));
            return;
        }
        // An exception nobody caught is a fault of the page or of Ruffle; Ruffle's own error log is the
        // movies' business.
        if (level == ErrorMessageLevel && message.startsWith(QLatin1String("Uncaught")))
            qCWarning(lcPlayer).noquote() << "Player page:" << message << "at" << source << line;
        else if (level == ErrorMessageLevel)
            qCDebug(lcPlayer) << source << line << message;
    }

private:
    std::function<void(const QString &)> m_onEvent;
};

// A JavaScript literal for any text, quotes and line breaks included.
QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

const QStringList kQualities{QStringLiteral("low"), QStringLiteral("medium"), QStringLiteral("high"),
                             QStringLiteral("best")};

} // namespace

FlashPlayer::FlashPlayer(PlayerProfile *profile, QWidget *parent) : QWidget(parent), m_profile(profile)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
    // The profile owns the web engine's side; it says when it goes, and the page must go first.
    if (m_profile)
        connect(m_profile, &PlayerProfile::releasingPages, this, &FlashPlayer::releasePage);
}

FlashPlayer::~FlashPlayer()
{
    releasePage();
}

void FlashPlayer::releasePage()
{
    m_released = true;
    m_pageReady = false;
    delete m_view; // takes its page along
    m_view = nullptr;
}

void FlashPlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_view && !m_released && m_profile)
        createView();
    // Focus given to the player before it had its view goes on to the game.
    if (m_view && (m_focusOnShow || window()->focusWidget() == this)) {
        m_view->setFocus(Qt::OtherFocusReason);
        m_pageFocusWanted = true;
        scheduleFlush();
    }
    m_focusOnShow = false;
}

void FlashPlayer::createView()
{
    m_view = new QWebEngineView(this);
    auto *page = new PlayerPage(
        m_profile->profile(), [this](const QString &event) { pageEvent(event); }, m_view);
    if (m_background.isValid())
        page->setBackgroundColor(m_background);
    m_view->setPage(page);
    // The browser's own menu (back, reload, view source) never belongs to a player.
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    connect(page, &QWebEnginePage::loadFinished, this, &FlashPlayer::pageLoaded);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &FlashPlayer::rendererEnded);
    connect(page, &QWebEnginePage::fullScreenRequested, this, &FlashPlayer::pageFullScreenRequested);
    layout()->addWidget(m_view);
    setFocusProxy(m_view); // keys reach the game once the player has focus
    page->load(PlayerSchemeHandler::pageUrl());
}

void FlashPlayer::rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    qCWarning(lcPlayer) << "The player's renderer ended (status" << status << ", exit code" << exitCode
                        << "); the page is loaded again without the movie";
    // A renderer that died (out of memory, a crash in the movie) leaves a dead view. Its input widget goes
    // with it, and so do the keys the game had: they wait for the page that comes back.
    if (QWidget *focus = window()->focusWidget(); focus && isAncestorOf(focus))
        m_pageFocusWanted = true;
    if (!m_movieUrl.isEmpty()) {
        m_movieUrl = QUrl();
        fail(QStringLiteral("crash"));
    }
    reloadPage();
}

// A fresh page comes back with the settings but without the movie, which could end it again and again; it
// says why the movie went.
void FlashPlayer::reloadPage()
{
    m_pageReady = false;
    m_pageFullScreen = false;
    if (m_view)
        m_view->page()->load(PlayerSchemeHandler::pageUrl());
}

void FlashPlayer::pageLoaded(bool ok)
{
    if (!ok || m_pageReady)
        return;
    m_pageReady = true;
    // The game's keys wait for a page that came back after its renderer ended (the input widget is a new one),
    // unless the user has put them elsewhere meanwhile.
    if (m_pageFocusWanted && isVisible()) {
        QWidget *focus = window()->focusWidget();
        if (!focus || focus == this || isAncestorOf(focus))
            m_view->setFocus(Qt::OtherFocusReason);
    }
    // A fresh page knows nothing: everything goes again, and the movie starts as a new one would,
    // except that a player stopped before it had a page starts stopped.
    m_sentSettings.clear();
    m_movieChanged = true;
    m_commands.clear();
    if (!m_playing)
        m_commands << QStringLiteral("qb.setPlaying(false);");
    flush();
}

void FlashPlayer::pageEvent(const QString &event)
{
    const int space = event.indexOf(QLatin1Char(' '));
    const QString name = event.left(space);
    const QString detail = space < 0 ? QString() : event.mid(space + 1);
    if (name == QLatin1String("started")) {
        if (detail.toInt() == m_loadId && !m_movieUrl.isEmpty())
            emit movieStarted();
    } else if (name == QLatin1String("failed")) {
        const QStringList words = detail.split(QLatin1Char(' '));
        if (words.value(0).toInt() == m_loadId && !m_movieUrl.isEmpty()) {
            qCWarning(lcPlayer).noquote() << "The movie" << m_movie << "cannot be played:" << words.value(1);
            m_movieUrl = QUrl(); // a fresh page says why instead of trying again
            fail(words.value(1));
            // After a crash of its own Ruffle refuses every later movie of the page.
            if (words.value(1) == QLatin1String("crash"))
                reloadPage();
            else
                command(QStringLiteral("qb.explainFailure(%1, %2);").arg(m_loadId).arg(jsString(m_failure)));
        }
    } else if (name == QLatin1String("renderer")) {
        if (detail != m_renderer)
            qCInfo(lcPlayer).noquote() << "Ruffle draws" << objectName() << "with its" << detail << "renderer";
        m_renderer = detail;
    } else {
        qCDebug(lcPlayer) << "player page:" << event;
    }
}

void FlashPlayer::scheduleFlush()
{
    if (m_flushScheduled || !m_pageReady)
        return;
    m_flushScheduled = true;
    QMetaObject::invokeMethod(this, &FlashPlayer::flush, Qt::QueuedConnection);
}

// What the program asks in one go (a movie, then its scale and colour) reaches the page as one batch:
// settings first, so that a new movie is never loaded twice for the settings that follow it.
void FlashPlayer::flush()
{
    m_flushScheduled = false;
    if (!m_pageReady || !m_view)
        return;
    QString script;
    const QString settings =
        QStringLiteral("{background: %1, scale: %2, menu: %3, volume: %4, quality: %5, fonts: %6")
            .arg(backgroundValue(), scaleValue(), m_menu ? QStringLiteral("true") : QStringLiteral("false"),
                 QString::number(m_muted ? 0.0 : m_volume / 100.0), jsString(m_quality), fontsValue());
    if (settings != m_sentSettings) {
        script += QStringLiteral("qb.configure(%1, restart: %2});")
                      .arg(settings, m_movieChanged ? QStringLiteral("false") : QStringLiteral("true"));
        m_sentSettings = settings;
    }
    if (m_movieChanged) {
        script += m_movieUrl.isEmpty() ? QStringLiteral("qb.clear(%1, %2);").arg(m_loadId).arg(jsString(m_failure))
                                       : QStringLiteral("qb.load(%1, %2, %3, %4);")
                                             .arg(jsString(m_movieUrl.toString(QUrl::FullyEncoded)))
                                             .arg(m_loadId)
                                             .arg(siteValue(), m_movieColour.isEmpty() ? QStringLiteral("null")
                                                                                       : jsString(m_movieColour));
        m_movieChanged = false;
    }
    script += m_commands.join(QString());
    m_commands.clear();
    if (m_pageFocusWanted) {
        script += QStringLiteral("qb.focus();");
        m_pageFocusWanted = false;
    }
    if (!script.isEmpty())
        m_view->page()->runJavaScript(script);
}

void FlashPlayer::command(const QString &script)
{
    m_commands << script;
    scheduleFlush();
}

QString FlashPlayer::siteValue() const
{
    if (!m_site.keepsFiles())
        return QStringLiteral("null");
    const QUrl companions = m_site.game > 0 ? PlayerSchemeHandler::companionUrl(m_site.game)
                                            : PlayerSchemeHandler::companionUrl(m_site.serverGameId);
    QJsonObject site{{QStringLiteral("companions"), companions.toString(QUrl::FullyEncoded)}};
    // Only a web address: a movie must not be told it runs from a local file or elsewhere.
    if (m_site.address.isValid() &&
        (m_site.address.scheme() == QLatin1String("http") || m_site.address.scheme() == QLatin1String("https")))
        site.insert(QStringLiteral("address"), m_site.address.toString(QUrl::FullyEncoded));
    return QString::fromUtf8(QJsonDocument(site).toJson(QJsonDocument::Compact));
}

QString FlashPlayer::backgroundValue() const
{
    return m_background.isValid() ? jsString(m_background.name()) : QStringLiteral("null");
}

// Device-font text draws with the profile's installed font for all three of Flash's own names; a font the
// machine lacks falls back to the first of them.
QString FlashPlayer::fontsValue() const
{
    if (!m_profile || !m_profile->deviceFont())
        return QStringLiteral("null");
    const DeviceFont &font = *m_profile->deviceFont();
    const QJsonArray regular = QJsonArray::fromStringList(font.regularNames);
    const QJsonObject fonts{
        {QStringLiteral("sources"), QJsonArray{m_profile->schemeHandler()->fontUrl().toString(QUrl::FullyEncoded)}},
        {QStringLiteral("defaults"),
         QJsonObject{{QStringLiteral("sans"), regular},
                     {QStringLiteral("serif"), regular},
                     {QStringLiteral("typewriter"), QJsonArray::fromStringList(font.monospaceNames)}}},
    };
    return QString::fromUtf8(QJsonDocument(fonts).toJson(QJsonDocument::Compact));
}

QString FlashPlayer::scaleValue() const
{
    switch (m_scaleMode) {
    case NoBorder:
        return QStringLiteral("\"noBorder\"");
    case ExactFit:
        return QStringLiteral("\"exactFit\"");
    case NoScale:
        return QStringLiteral("\"noScale\"");
    default:
        return QStringLiteral("\"showAll\"");
    }
}

void FlashPlayer::setMovie(const QString &path, const MovieSite &site)
{
    m_movie = path;
    m_site = site;
    m_playing = true;
    ++m_loadId;
    m_movieUrl = QUrl();
    m_movieColour.clear();
    m_failure.clear();
    if (m_profile) {
        const QUrl url = m_profile->schemeHandler()->urlForFile(path);
        const auto resource = url.isEmpty() ? std::nullopt : m_profile->schemeHandler()->resolve(url);
        // Ruffle shows an error panel for anything that is not a movie; such files are never handed to it.
        if (resource && fileHasSwfSignature(resource->filePath)) {
            m_movieUrl = url;
            // Ruffle tells only of a colour it finds early in the movie; the page falls back on this one.
            if (const auto colour = readSwfBackgroundColour(resource->filePath))
                m_movieColour = QColor::fromRgb(QRgb(*colour)).name();
        } else if (!path.isEmpty() && !QFileInfo::exists(path)) {
            qCDebug(lcPlayer).noquote() << "No movie at" << path << "- the player shows its background";
        } else if (resource) {
            qCWarning(lcPlayer).noquote() << "Movie refused:" << path << "is not a Flash movie";
            fail(QStringLiteral("notmovie"));
        } else if (!path.isEmpty()) {
            qCWarning(lcPlayer).noquote() << "Movie refused:" << path << "is not one the player may show";
        }
    }
    m_movieChanged = true;
    m_commands.clear(); // they were meant for the movie that goes
    scheduleFlush();
    emit movieChanged(path);
    updateInFront();
}

// Says why the current movie cannot play: in the player area (the page shows m_failure) and to the program,
// after the call that found out has returned.
void FlashPlayer::fail(const QString &kind)
{
    if (kind == QLatin1String("notmovie"))
        m_failure = tr("This file is not a Flash movie.");
    else if (kind == QLatin1String("invalid"))
        m_failure = tr("This movie is damaged and cannot be played.");
    else if (kind == QLatin1String("unreadable"))
        m_failure = tr("This movie could not be read.");
    else if (kind == QLatin1String("3d"))
        m_failure = tr("This game needs 3D graphics, which the player cannot show with the current graphics settings.");
    else if (kind == QLatin1String("draw"))
        m_failure = tr("This game draws in a way the player cannot show with the current graphics settings.");
    else if (kind == QLatin1String("page"))
        m_failure = tr("This game needs the web page it was made for, and stopped without it.");
    else if (kind == QLatin1String("engine"))
        m_failure = tr("The player could not start.");
    else
        m_failure = tr("This movie stopped with an error.");
    updateInFront();
    const int loadId = m_loadId;
    const QString reason = m_failure;
    QMetaObject::invokeMethod(
        this,
        [this, loadId, reason] {
            if (loadId == m_loadId)
                emit movieFailed(reason);
        },
        Qt::QueuedConnection);
}

void FlashPlayer::setPlaying(bool playing)
{
    m_playing = playing;
    command(QStringLiteral("qb.setPlaying(%1);").arg(playing ? QStringLiteral("true") : QStringLiteral("false")));
    updateInFront();
}

void FlashPlayer::Forward()
{
    m_playing = false;
    command(QStringLiteral("qb.forward();"));
    updateInFront();
}

void FlashPlayer::Rewind()
{
    m_playing = false;
    command(QStringLiteral("qb.rewind();"));
    updateInFront();
}

void FlashPlayer::updateInFront()
{
    watchWindow();
    const bool inFront =
        m_playing && !m_movieUrl.isEmpty() && m_failure.isEmpty() && isVisible() && !window()->isMinimized();
    if (inFront == m_inFront)
        return;
    m_inFront = inFront;
    emit inFrontChanged(inFront);
}

void FlashPlayer::watchWindow()
{
    // The player moves between the main window and the full-screen one: the window it is in now is followed.
    QWidget *current = window();
    if (current == m_watchedWindow || current == this)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = current;
    current->installEventFilter(this);
}

bool FlashPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::WindowStateChange)
        updateInFront();
    return QWidget::eventFilter(watched, event);
}

void FlashPlayer::setBGColor(const QString &rrggbb)
{
    const QString name = rrggbb.startsWith(QLatin1Char('#')) ? rrggbb : QLatin1Char('#') + rrggbb;
    const QColor colour = QColor::fromString(name);
    if (!colour.isValid() || name.size() != 7 || colour == m_background)
        return;
    m_background = colour;
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
    if (m_view)
        m_view->page()->setBackgroundColor(colour);
    scheduleFlush();
}

void FlashPlayer::setMenu(bool on)
{
    if (on == m_menu)
        return;
    m_menu = on;
    scheduleFlush();
}

void FlashPlayer::setScaleMode(int mode)
{
    if (mode < ShowAll || mode > NoScale || mode == m_scaleMode)
        return;
    m_scaleMode = mode;
    scheduleFlush();
}

void FlashPlayer::focusGame()
{
    // Qt's focus goes to the view at once (or when it exists), so that a later click elsewhere still takes it
    // away; inside the page, Ruffle's element gets it once the page can hear it.
    if (m_view && isVisible())
        m_view->setFocus(Qt::OtherFocusReason);
    else
        m_focusOnShow = true;
    m_pageFocusWanted = true;
    scheduleFlush();
}

void FlashPlayer::setVolume(int percent)
{
    m_volume = qBound(0, percent, 100);
    scheduleFlush();
}

void FlashPlayer::setMuted(bool muted)
{
    m_muted = muted;
    scheduleFlush();
}

void FlashPlayer::setQuality(const QString &quality)
{
    if (!kQualities.contains(quality))
        return;
    m_quality = quality;
    scheduleFlush();
}

// The page goes to full screen for its movie only when the program shows the player full screen for it, which
// it does at once, while it is told (by moving the player into a full-screen window, or leaving it in one).
void FlashPlayer::pageFullScreenRequested(QWebEngineFullScreenRequest request)
{
    if (!request.toggleOn()) {
        request.accept();
        const bool quietly = m_leavingQuietly;
        m_leavingQuietly = false;
        if (!m_pageFullScreen)
            return;
        m_pageFullScreen = false;
        m_fullScreenWindow = nullptr;
        if (!quietly)
            emit fullScreenRequested(false);
        return;
    }
    if (m_pageFullScreen) {
        request.accept();
        return;
    }
    QWidget *before = window();
    emit fullScreenRequested(true);
    const bool shownFull =
        window() != before || (window()->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized));
    if (!shownFull) {
        request.reject(); // the movie learns that it stays in its window
        return;
    }
    request.accept();
    m_pageFullScreen = true;
    m_fullScreenWindow = window();
}

void FlashPlayer::leavePageFullScreen()
{
    if (!m_pageFullScreen || !m_view)
        return;
    m_leavingQuietly = true;
    m_view->page()->triggerAction(QWebEnginePage::ExitFullScreen);
}

bool FlashPlayer::event(QEvent *event)
{
    // The program took the player out of the full-screen window (or hid it there): the page leaves full
    // screen too, so that the movie knows and may ask again. Checked once the move is over.
    if (m_pageFullScreen && (event->type() == QEvent::ParentChange || event->type() == QEvent::Hide)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_pageFullScreen && (window() != m_fullScreenWindow || !window()->isVisible()))
                    leavePageFullScreen();
            },
            Qt::QueuedConnection);
    }
    const bool handled = QWidget::event(event);
    // Hidden and shown with its panel or window too: Qt tells each visible child.
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::ParentChange ||
        event->type() == QEvent::WindowStateChange)
        updateInFront();
    return handled;
}
