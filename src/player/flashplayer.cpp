#include "flashplayer.h"

#include "playerprofile.h"
#include "playerschemehandler.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>

Q_LOGGING_CATEGORY(lcPlayer, "quillabrix.player", QtWarningMsg)

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

// Ruffle shows an error panel for anything that is not a movie; such files are never handed to it.
bool looksLikeMovie(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray signature = file.read(3);
    return signature == "FWS" || signature == "CWS" || signature == "ZWS";
}

} // namespace

FlashPlayer::FlashPlayer(PlayerProfile *profile, QWidget *parent) : QWidget(parent), m_profile(profile)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
    if (m_profile)
        m_profile->attach(this);
}

FlashPlayer::~FlashPlayer()
{
    if (m_profile)
        m_profile->detach(this);
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
    layout()->addWidget(m_view);
    page->load(PlayerSchemeHandler::pageUrl());
}

void FlashPlayer::pageLoaded(bool ok)
{
    if (!ok || m_pageReady)
        return;
    m_pageReady = true;
    sendSettings();
    sendMovie();
}

void FlashPlayer::pageEvent(const QString &event)
{
    const int space = event.indexOf(QLatin1Char(' '));
    const QString name = event.left(space);
    const QString detail = space < 0 ? QString() : event.mid(space + 1);
    if (name == QLatin1String("started")) {
        if (detail.toInt() == m_loadId && !m_movieUrl.isEmpty())
            emit movieStarted();
    } else {
        qCDebug(lcPlayer) << "player page:" << event;
    }
}

void FlashPlayer::run(const QString &script)
{
    if (m_pageReady && m_view)
        m_view->page()->runJavaScript(script);
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

void FlashPlayer::sendSettings()
{
    run(QStringLiteral("qb.configure({background: %1, scale: %2, menu: %3});")
            .arg(backgroundValue(), scaleValue(), m_menu ? QStringLiteral("true") : QStringLiteral("false")));
}

void FlashPlayer::sendMovie()
{
    if (m_movieUrl.isEmpty()) {
        run(QStringLiteral("qb.clear(%1);").arg(m_loadId));
        return;
    }
    run(QStringLiteral("qb.load(%1, %2);").arg(jsString(m_movieUrl.toString(QUrl::FullyEncoded))).arg(m_loadId));
    if (!m_playing)
        run(QStringLiteral("qb.setPlaying(false);"));
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
        if (resource && looksLikeMovie(resource->filePath))
            m_movieUrl = url;
    }
    sendMovie();
}

void FlashPlayer::setPlaying(bool playing)
{
    m_playing = playing;
    run(QStringLiteral("qb.setPlaying(%1);").arg(playing ? QStringLiteral("true") : QStringLiteral("false")));
}

void FlashPlayer::Forward()
{
    m_playing = false;
    run(QStringLiteral("qb.forward();"));
}

void FlashPlayer::Rewind()
{
    m_playing = false;
    run(QStringLiteral("qb.rewind();"));
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
    run(QStringLiteral("qb.configure({background: %1});").arg(backgroundValue()));
}

void FlashPlayer::setMenu(bool on)
{
    if (on == m_menu)
        return;
    m_menu = on;
    run(QStringLiteral("qb.configure({menu: %1});").arg(on ? QStringLiteral("true") : QStringLiteral("false")));
}

void FlashPlayer::setScaleMode(int mode)
{
    if (mode < ShowAll || mode > NoScale || mode == m_scaleMode)
        return;
    m_scaleMode = mode;
    run(QStringLiteral("qb.configure({scale: %1});").arg(scaleValue()));
}
