#include "shell/form1.h"

#include "base/library/gamestore.h"
#include "base/logging.h"
#include "base/portal/gameacquisition.h"
#include "base/portal/serverfetch.h"
#include "base/shell/startup.h"
#include "library/gameadder.h"
#include "library/librarypanel.h"
#include "library/pictureloader.h"
#include "player/flashplayer.h"
#include "player/form2.h"
#include "player/playerpanel.h"
#include "player/playerprofile.h"
#include "player/playerschemehandler.h"
#include "portal/downloadpanel.h"
#include "portal/webbrowser.h"
#include "shell/playercontrols.h"
#include "widgets/picturebutton.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWebEngineProfile>

namespace {

// The client area of the window, in twips.
constexpr double clientWidth = 14865;
constexpr double clientHeight = 9300;

// What each pane does to the full-screen entry: only a pane with a game to play offers it.
enum class FullScreenEntry
{
    Disabled,
    Enabled,
    Unchanged
};

struct PaneRule
{
    Form1::Pane pane;
    FullScreenEntry fullScreen;
};

constexpr PaneRule paneRules[] = {
    {Form1::Pane::Portal, FullScreenEntry::Disabled},
    {Form1::Pane::Library, FullScreenEntry::Unchanged},
    {Form1::Pane::Player, FullScreenEntry::Enabled},
    {Form1::Pane::Download, FullScreenEntry::Enabled},
};

} // namespace

Form1::Form1(const AppConfig &config, QNetworkAccessManager *network, MessageBox *messages, UrlOpener *opener,
             QWidget *parent)
    : QMainWindow(parent), m_config(config), m_network(network), m_messages(messages), m_opener(opener),
      m_portalProfile(std::make_unique<QWebEngineProfile>()),
      m_playerProfile(std::make_unique<PlayerProfile>(m_config.appFolder, m_config.ruffleDir(),
                                                      QDir(m_config.dataDir()).filePath(QStringLiteral("saves")))),
      m_store(std::make_unique<GameStore>(m_config.dataDir())), m_fetch(new ServerFetch(m_network, this)),
      m_startup(new Startup(m_fetch, m_config.dataDir(), m_config.serverUrl, this)),
      m_acquisition(new GameAcquisition(m_network, m_fetch, m_store.get(), m_config.dataDir(), this)),
      m_pictures(new PictureLoader(m_network, this))
{
    m_playerProfile->schemeHandler()->setDataFolder(m_config.dataDir());
    m_pictures->setLocalFolder(dataPath(QStringLiteral("pic")));
    // A picture from the server is kept only when it is one.
    m_acquisition->setPictureCheck([](const QByteArray &bytes) { return !PictureLoader::decode(bytes).isNull(); });
    buildControls();
    connect(m_startup, &Startup::finished, this, &Form1::finishStartup);
    connect(m_startup, &Startup::refused, this, &Form1::refuseStartup);
    connect(m_acquisition, &GameAcquisition::detailsArrived, this, &Form1::showDownload);
    connect(m_acquisition, &GameAcquisition::progress, download_main, &DownloadPanel::showProgress);
    connect(m_acquisition, &GameAcquisition::movieArrived, this,
            [this](const GameDetails &game, const QString &moviePath) {
                show_player(moviePath, game.strName, m_store->idOfGameId(game.game_id));
            });
    connect(m_acquisition, &GameAcquisition::finished, this, &Form1::onAcquisitionFinished);
    m_adder = new GameAdder(m_store.get(), m_config.dataDir(), m_messages, this);
    connect(m_adder, &GameAdder::finished, this, &Form1::gamesAdded);
    setAcceptDrops(true);
}

// The members' order does the work: views, then profiles and store, then the window's children. A player lent
// to the full-screen window comes home first, so that it goes with its panel.
Form1::~Form1()
{
    if (m_form2) {
        if (FlashPlayer *player = m_form2->takePlayer())
            player->setParent(flash_main);
    }
}

QString Form1::appPath(const QString &relative) const
{
    return QDir(m_config.appFolder).filePath(relative);
}

