#include "shell/form1.h"

#include "base/library/library.h"
#include "base/logging.h"
#include "base/portal/gameacquisition.h"
#include "base/shell/startup.h"
#include "library/gameadder.h"
#include "library/librarypanel.h"
#include "library/pictureloader.h"
#include "player/flashplayer.h"
#include "player/playerpanel.h"
#include "player/playerprofile.h"
#include "portal/downloadlist.h"
#include "portal/downloadpanel.h"
#include "portal/portalpane.h"
#include "portal/webbrowser.h"
#include "shell/fullscreenswitch.h"
#include "shell/playercontrols.h"
#include "widgets/picturebutton.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

Form1::Form1(std::unique_ptr<AppSession> session, QWidget *parent)
    : QMainWindow(parent), m_session(session.release()), m_config(m_session->config()), m_library(m_session->library()),
      m_messages(m_session->messages()), m_startup(m_session->startup()), m_acquisition(m_session->acquisition())
{
    m_session->setParent(this);
    buildControls();
    connect(m_startup, &Startup::finished, this, &Form1::finishStartup);
    connect(m_startup, &Startup::refused, this, &Form1::refuseStartup);
    connect(m_acquisition, &GameAcquisition::detailsArrived, this, &Form1::showDownload);
    connect(m_acquisition, &GameAcquisition::progress, download_main, &DownloadPanel::showProgress);
    connect(m_acquisition, &GameAcquisition::pictureArrived, this, [this](const GameDetails &, const QString &path) {
        download_main->showPicture(PictureLoader::loadFile(path, download_main->pictureSize()));
    });
    connect(m_acquisition, &GameAcquisition::movieArrived, this, [this](const GameDetails &game, const QString &path) {
        const std::optional<GameRecord> row = m_library->gameWithServerId(game.gameId);
        // Its row may still be on its way: the files its movie loads are kept under the server's id until it comes.
        MovieSite site = siteOf(row ? row->id : 0);
        if (!row)
            site = MovieSite{0, game.gameId, QUrl(game.movieUrl)};
        show_player(path, game.movieFile, row ? std::optional(row->id) : std::nullopt, site);
    });
    connect(m_acquisition, &GameAcquisition::finished, this, &Form1::onAcquisitionFinished);
}

// The members' order does the work: the full-screen window, the views, then the window's children, the session
// and its profiles first.
Form1::~Form1() = default;

void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("10000+ Free Online Quillabrix Games "));
    setWindowIcon(QIcon(appPath(QStringLiteral("images/icon.png"))));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    m_client = std::make_unique<QWidget>();
    QWidget *client = m_client.get();
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    client->setPalette(pal);
    client->setFixedSize(twips::toPixels(14865), twips::toPixels(9300)); // the client area, in twips
    setCentralWidget(client);

    // A menu of its own for how the game is shown (F6): one without a name was an empty box to click.
    QMenu *mfullscreen = menuBar()->addMenu(tr("&View"));
    mfullscreen->setObjectName(QStringLiteral("mfullscreen"));
    m_fullscreen = mfullscreen->addAction(tr("Fullscreen"), this, &Form1::m_fullscreen_Click);
    m_fullscreen->setObjectName(QStringLiteral("m_fullscreen"));
    m_fullscreen->setShortcut(QKeySequence(Qt::Key_F6));
    m_fullscreen->setShortcutContext(Qt::WindowShortcut);

    PlayerProfile *playerProfile = m_session->playerProfile();
    gg_movie = new FlashPlayer(playerProfile, client);
    gg_movie->setObjectName(QStringLiteral("gg_movie"));
    twips::place(gg_movie, 0, 0, 14895, 1095);

    Picture1 = new PictureButton(QStringLiteral("Picture1"), appPath(QStringLiteral("images/logo.png")),
                                 tr("Clik to vist official website"), client);
    twips::place(Picture1, 0, 1180, 2655, 1065);
    connect(Picture1, &PictureButton::clicked, this, &Form1::Picture1_Click);

    left_web = new WebBrowser(m_session->portalProfile(), client);
    left_web->setObjectName(QStringLiteral("left_web"));
    twips::place(left_web, 0, 2260, 2655, 6930);

    main_main = new PortalPane(m_session->portalProfile(), client);
    main_web = main_main->main_web;

    game_main = new LibraryPanel(m_library, m_messages, appPath(QStringLiteral("no.gif")), client);
    game_main->hide();
    connect(game_main, &LibraryPanel::playRequested, this, &Form1::game_list_DblClick);

    flash_main = new PlayerPanel(playerProfile, appPath(QStringLiteral("images")), client);
    flash_main->hide();
    flash = flash_main->flash;
    connect(flash_main, &PlayerPanel::fullScreenClicked, this, &Form1::b_full_Click);
    connect(flash_main, &PlayerPanel::localClicked, this, &Form1::b_local_Click);
    connect(flash, &FlashPlayer::fullScreenRequested, this, &Form1::movieAskedForFullScreen);
    m_session->attachWindow(this, flash, flash_main);
    m_adder = m_session->adder();
    m_controls = m_session->playerControls();
    connect(m_adder, &GameAdder::finished, this, &Form1::gamesAdded);
    connect(game_main, &LibraryPanel::addRequested, m_adder, &GameAdder::chooseFiles);
    m_adder->addMenu(menuBar());
    m_controls->addMenus(menuBar());
    game_main->setSaves(playerProfile->saves());
    game_main->addMenus(menuBar());

    download_main = new DownloadPanel(client);
    download_main->hide();
    auto *downloads = new DownloadList(m_acquisition, download_main, this);
    downloads->addMenu(menuBar());
    connect(downloads, &DownloadList::playRequested, this, [this](const QString &gameId) {
        if (const std::optional<GameRecord> row = m_library->gameWithServerId(gameId))
            playGame(row->id);
    });

    gg_download = new FlashPlayer(playerProfile, client);
    gg_download->setObjectName(QStringLiteral("gg_download"));
    twips::place(gg_download, 3240, 7320, 7215, 1065);
    gg_download->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    adjustSize();
    setFixedSize(size());
}

