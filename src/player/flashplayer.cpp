#include "player/flashplayer.h"

#include "base/logging.h"
#include "base/swfheader.h"
#include "player/playerprofile.h"
#include "player/playerschemehandler.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
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
        if (level == ErrorMessageLevel)
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
    layout()->addWidget(m_view);
    setFocusProxy(m_view); // keys reach the game once the player has focus
    page->load(PlayerSchemeHandler::pageUrl());
}

void FlashPlayer::rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    qCWarning(lcPlayer) << "The player's renderer ended (status" << status << ", exit code" << exitCode
                        << "); the page is loaded again without the movie";
    // A renderer that died (out of memory, a crash in the movie) leaves a dead view. A fresh page comes
    // back with the settings but without the movie, which could end it again and again.
    m_pageReady = false;
    m_movieUrl = QUrl();
    if (m_view)
        m_view->page()->load(PlayerSchemeHandler::pageUrl());
}

void FlashPlayer::pageLoaded(bool ok)
{
    if (!ok || m_pageReady)
        return;
    m_pageReady = true;
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
        QStringLiteral("{background: %1, scale: %2, menu: %3")
            .arg(backgroundValue(), scaleValue(), m_menu ? QStringLiteral("true") : QStringLiteral("false"));
    if (settings != m_sentSettings) {
        script += QStringLiteral("qb.configure(%1, restart: %2});")
                      .arg(settings, m_movieChanged ? QStringLiteral("false") : QStringLiteral("true"));
        m_sentSettings = settings;
    }
    if (m_movieChanged) {
        script += m_movieUrl.isEmpty() ? QStringLiteral("qb.clear(%1);").arg(m_loadId)
                                       : QStringLiteral("qb.load(%1, %2);")
                                             .arg(jsString(m_movieUrl.toString(QUrl::FullyEncoded)))
                                             .arg(m_loadId);
        m_movieChanged = false;
    }
    script += m_commands.join(QString());
    m_commands.clear();
    if (!script.isEmpty())
        m_view->page()->runJavaScript(script);
}

void FlashPlayer::command(const QString &script)
{
    m_commands << script;
    scheduleFlush();
}

QString FlashPlayer::backgroundValue() const
{
    return m_background.isValid() ? jsString(m_background.name()) : QStringLiteral("null");
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

void FlashPlayer::setMovie(const QString &path)
{
    m_movie = path;
    m_playing = true;
    ++m_loadId;
    m_movieUrl = QUrl();
    if (m_profile) {
        const QUrl url = m_profile->schemeHandler()->urlForFile(path);
        const auto resource = url.isEmpty() ? std::nullopt : m_profile->schemeHandler()->resolve(url);
        // Ruffle shows an error panel for anything that is not a movie; such files are never handed to it.
        if (resource && fileHasSwfSignature(resource->filePath))
            m_movieUrl = url;
        else if (!path.isEmpty() && !QFileInfo::exists(path))
            qCDebug(lcPlayer).noquote() << "No movie at" << path << "- the player shows its background";
        else if (!path.isEmpty())
            qCWarning(lcPlayer).noquote()
                << "Movie refused:" << path << (resource ? "is not a Flash movie" : "is not one the player may show");
    }
    m_movieChanged = true;
    m_commands.clear(); // they were meant for the movie that goes
    scheduleFlush();
}

void FlashPlayer::setPlaying(bool playing)
{
    m_playing = playing;
    command(QStringLiteral("qb.setPlaying(%1);").arg(playing ? QStringLiteral("true") : QStringLiteral("false")));
}

void FlashPlayer::Forward()
{
    m_playing = false;
    command(QStringLiteral("qb.forward();"));
}

void FlashPlayer::Rewind()
{
    m_playing = false;
    command(QStringLiteral("qb.rewind();"));
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