QString Form1::dataPath(const QString &relative) const
{
    return QDir(m_config.dataDir()).filePath(relative);
}

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
    client->setFixedSize(twips::toPixels(clientWidth), twips::toPixels(clientHeight));
    setCentralWidget(client);

    // The menu's top-level entry shows no text; it exists for the F6 shortcut.
    QMenu *mfullscreen = menuBar()->addMenu(QStringLiteral("&"));
    mfullscreen->setObjectName(QStringLiteral("mfullscreen"));
    m_fullscreen = mfullscreen->addAction(tr("Fullscreen"));
    m_fullscreen->setObjectName(QStringLiteral("m_fullscreen"));
    m_fullscreen->setShortcut(QKeySequence(Qt::Key_F6));
    m_fullscreen->setShortcutContext(Qt::WindowShortcut);
    connect(m_fullscreen, &QAction::triggered, this, &Form1::m_fullscreen_Click);

    QMenu *mgames = menuBar()->addMenu(tr("&Games"));
    mgames->setObjectName(QStringLiteral("mgames"));
    m_addgames = mgames->addAction(tr("Add games..."));
    m_addgames->setObjectName(QStringLiteral("m_addgames"));
    connect(m_addgames, &QAction::triggered, this, &Form1::m_addgames_Click);
    m_addfolder = mgames->addAction(tr("Add a folder of games..."));
    m_addfolder->setObjectName(QStringLiteral("m_addfolder"));
    connect(m_addfolder, &QAction::triggered, this, &Form1::m_addfolder_Click);

    gg_movie = new FlashPlayer(m_playerProfile.get(), client);
    gg_movie->setObjectName(QStringLiteral("gg_movie"));
    twips::place(gg_movie, 0, 0, 14895, 1095);

    Picture1 = new PictureButton(QStringLiteral("Picture1"), appPath(QStringLiteral("images/logo.png")),
                                 tr("Clik to vist official website"), client);
    twips::place(Picture1, 0, 1180, 2655, 1065);
    connect(Picture1, &PictureButton::clicked, this, &Form1::Picture1_Click);

    left_web = new WebBrowser(m_portalProfile.get(), client);
    left_web->setObjectName(QStringLiteral("left_web"));
    twips::place(left_web, 0, 2260, 2655, 6930);

    main_main = new QFrame(client);
    main_main->setObjectName(QStringLiteral("main_main"));
    main_main->setStyleSheet(QStringLiteral("#main_main { background: #E0E0E0; }"));
    main_web = new WebBrowser(m_portalProfile.get(), main_main);
    main_web->setObjectName(QStringLiteral("main_web"));

    game_main = new LibraryPanel(m_store.get(), m_config.appFolder, client);
    game_main->hide();
    connect(game_main, &LibraryPanel::playRequested, this, &Form1::game_list_DblClick);
    connect(game_main, &LibraryPanel::movieForgotten, m_playerProfile.get(), &PlayerProfile::removeSaves);
    connect(game_main, &LibraryPanel::addRequested, this, &Form1::m_addgames_Click);
    game_main->setMessages(m_messages);

    flash_main = new PlayerPanel(m_playerProfile.get(), appPath(QStringLiteral("images")), client);
    flash_main->hide();
    flash = flash_main->flash;
    connect(flash_main, &PlayerPanel::fullScreenClicked, this, &Form1::b_full_Click);
    connect(flash_main, &PlayerPanel::localClicked, this, &Form1::b_local_Click);
    connect(flash, &FlashPlayer::fullScreenRequested, this, &Form1::movieAskedForFullScreen);
    m_controls = new PlayerControls(flash, flash_main, m_store.get(), dataPath(QStringLiteral("settings.ini")), this);
    m_controls->addMenus(menuBar());

    download_main = new DownloadPanel(client);
    download_main->hide();

    gg_download = new FlashPlayer(m_playerProfile.get(), client);
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
    // Each assignment reads the values back from the controls, as the design data is applied in order.
    auto W = [](QWidget *w) { return twips::fromPixels(w->width()); };
    auto H = [](QWidget *w) { return twips::fromPixels(w->height()); };
    auto L = [](QWidget *w) { return twips::fromPixels(w->x()); };
    auto T = [](QWidget *w) { return twips::fromPixels(w->y()); };
    auto setW = [](QWidget *w, double v) { w->resize(twips::toPixels(v), w->height()); };
    auto setH = [](QWidget *w, double v) { w->resize(w->width(), twips::toPixels(v)); };
    auto setL = [](QWidget *w, double v) { w->move(twips::positionToPixels(v), w->y()); };
    auto setT = [](QWidget *w, double v) { w->move(w->x(), twips::positionToPixels(v)); };
    // The three panes that share main_main's place.
    auto coverMain = [&](QWidget *w) {
        setW(w, W(main_main));
        setH(w, H(main_main));
        setL(w, L(main_main));
        setT(w, T(main_main));
    };
    QWidget *game_list = game_main->game_list;

    setH(main_main, 7965);
    setL(main_main, 2710);
    setT(main_main, 1080);
    setW(main_main, 11940);
    setW(main_web, W(main_main) - 40);
    setT(main_web, 120);
    setL(main_web, 30);
    setH(main_web, H(main_main) - 130);
    coverMain(flash_main);
    setW(flash, W(flash_main) - 60);
    setH(flash, H(flash_main) - 150);
    setL(flash, 30);
    setT(flash, 120);
    coverMain(download_main);
    coverMain(game_main);
    setW(game_list, W(game_main) - 60);
    setT(game_list, 120 + LibraryPanel::barHeight);
    setL(game_list, 30);
    setW(game_main->loc_dec, W(game_main->loc_dec) + 800);
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
        m_acquisition->abandon(); // a movie still coming in is kept, but the user no longer waits for it

    for (const PaneRule &rule : paneRules) {
        if (rule.pane == pane && rule.fullScreen != FullScreenEntry::Unchanged)
            m_fullscreen->setEnabled(rule.fullScreen == FullScreenEntry::Enabled);
    }
}

