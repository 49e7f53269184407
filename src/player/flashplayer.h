#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWidget>

class PlayerProfile;
class QWebEngineView;

// Where a game's movie comes from, for the files it loads beside it while it runs.
struct MovieSite
{
    qint64 game = 0;      // the library row whose kept files the movie's requests reach
    QString serverGameId; // without a row yet (a game still coming in): the server's id of the game
    QUrl address;         // the movie's address on its server, which it sees as its own; empty: its file's address
    bool keepsFiles() const { return game > 0 || !serverGameId.isEmpty(); }
};

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

    // Loads the movie at once in place of the current one, playing and looping. A path that names no movie
    // (missing, a folder, empty) or one the player may not show (outside the library) leaves only the
    // background, without any message: the program blanks the player that way. A file that is there but
    // cannot be played says why in the player area (movieFailed).
    void setMovie(const QString &path, const MovieSite &site = {});
    const MovieSite &site() const { return m_site; }
    QString movie() const { return m_movie; }

    // True plays on from the current frame, false stops there.
    void setPlaying(bool playing);
    bool isPlaying() const { return m_playing; }

    // Next frame, stopped; first frame, stopped.
    void Forward();
    void Rewind();

    // "RRGGBB": the colour wherever no movie is: where no movie plays and around the stage of a movie shown
    // whole (ShowAll). A movie's own colour fills its stage; one that names none plays on white, as its
    // author saw it.
    void setBGColor(const QString &rrggbb);
    // False: a right click of the user shows no menu at all.
    void setMenu(bool on);
    // One of ScaleMode; ShowAll unless set.
    void setScaleMode(int mode);

    // Gives the movie the keyboard focus now, or as soon as it is shown and loaded: the next key the user
    // types reaches the game.
    void focusGame();
    // 0..100 (clamped), applied to the current movie and every later one; muted keeps the volume.
    void setVolume(int percent);
    int volume() const { return m_volume; }
    void setMuted(bool muted);
    bool isMuted() const { return m_muted; }
    // "low", "medium", "high" or "best"; anything else is ignored. Low, medium and high apply to the running
    // movie at once (unless it hides its menu), best from the next start of a movie; every later movie starts
    // with the quality set.
    void setQuality(const QString &quality);
    QString quality() const { return m_quality; }

    // How Ruffle draws ("webgl" or "canvas"); empty until a movie was drawn.
    QString renderer() const { return m_renderer; }

    // Whether the movie runs where the user sees it: one is loaded and has not failed, it is not stopped, the
    // player is shown (in its panel or full screen) and its window is not minimised. What play time counts.
    bool isInFront() const { return m_inFront; }

    // The web view; null while the player has never been shown.
    QWebEngineView *view() const { return m_view; }

signals:
    // The current movie's first frame was painted.
    void movieStarted();
    // The movie asked to enter (true) or leave (false) full screen (stage.displayState). At most one per user
    // action: a movie that asks every frame does not make it fire again and again. To grant an entry the
    // receiver shows the player full screen before it returns (moves it into another window, or leaves it in a
    // maximized or full-screen one); otherwise the movie learns that it stays where it is. Taking the player
    // out of that window later tells the movie that it left full screen.
    void fullScreenRequested(bool on);
    // The movie cannot be played; reason is a short translated text also shown in the player area.
    void movieFailed(const QString &reason);
    // setMovie was called: path is the movie now in the player.
    void movieChanged(const QString &path);
    // isInFront() changed.
    void inFrontChanged(bool inFront);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void releasePage();
    void createView();
    void pageLoaded(bool ok);
    void rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    void reloadPage();
    void pageEvent(const QString &event);
    void pageFullScreenRequested(QWebEngineFullScreenRequest request);
    void leavePageFullScreen();
    void fail(const QString &kind);
    void scheduleFlush();
    void flush();
    void command(const QString &script);
    void updateInFront();
    void watchWindow();
    QString siteValue() const;
    QString backgroundValue() const;
    QString scaleValue() const;
    QString fontsValue() const;

    QPointer<PlayerProfile> m_profile;
    QWebEngineView *m_view = nullptr;
    bool m_pageReady = false;
    bool m_released = false;
    // Changes not sent to the page yet.
    bool m_flushScheduled = false;
    bool m_movieChanged = false;
    QString m_sentSettings;
    QStringList m_commands;
    bool m_focusOnShow = false;     // Qt's focus, for the view still to come
    bool m_pageFocusWanted = false; // the page's focus, for Ruffle's element

    QString m_renderer; // "webgl" or "canvas", once a movie was drawn
    QString m_movie;
    MovieSite m_site;
    QUrl m_movieUrl;       // empty when the movie cannot be shown
    QString m_movieColour; // "#rrggbb" the movie's first frame names for its stage; empty if none
    QString m_failure;     // why the current movie cannot play, when it cannot
    int m_loadId = 0;
    bool m_playing = true;
    QColor m_background; // invalid until set: white
    bool m_menu = true;
    int m_scaleMode = ShowAll;
    int m_volume = 100;
    bool m_muted = false;
    QString m_quality = QStringLiteral("high");

    // The page is in full screen for its movie, in that window (where the program put the player).
    bool m_pageFullScreen = false;
    QPointer<QWidget> m_fullScreenWindow;
    bool m_leavingQuietly = false; // the page leaves because its window did, not because the movie asked

    bool m_inFront = false;
    QPointer<QWidget> m_watchedWindow; // whose minimising is followed
};
