#pragma once

#include "appconfig.h"
#include "skin.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>

class DownloadPanel;
struct DownloadResult;
class FlashPlayer;
class Form2;
class GameStore;
class LibraryPanel;
class MessageBox;
class MovieDownload;
class PictureButton;
class PictureLoader;
class PlayerPanel;
class PlayerProfile;
class QAction;
class QFrame;
class QNetworkAccessManager;
class QTimer;
class QWebEngineProfile;
class ServerFetch;
class UrlOpener;
class WebBrowser;

// The main window: banner, logo, the portal's two browsers and the four stacked panels (portal, library,
// player, download). Its handlers carry every road of the program.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    Form1(const AppConfig &config, QNetworkAccessManager *network, MessageBox *messages, UrlOpener *opener,
          QWidget *parent = nullptr);
    ~Form1() override;

    // The start-up sequence; ends with the window shown (startupFinished) or the program ended (ended).
    void Form_Load();

    // Portal
    void Web_V1_NewWindow(const QUrl &url);
    void Web_V2_NewWindow(const QUrl &url);
    void start_download(const QString &url);
    // Library
    void b_local_Click();
    void game_list_DblClick();
    void Game_Play_Click() { game_list_DblClick(); }
    // Player
    void show_player(const QString &moviePath, const QString &fileName);
    void m_fullscreen_Click();
    void b_full_Click() { m_fullscreen_Click(); }
    void Picture1_Click();

    bool isDownloading() const;

    // Main window state
    QUrl web_path;
    QString gg_1;
    std::optional<qint64> gg_size1;
    QString gg_2;
    std::optional<qint64> gg_size2;
    QString gg_2_url;
    QString game_id, game_name, game_dec, game_pic, dl_file, strName, strpic, save_path, save_path2;
    QString loadflash_name;
    bool exit_flag = false;

    // Controls
    FlashPlayer *gg_movie;
    PictureButton *Picture1;
    WebBrowser *left_web;
    QFrame *main_main;
    WebBrowser *main_web;
    LibraryPanel *game_main;
    PlayerPanel *flash_main;
    FlashPlayer *flash;
    DownloadPanel *download_main;
    FlashPlayer *gg_download;
    QAction *m_fullscreen;
    QTimer *Timer1;
    Form2 *form2() const { return m_form2; }
    GameStore *store() const { return m_store; }

    // Texts the user sees
    static QString networkMessage() { return QStringLiteral("You can't use this software without network!"); }
    static QString noGameMessage() { return QStringLiteral("This game doesn't exsit."); }
    static QString noFileMessage() { return QStringLiteral("The file doesn't exsit."); }
    static QString noGamesMessage()
    {
        return QStringLiteral("No games, please click Left menu to choose a game type.");
    }

signals:
    void startupFinished();
    // The program ends at once: the application quits without running any close handler.
    void ended();
    // The download of a game ended; recorded tells whether the library now holds it.
    void downloadFinished(bool completed);
    void gameRecorded(const QString &gameid);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct GameFields
    {
        QString game_id, game_name, game_dec, game_pic, strName, strpic, save_path, save_path2;
    };

    void buildControls();
    void applyStartupLayout();
    void onStartupAnswer(const QString &answer);
    void fetchAdvertisement(const QString &url, std::optional<qint64> announced, std::function<void()> next);
    void waitForLeftPage(std::function<void()> next);
    void finishStartup();
    void onGameDetails(const std::optional<QByteArray> &body);
    void onDownloadFinished(MovieDownload *job, const DownloadResult &result, const GameFields &game);
    void recordGame(const GameFields &game);
    void leaveFullScreen();
    void Timer1_Timer();
    void endProgram();

    QString appPath(const QString &relative) const;
    QString advertisementPath(const QString &url) const;

    AppConfig m_config;
    QNetworkAccessManager *m_network;
    MessageBox *m_messages;
    UrlOpener *m_opener;
    Skin skin;

    QWebEngineProfile *m_portalProfile = nullptr;
    PlayerProfile *m_playerProfile = nullptr;
    ServerFetch *m_fetch = nullptr;
    GameStore *m_store = nullptr;
    PictureLoader *m_pictures = nullptr;
    Form2 *m_form2 = nullptr;
    QPointer<MovieDownload> m_download;
    bool m_ended = false;
};