void Form1::Form_Load()
{
    m_form2 = std::make_unique<Form2>(m_config.appFolder);
    m_form2->Form_Load();
    connect(m_form2.get(), &Form2::leavingFullScreen, this, &Form1::leaveFullScreen);
    m_form2->addActions(m_controls->shortcutActions()); // the game's sound keys work in full screen too

    for (const QString &folder : {QStringLiteral("pic"), QStringLiteral("flash")}) {
        if (!QFileInfo::exists(dataPath(folder)) && !QDir().mkpath(dataPath(folder)))
            qCWarning(lcShell).noquote() << "Cannot create the folder" << dataPath(folder);
    }
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
    flash_main->keepButtonRowAbovePlayer();
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
    QPointer<DownloadPanel> panel = download_main;
    m_pictures->LoadPicture(
        game.game_pic, this,
        [panel](const QImage &image) {
            if (panel)
                panel->showPicture(image);
        },
        download_main->pictureSize());
    loadflash_name = game.strName;
}

void Form1::start_download(const QString &url)
{
    m_acquisition->start_download(url);
}

bool Form1::isDownloading() const
{
    return m_acquisition->isDownloading();
}

void Form1::onAcquisitionFinished(const AcquisitionResult &result)
{
    switch (result.status) {
    case AcquisitionResult::Status::NoGame:
        tell(MessageBox::Icon::Critical, noGameMessage());
        return;
    case AcquisitionResult::Status::Failed:
        download_main->showFailure();
        emit downloadFinished(false);
        return;
    case AcquisitionResult::Status::Abandoned:
        emit downloadFinished(false);
        return;
    case AcquisitionResult::Status::Installed:
        if (const std::optional<qint64> id = m_store->idOfGameId(result.game.game_id)) {
            countPlay(*id);
            // A game recorded only now keeps the quality chosen for it from here on.
            if (!m_controls->game() && m_pane == Pane::Player && loadflash_name == result.game.strName)
                m_controls->setGame(id);
        }
        emit downloadFinished(true);
        emit gameRecorded(result.game.game_id);
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
    game_main->Game_Play->hide();
    game_main->Game_Delete->hide();
    flash->setMovie(appPath(QStringLiteral("noswf.wsf")));
    game_main->reload();
    flash_main->preparePlayer(); // a game is likely to be played from here
}

void Form1::game_list_DblClick()
{
    const std::optional<GameRecord> game = game_main->currentGame();
    if (!game)
        return;
    // A value of its own: a download that is running keeps its target.
    const QString moviePath = m_store->moviePath(game->game);
    if (moviePath.isEmpty() || !QFileInfo(moviePath).isFile()) {
        qCWarning(lcLibrary).noquote() << "The movie of game" << game->gameid
                                       << "is missing:" << (moviePath.isEmpty() ? game->game : moviePath);
        tell(MessageBox::Icon::Critical, noFileMessage());
        return;
    }
    show_player(moviePath, game->game, game->id);
    countPlay(game->id);
}

void Form1::countPlay(qint64 id)
{
    if (!m_store->recordPlay(id, QDateTime::currentSecsSinceEpoch()))
        return;
    if (const std::optional<GameRecord> game = m_store->gameById(QString::number(id)))
        game_main->gamePlayed(*game);
}

void Form1::addGames(const QStringList &paths)
{
    m_adder->add(paths);
}

void Form1::m_addgames_Click()
{
    const QStringList files = m_messages->chooseMovies(this);
    refocusGame();
    if (!files.isEmpty())
        addGames(files);
}

void Form1::m_addfolder_Click()
{
    const QString folder = m_messages->chooseMovieFolder(this);
    refocusGame();
    if (!folder.isEmpty())
        addGames({folder});
}

void Form1::gamesAdded(int recorded)
{
    // The library shows what came in, newest first; after a message about refused files the game plays on.
    if (recorded > 0 && !exit_flag)
        b_local_Click();
    else
        refocusGame();
}

namespace {

QStringList localFiles(const QMimeData *data)
{
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl &url : data->urls()) {
            if (url.isLocalFile())
                paths << url.toLocalFile();
        }
    }
    return paths;
}

} // namespace

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!localFiles(event->mimeData()).isEmpty() && !m_adder->isRunning())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The drop ends before the files are read: the user's file manager is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { addGames(paths); });
}

