#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

class PlayerProfile;
class QWebEngineView;

// The Flash player control of the game box: Ruffle in a web view, with the control's members.
// A player that was never shown has no page and no renderer; it keeps its settings until it is.
class FlashPlayer : public QWidget
{
    Q_OBJECT

public:
    // Scale modes as the control numbers them.
    enum ScaleMode
    {
        ShowAll = 0,
        NoBorder = 1,
        ExactFit = 2,
        NoScale = 3,
    };

    explicit FlashPlayer(PlayerProfile *profile, QWidget *parent = nullptr);
    ~FlashPlayer() override;

    // Loads the movie at once in place of the current one, playing and looping. A path that names no
    // movie the player may show (missing, not a movie, a folder, outside the library) leaves only the
    // background, without any message.
    void setMovie(const QString &path);
    QString movie() const { return m_movie; }

    // True plays on from the current frame, false stops there.
    void setPlaying(bool playing);
    bool isPlaying() const { return m_playing; }

    // Next frame, stopped; first frame, stopped.
    void Forward();
    void Rewind();

    // "RRGGBB": the colour wherever no movie is drawn; it also replaces the movie's own background.
    void setBGColor(const QString &rrggbb);
    // False: a right click of the user shows no menu at all.
    void setMenu(bool on);
    // One of ScaleMode; ShowAll unless set.
    void setScaleMode(int mode);

    // How Ruffle draws ("webgl" or "canvas"); empty until a movie was drawn.
    QString renderer() const { return m_renderer; }

    // The web view; null while the player has never been shown.
    QWebEngineView *view() const { return m_view; }

signals:
    // The current movie's first frame was painted.
    void movieStarted();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void releasePage();
    void createView();
    void pageLoaded(bool ok);
    void rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    void pageEvent(const QString &event);
    void scheduleFlush();
    void flush();
    void command(const QString &script);
    QString backgroundValue() const;
    QString scaleValue() const;

    QPointer<PlayerProfile> m_profile;
    QWebEngineView *m_view = nullptr;
    bool m_pageReady = false;
    bool m_released = false;
    // Changes not sent to the page yet.
    bool m_flushScheduled = false;
    bool m_movieChanged = false;
    QString m_sentSettings;
    QStringList m_commands;

    QString m_renderer; // "webgl" or "canvas", once a movie was drawn
    QString m_movie;
    QUrl m_movieUrl; // empty when the movie cannot be shown
    int m_loadId = 0;
    bool m_playing = true;
    QColor m_background; // invalid until set: the movie's own colour
    bool m_menu = true;
    int m_scaleMode = ShowAll;
};