void Form1::applyStartupLayout()
{
    // The panes that share the main area cover it; each places its own controls.
    main_main->placeAt(2710, 1080, 11940, 7965);
    flash_main->placeOver(main_main->geometry());
    download_main->setGeometry(main_main->geometry());
    game_main->placeOver(main_main->geometry());
}

void Form1::showPane(Pane pane)
{
    m_pane = pane;
    main_main->setVisible(pane == Pane::Portal);
    game_main->setVisible(pane == Pane::Library);
    flash->setVisible(pane == Pane::Player);
    flash_main->setVisible(pane == Pane::Player);
    m_controls->setGameShown(pane == Pane::Player);
    download_main->setVisible(pane == Pane::Download);
    gg_download->setVisible(pane == Pane::Download);
    if (pane == Pane::Download)
        gg_download->raise(); // the advertisement lies over the download panel
    else
        m_acquisition->abandon(); // a movie still coming in is recorded when it arrives, but no longer played

    // Only a pane with a game to play offers full screen; the library leaves the entry as it was.
    if (pane != Pane::Library)
        m_fullscreen->setEnabled(pane != Pane::Portal);
}

void Form1::Form_Load()
{
    m_fullScreen = std::make_unique<FullScreenSwitch>(this, flash_main);
    m_fullScreen->load(m_config.appFolder, m_controls->shortcutActions());
    connect(m_fullScreen.get(), &FullScreenSwitch::left, this, &Form1::leaveFullScreen);

    m_library->makeFolders();
    hide();
    web_path = m_config.serverUrl;
    connect(left_web, &WebBrowser::DocumentComplete, m_startup, &Startup::leftPageLoaded);
    main_web->Navigate2(QUrl::fromLocalFile(appPath(QStringLiteral("html/main.html"))));
    left_web->Navigate2(web_path.resolved(QUrl(QStringLiteral("left.htm"))));
    main_web->Navigate2(web_path.resolved(QUrl(QStringLiteral("main.htm"))));
    skin.selectTheme(4);
    skin.setColourScheme(4);
    skin.apply();
    flash->setMovie(appPath(QStringLiteral("nogame.swf")));
    applyStartupLayout();
    flash->setBGColor(QStringLiteral("000000"));
    flash->setMenu(false);
    flash->setScaleMode(2);
    m_fullscreen->setEnabled(false);
    connect(left_web, &WebBrowser::NewWindow, this, &Form1::Web_V1_NewWindow);
    connect(main_web, &WebBrowser::NewWindow, this, &Form1::Web_V2_NewWindow);
    m_startup->start();
}

void Form1::refuseStartup()
{
    m_messages->show(MessageBox::Icon::Critical, networkMessage());
    endProgram();
}

void Form1::finishStartup()
{
    gg_movie->setMovie(m_startup->advertisementPath(m_startup->answer().gg_1));
    gg_download->setMovie(m_startup->advertisementPath(m_startup->answer().gg_2));
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    show();
    m_acquisition->restoreQueue(); // the games the last run did not finish
    emit startupFinished();
}

void Form1::Web_V1_NewWindow(const QUrl &url)
{
    if (url.toString(QUrl::FullyEncoded).contains(QLatin1String("localgame.htm"))) {
        b_local_Click();
        return;
    }
    main_web->Navigate(url);
    flash->setMovie(appPath(QStringLiteral("nogame.swf")));
    showPane(Pane::Portal);
}

void Form1::Web_V2_NewWindow(const QUrl &url)
{
    m_acquisition->fetchDetails(url);
}

void Form1::showDownload(const GameDetails &game)
{
    flash_main->b_play->hide();
    download_main->showGame(game);
    showPane(Pane::Download);
    flash_main->preparePlayer(); // ready when the movie is
    loadflash_name = game.movieFile;
}