void Form1::show_player(const QString &moviePath, const QString &fileName, std::optional<qint64> row)
{
    m_controls->setGame(row);
    flash->setMovie(moviePath);
    loadflash_name = fileName;
    showPane(Pane::Player);
    flash->focusGame();
}

void Form1::m_fullscreen_Click()
{
    // The game goes on where it is: its player moves into the full-screen window and back, never reloaded.
    // Only a player without the game (the library or download is shown) starts it.
    const QString game = dataPath(QStringLiteral("flash/") + loadflash_name);
    if (flash->movie() != game)
        flash->setMovie(game);
    m_playerGeometry = flash->geometry();
    m_form2->showPlayer(flash);
    m_form2->showMaximized();
    hide();
    m_fullscreen->setEnabled(false);
}

// One switch for each time the movie's wish changes: a movie asking every frame finds it granted already.
void Form1::movieAskedForFullScreen(bool on)
{
    const bool fullScreen = m_form2 && m_form2->Flash1;
    if (on && !fullScreen && m_pane == Pane::Player && m_fullscreen->isEnabled())
        m_fullscreen_Click();
    else if (!on && fullScreen)
        m_form2->b_exit_Click();
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
    if (FlashPlayer *player = m_form2->takePlayer()) {
        player->setParent(flash_main);
        player->setGeometry(m_playerGeometry);
        player->setVisible(m_pane == Pane::Player);
        flash_main->keepButtonRowAbovePlayer();
    }
    show();
    m_fullscreen->setEnabled(true);
    if (m_pane == Pane::Player)
        flash->focusGame();
}

void Form1::Picture1_Click()
{
    if (!m_opener->open(m_config.siteUrl))
        qCWarning(lcShell).noquote() << "Cannot open" << loggableUrl(m_config.siteUrl);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_form2) {
        if (FlashPlayer *player = m_form2->takePlayer()) {
            player->hide();
            player->setParent(flash_main);
        }
        m_form2->unload();
    }
    hide();
    exit_flag = true;
    // A transfer still running is stopped, its temporary file removed, and the timer ends the program.
    if (m_acquisition->cancel())
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
