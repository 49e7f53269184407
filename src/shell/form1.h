#pragma once

#include "base/portal/gameacquisition.h"
#include "library/gameadder.h"
#include "player/flashplayer.h"
#include "shell/appsession.h"
#include "shell/skin.h"
#include "widgets/messagebox.h"

#include <QDir>
#include <QMainWindow>

#include <memory>
#include <optional>

class DownloadPanel;
class FlashPlayer;
class FullScreenSwitch;
class Library;
class LibraryPanel;
class PictureButton;
class PlayerControls;
class PlayerPanel;
class PortalPane;
class QAction;
class QTimer;
class Startup;
class WebBrowser;

// The main window: banner, logo, the portal's two browsers and the four panes that share one place (portal,
// library, player, download). It shows what the session's flows (start-up, game acquisition) bring and hands
// them the user's actions; it builds no service of its own.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    // The panes that share the main area; exactly one is shown.
    enum class Pane
    {
        Portal,
        Library,
        Player,
        Download
    };

    // The window owns session, and goes before it: its views were made with the session's web profiles.
    explicit Form1(std::unique_ptr<AppSession> session, QWidget *parent = nullptr);
    ~Form1() override;

    // The start-up sequence; ends with the window shown (startupFinished) or the program ended (ended).
    void Form_Load();

    // Portal
    void Web_V1_NewWindow(const QUrl &url);
    void Web_V2_NewWindow(const QUrl &url);
    // Library
    void b_local_Click();
    void game_list_DblClick();
    // The user's own movies: files and folders chosen, or dropped on the window.
    void addGames(const QStringList &paths) { m_adder->add(paths); }
    // Player; row is the game's library row, when it is recorded.
    void show_player(const QString &moviePath, const QString &fileName, std::optional<qint64> row = std::nullopt,
                     const MovieSite &site = {});
    // Where the recorded game's movie came from, for the files it loads beside it.
    MovieSite siteOf(qint64 id) const;
    // Plays the recorded game with this row id in the player pane, or says why it cannot.
    void playGame(qint64 id);
    void m_fullscreen_Click();
    void b_full_Click() { m_fullscreen_Click(); }
    void Picture1_Click();

    Pane currentPane() const { return m_pane; }
    bool isDownloading() const { return m_acquisition->isDownloading(); }
    // The window was closed: the program is on its way out.
    bool isClosing() const { return exit_flag; }
    // The movie file name that full screen plays: the game shown last.
    QString loadedMovieName() const { return loadflash_name; }

    // Texts the user sees
    static QString networkMessage() { return tr("You can't use this software without network!"); }
    static QString noGameMessage() { return tr("This game doesn't exsit."); }
    static QString noFileMessage() { return tr("The file doesn't exsit."); }
    static QString noGamesMessage() { return tr("No games, please click Left menu to choose a game type."); }

signals:
    void startupFinished();
    // The program ends at once: the application quits without running any close handler.
    void ended();
    // The download of a game ended; completed tells whether the game was installed.
    void downloadFinished(bool completed);
    void gameRecorded(const QString &gameId);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void applyStartupLayout();
    void showPane(Pane pane);
    void finishStartup();
    void refuseStartup();
    void showDownload(const GameDetails &game);
    void onAcquisitionFinished(const AcquisitionResult &result);
    void leaveFullScreen();
    void movieAskedForFullScreen(bool on);
    void tell(MessageBox::Icon icon, const QString &text);
    void refocusGame();
    void gamesAdded(int recorded);
    void Timer1_Timer();
    void endProgram();
    // A delivered, read-only file.
    QString appPath(const QString &relative) const { return QDir(m_config.appFolder).filePath(relative); }

    // A child of the window, made before its controls: it goes after the members below, so the windows and views
    // go before the web profiles they were made with, and before the children made after it.
    AppSession *m_session;
    const AppConfig &m_config;
    Library *m_library;
    MessageBox *m_messages;
    Startup *m_startup;
    GameAcquisition *m_acquisition;
    GameAdder *m_adder = nullptr;
    PlayerControls *m_controls = nullptr;
    Skin skin;

    std::unique_ptr<QWidget> m_client;              // the central widget, holding every control below
    std::unique_ptr<FullScreenSwitch> m_fullScreen; // the full-screen window, made at start-up

    // Controls
    FlashPlayer *gg_movie = nullptr;
    PictureButton *Picture1 = nullptr;
    WebBrowser *left_web = nullptr;
    PortalPane *main_main = nullptr;
    WebBrowser *main_web = nullptr;
    LibraryPanel *game_main = nullptr;
    PlayerPanel *flash_main = nullptr;
    FlashPlayer *flash = nullptr;
    DownloadPanel *download_main = nullptr;
    FlashPlayer *gg_download = nullptr;
    QAction *m_fullscreen = nullptr;
    QTimer *Timer1 = nullptr;

    // State
    Pane m_pane = Pane::Portal;
    QUrl web_path;
    QString loadflash_name;
    bool exit_flag = false;
    bool m_ended = false;
};