void Form1::onAcquisitionFinished(const AcquisitionResult &result)
{
    switch (result.status) {
    case AcquisitionResult::Status::NoGame: // told of the game waited for; the others are in the log
        if (result.waitedFor)
            tell(MessageBox::Icon::Critical, noGameMessage());
        return;
    case AcquisitionResult::Status::IdInUse:
        if (result.waitedFor)
            tell(MessageBox::Icon::Warning, GameAcquisition::idInUseMessage(result.heldBy));
        return;
    case AcquisitionResult::Status::Failed: // a game the panel does not show tells it in the downloads list
        if (result.onPanel)
            download_main->showFailure();
        emit downloadFinished(false);
        return;
    case AcquisitionResult::Status::Installed:
        if (const auto row = m_library->gameWithServerId(result.game.gameId); row && result.waitedFor) {
            m_library->countPlay(row->id);
            // A game recorded only now keeps the quality chosen for it from here on.
            if (!m_controls->game() && m_pane == Pane::Player && loadflash_name == result.game.movieFile)
                m_controls->setGame(row->id);
        }
        emit downloadFinished(true);
        emit gameRecorded(result.game.gameId);
        return;
    }
}

void Form1::b_local_Click()
{
    const std::optional<qint64> count = game_main->gameCount();
    if (!count || *count == 0) {
        tell(MessageBox::Icon::Warning, noGamesMessage());
        return;
    }
    showPane(Pane::Library);
    flash->setMovie(appPath(QStringLiteral("noswf.wsf")));
    game_main->reload();
    flash_main->preparePlayer(); // a game is likely to be played from here
}

void Form1::game_list_DblClick()
{
    if (const std::optional<qint64> id = game_main->currentGameId())
        playGame(*id);
}

void Form1::playGame(qint64 id)
{
    const GamePlay play = m_library->play(id);
    if (play.status == GamePlay::Status::MovieMissing)
        tell(MessageBox::Icon::Critical, noFileMessage());
    else if (play.status == GamePlay::Status::Ready)
        show_player(play.moviePath, play.game.movieFile, play.game.id, siteOf(play.game.id));
}

void Form1::gamesAdded(int recorded)
{
    // The library shows what came in, newest first; after a message about refused files the game plays on.
    if (recorded > 0 && !exit_flag)
        b_local_Click();
    else
        refocusGame();
}

MovieSite Form1::siteOf(qint64 id) const
{
    if (id <= 0)
        return {};
    const QUrl origin(m_library->store().gameOrigin(id).value_or(QString()));
    const bool web = origin.scheme() == QLatin1String("http") || origin.scheme() == QLatin1String("https");
    return MovieSite{id, QString(), web ? origin : QUrl()};
}

void Form1::show_player(const QString &moviePath, const QString &fileName, std::optional<qint64> row,
                        const MovieSite &site)
{
    m_controls->setGame(row, moviePath);
    flash->setMovie(moviePath, site);
    loadflash_name = fileName;
    showPane(Pane::Player);
    flash->focusGame();
}

void Form1::m_fullscreen_Click()
{
    if (!m_fullScreen)
        return; // not loaded yet
    // The game goes on where it is: its player moves into the full-screen window and back, never reloaded.
    // Only a player without the game (the library or download is shown) starts it.
    // With no game yet the player is asked for the flash folder itself, and shows nothing.
    const LibraryFolders &folders = m_library->folders();
    const QString game =
        loadflash_name.isEmpty() ? folders.movieFolder() + QLatin1Char('/') : folders.moviePath(loadflash_name);
    if (flash->movie() != game)
        flash->setMovie(game, m_controls->game() ? siteOf(*m_controls->game()) : MovieSite());
    m_fullScreen->enter();
    m_fullscreen->setEnabled(false);
}

// One switch for each time the movie's wish changes: a movie asking every frame finds it granted already.
void Form1::movieAskedForFullScreen(bool on)
{
    if (!m_fullScreen)
        return; // not loaded yet
    if (on && !m_fullScreen->isOn() && m_pane == Pane::Player && m_fullscreen->isEnabled())
        m_fullscreen_Click();
    else if (!on)
        m_fullScreen->leave();
}

void Form1::tell(MessageBox::Icon icon, const QString &text)
{
    m_messages->show(icon, text, this);
    refocusGame();
}

// A box or dialog closed over the game: the keys go back to it.
void Form1::refocusGame()
{
    if (m_pane == Pane::Player && isVisible())
        flash->focusGame();
}

void Form1::leaveFullScreen()
{
    m_fullscreen->setEnabled(true);
    if (m_pane == Pane::Player)
        flash->focusGame();
}

void Form1::Picture1_Click()
{
    if (!m_session->opener()->open(m_config.siteUrl))
        qCWarning(lcShell).noquote() << "Cannot open" << loggableUrl(m_config.siteUrl);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_fullScreen)
        m_fullScreen->release();
    hide();
    exit_flag = true;
    // A game playing is kept without its picture; a transfer running stops to resume at the next start.
    m_acquisition->recordWaitingGames();
    if (m_acquisition->suspend())
        Timer1->start();
    event->accept();
}

void Form1::Timer1_Timer()
{
    if (!exit_flag)
        return;
    skin.release();
    endProgram();
}

void Form1::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    Timer1->stop();
    emit ended();
}
