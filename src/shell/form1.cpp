#include "form1.h"

#include "downloadpanel.h"
#include "flashplayer.h"
#include "form2.h"
#include "gamestore.h"
#include "librarypanel.h"
#include "messagebox.h"
#include "moviedownload.h"
#include "picturebutton.h"
#include "pictureloader.h"
#include "playerpanel.h"
#include "playerprofile.h"
#include "serverfetch.h"
#include "textops.h"
#include "twips.h"
#include "webbrowser.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWebEngineProfile>

namespace {

// The client area of the window, in twips.
constexpr double clientWidth = 14865;
constexpr double clientHeight = 9300;
// How long start-up waits for the left portal page before showing the window anyway.
constexpr int leftPageWaitMs = 10000;

std::optional<qint64> parseSize(const QString &field)
{
    bool ok = false;
    const qint64 value = field.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// The game server says "0" for a game it does not know; an empty answer means the same.
bool readsAsZero(const QString &answer)
{
    const QString text = answer.trimmed();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value == 0;
}

QString fieldOr(const QStringList &fields, int index, const QString &previous)
{
    return index < fields.size() ? fields.at(index) : previous;
}

} // namespace

Form1::Form1(const AppConfig &config, QNetworkAccessManager *network, MessageBox *messages, UrlOpener *opener,
             QWidget *parent)
    : QMainWindow(parent), m_config(config), m_network(network), m_messages(messages), m_opener(opener)
{
    m_portalProfile = new QWebEngineProfile(this);
    m_playerProfile = new PlayerProfile(m_config.appFolder, m_config.ruffleDir(), this);
    m_fetch = new ServerFetch(m_network, this);
    m_store = new GameStore(m_config.appFolder);
    m_pictures = new PictureLoader(m_network, this);
    buildControls();
}

Form1::~Form1()
{
    if (m_download)
        delete m_download.data();
    // Web views go before the profiles they use.
    delete m_form2;
    delete takeCentralWidget();
    delete m_playerProfile;
    delete m_portalProfile;
    delete m_store;
}

QString Form1::appPath(const QString &relative) const
{
    return QDir(m_config.appFolder).filePath(relative);
}

void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("10000+ Free Online Quillabrix Games "));
    setWindowIcon(QIcon(appPath(QStringLiteral("images/icon.png"))));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto *client = new QWidget(this);
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
    m_fullscreen = mfullscreen->addAction(QStringLiteral("Fullscreen"));
    m_fullscreen->setObjectName(QStringLiteral("m_fullscreen"));
    m_fullscreen->setShortcut(QKeySequence(Qt::Key_F6));
    m_fullscreen->setShortcutContext(Qt::WindowShortcut);
    connect(m_fullscreen, &QAction::triggered, this, &Form1::m_fullscreen_Click);

    gg_movie = new FlashPlayer(m_playerProfile, client);
    gg_movie->setObjectName(QStringLiteral("gg_movie"));
    twips::place(gg_movie, 0, 0, 14895, 1095);

    Picture1 = new PictureButton(QStringLiteral("Picture1"), appPath(QStringLiteral("images/logo.png")),
                                 QStringLiteral("Clik to vist official website"), client);
    twips::place(Picture1, 0, 1180, 2655, 1065);
    connect(Picture1, &PictureButton::clicked, this, &Form1::Picture1_Click);

    left_web = new WebBrowser(m_portalProfile, client);
    left_web->setObjectName(QStringLiteral("left_web"));
    twips::place(left_web, 0, 2260, 2655, 6930);

    main_main = new QFrame(client);
    main_main->setObjectName(QStringLiteral("main_main"));
    main_main->setStyleSheet(QStringLiteral("#main_main { background: #E0E0E0; }"));
    main_web = new WebBrowser(m_portalProfile, main_main);
    main_web->setObjectName(QStringLiteral("main_web"));

    game_main = new LibraryPanel(m_store, m_config.appFolder, client);
    game_main->hide();
    connect(game_main, &LibraryPanel::playRequested, this, &Form1::game_list_DblClick);

    flash_main = new PlayerPanel(m_playerProfile, appPath(QStringLiteral("images")), client);
    flash_main->hide();
    flash = flash_main->flash;
    connect(flash_main, &PlayerPanel::fullScreenClicked, this, &Form1::b_full_Click);
    connect(flash_main, &PlayerPanel::localClicked, this, &Form1::b_local_Click);

    download_main = new DownloadPanel(client);
    download_main->hide();

    gg_download = new FlashPlayer(m_playerProfile, client);
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
    QWidget *game_list = game_main->game_list;

    setH(main_main, 7965);
    setL(main_main, 2710);
    setT(main_main, 1080);
    setW(main_main, 11940);
    setW(main_web, W(main_main) - 40);
    setT(main_web, 120);
    setL(main_web, 30);
    setH(main_web, H(main_main) - 130);
    setW(flash_main, W(main_main));
    setH(flash_main, H(main_main));
    setL(flash_main, L(main_main));
    setT(flash_main, T(main_main));
    setW(flash, W(flash_main) - 60);
    setH(flash, H(flash_main) - 150);
    setL(flash, 30);
    setT(flash, 120);
    setW(download_main, W(main_main));
    setH(download_main, H(main_main));
    setL(download_main, L(main_main));
    setT(download_main, T(main_main));
    setW(game_main, W(main_main));
    setH(game_main, H(main_main));
    setL(game_main, L(main_main));
    setT(game_main, T(main_main));
    setW(game_list, W(game_main) - 60);
    setT(game_list, 120);
    setL(game_list, 30);
    setW(game_main->loc_dec, W(game_main->loc_dec) + 800);
}

void Form1::Form_Load()
{
    m_form2 = new Form2(m_playerProfile, m_config.appFolder);
    m_form2->Form_Load(loadflash_name);
    connect(m_form2, &Form2::leavingFullScreen, this, &Form1::leaveFullScreen);

    for (const QString &folder : {QStringLiteral("pic"), QStringLiteral("flash")}) {
        if (!QFileInfo::exists(appPath(folder)))
            QDir().mkpath(appPath(folder));
    }
    hide();
    web_path = m_config.serverUrl;
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

    m_fetch->GetPage(web_path.resolved(QUrl(QStringLiteral("gg.asp"))), this,
                     [this](const std::optional<QByteArray> &body) { onStartupAnswer(BytesToBstr(body)); });
}

void Form1::onStartupAnswer(const QString &answer)
{
    const QStringList fields = answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('|'));
    if (fields.isEmpty() || fields.first() != QLatin1String("ok")) {
        m_messages->show(MessageBox::Icon::Critical, networkMessage());
        endProgram();
        return;
    }
    gg_1 = fieldOr(fields, 1, gg_1);
    if (fields.size() > 2)
        gg_size1 = parseSize(fields.at(2));
    gg_2 = fieldOr(fields, 3, gg_2);
    if (fields.size() > 4)
        gg_size2 = parseSize(fields.at(4));
    gg_2_url = fieldOr(fields, 5, gg_2_url);

    fetchAdvertisement(gg_1, gg_size1, [this] {
        fetchAdvertisement(gg_2, gg_size2, [this] { waitForLeftPage([this] { finishStartup(); }); });
    });
}

QString Form1::advertisementPath(const QString &url) const
{
    // The name comes from the server: one that could leave the pic folder is never used.
    const QString name = get_last_segment(url, QStringLiteral("/"));
    return isSafeFileName(name) ? appPath(QStringLiteral("pic/") + name) : QString();
}

void Form1::fetchAdvertisement(const QString &url, std::optional<qint64> announced, std::function<void()> next)
{
    const QString path = advertisementPath(url);
    const QFileInfo file(path);
    if (path.isEmpty() || (file.exists() && file.size() >= announced.value_or(0))) {
        next();
        return;
    }
    m_fetch->Download_Pic(QUrl(url), path, this, [next](bool) { next(); });
}

void Form1::waitForLeftPage(std::function<void()> next)
{
    auto *poll = new QTimer(this);
    auto *elapsed = new QElapsedTimer;
    elapsed->start();
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, elapsed, next] {
        if (left_web->ReadyState() != WebBrowser::Complete && elapsed->elapsed() < leftPageWaitMs)
            return;
        poll->stop();
        poll->deleteLater();
        delete elapsed;
        next();
    });
    poll->start();
}

void Form1::finishStartup()
{
    gg_movie->setMovie(advertisementPath(gg_1));
    gg_download->setMovie(advertisementPath(gg_2));
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
    main_main->show();
    flash->hide();
    flash_main->hide();
    download_main->hide();
    gg_download->hide();
    m_fullscreen->setEnabled(false);
    game_main->hide();
}

void Form1::Web_V2_NewWindow(const QUrl &url)
{
    m_fetch->GetPage(url, this, [this](const std::optional<QByteArray> &body) { onGameDetails(body); });
}

void Form1::onGameDetails(const std::optional<QByteArray> &body)
{
    bool error = false;
    const std::optional<QString> answer = body ? decode(BytesToBstr(body), &error) : std::nullopt;
    if (error || !answer || readsAsZero(*answer)) {
        m_messages->show(MessageBox::Icon::Critical, noGameMessage(), this);
        return;
    }
    // Fields the answer lacks keep the values of the game fetched before.
    const QStringList fields = answer->split(QLatin1Char('|'));
    const QString newDlFile = fieldOr(fields, 3, dl_file);
    const QString newGamePic = fieldOr(fields, 4, game_pic);
    const QString movieName = get_last_segment(newDlFile, QStringLiteral("/"));
    const QString pictureName = get_last_segment(newGamePic, QStringLiteral("/"));
    // File names come from the server: refuse any that could not be a plain file in our folders.
    if (!isSafeFileName(movieName) || !isSafeFileName(pictureName)) {
        m_messages->show(MessageBox::Icon::Critical, noGameMessage(), this);
        return;
    }

    download_main->resetFill();
    dl_file = newDlFile;
    game_pic = newGamePic;
    game_dec = fieldOr(fields, 2, game_dec);
    game_name = fieldOr(fields, 1, game_name);
    game_id = fieldOr(fields, 0, game_id);
    strName = movieName;
    strpic = pictureName;
    save_path = appPath(QStringLiteral("flash/") + strName);
    save_path2 = appPath(QStringLiteral("pic/") + strpic);
    flash_main->b_play->hide();
    download_main->lblSpeed->setText(QStringLiteral("Connecting ..."));
    download_main->show();
    main_main->hide();
    flash->hide();
    gg_download->show();
    gg_download->raise();
    download_main->gamename->setText(game_name);
    download_main->gamedec->setText(turnBackCodes(game_dec));
    start_download(dl_file);
    download_main->loadpic->clear();
    QPointer<QLabel> loadpic = download_main->loadpic;
    m_pictures->LoadPicture(game_pic, this, [loadpic](const QImage &image) {
        if (loadpic && !image.isNull())
            loadpic->setPixmap(
                QPixmap::fromImage(image).scaled(loadpic->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    });
    loadflash_name = strName;
    m_fullscreen->setEnabled(true);
}

bool Form1::isDownloading() const
{
    return m_download && m_download->isRunning();
}

void Form1::start_download(const QString &url)
{
    if (!QFileInfo(appPath(QStringLiteral("flash"))).isDir())
        QDir().mkpath(appPath(QStringLiteral("flash")));
    // One transfer at a time: a new game replaces the one still coming in.
    if (m_download) {
        MovieDownload *old = m_download;
        m_download = nullptr;
        old->cancel();
        old->deleteLater();
    }
    const GameFields game{game_id, game_name, game_dec, game_pic, strName, strpic, save_path, save_path2};
    auto *job = new MovieDownload(m_network, QUrl(url), save_path, this);
    m_download = job;
    connect(job, &MovieDownload::progress, this, [this, job](qint64 written, std::optional<qint64> announced) {
        if (m_download == job)
            download_main->showProgress(written, announced);
    });
    connect(job, &MovieDownload::finished, this,
            [this, job, game](const DownloadResult &result) { onDownloadFinished(job, result, game); });
    job->start();
}

void Form1::onDownloadFinished(MovieDownload *job, const DownloadResult &result, const GameFields &game)
{
    if (m_download != job)
        return; // replaced by a later game, or the window is closing
    m_download = nullptr;
    job->deleteLater();
    if (result.status != DownloadResult::Status::Completed) {
        if (result.status == DownloadResult::Status::Failed)
            download_main->lblSpeed->setText(QStringLiteral("Download failed"));
        emit downloadFinished(false);
        return;
    }
    // A user who left the download panel meanwhile keeps the file, but the game is not installed.
    if (exit_flag || download_main->isHidden()) {
        emit downloadFinished(false);
        return;
    }
    download_main->hide();
    gg_download->hide();
    flash->setMovie(appPath(QStringLiteral("flash/") + game.strName));
    loadflash_name = game.strName;
    flash->show();
    flash_main->show();
    m_fullscreen->setEnabled(true);
    main_main->hide();
    m_fetch->Download_Pic(QUrl(game.game_pic), game.save_path2, this, [this, game](bool) { recordGame(game); });
}

void Form1::recordGame(const GameFields &game)
{
    if (m_store->open_db()) {
        const std::optional<bool> known = m_store->hasGameId(game.game_id);
        if (known && !*known)
            m_store->insert(game.game_id, game.game_name, game.strName, game.strpic, game.game_dec);
    }
    emit downloadFinished(true);
    emit gameRecorded(game.game_id);
}

void Form1::b_local_Click()
{
    const std::optional<qint64> count = game_main->gameCount();
    if (!count || *count == 0) {
        m_messages->show(MessageBox::Icon::Warning, noGamesMessage(), this);
        return;
    }
    download_main->hide();
    gg_download->hide();
    flash_main->hide();
    main_main->hide();
    game_main->show();
    game_main->Game_Play->hide();
    game_main->Game_Delete->hide();
    flash->setMovie(appPath(QStringLiteral("noswf.wsf")));
    game_main->reload();
}

void Form1::game_list_DblClick()
{
    const std::optional<GameRecord> game = game_main->currentGame();
    if (!game)
        return;
    // A value of its own: a download that is running keeps its target.
    const QString moviePath = m_store->moviePath(game->game);
    if (moviePath.isEmpty() || !QFileInfo(moviePath).isFile()) {
        m_messages->show(MessageBox::Icon::Critical, noFileMessage(), this);
        return;
    }
    show_player(moviePath, game->game);
}

void Form1::show_player(const QString &moviePath, const QString &fileName)
{
    download_main->hide();
    gg_download->hide();
    flash->setMovie(moviePath);
    loadflash_name = fileName;
    flash->show();
    flash_main->show();
    m_fullscreen->setEnabled(true);
    main_main->hide();
    game_main->hide();
}

void Form1::m_fullscreen_Click()
{
    flash->setMovie(appPath(QStringLiteral("nogame.swf")));
    m_form2->showMaximized();
    m_form2->Flash1->setMovie(appPath(QStringLiteral("flash/") + loadflash_name));
    m_form2->Flash1->setScaleMode(2);
    hide();
    m_fullscreen->setEnabled(false);
}

void Form1::leaveFullScreen()
{
    flash->setMovie(appPath(QStringLiteral("flash/") + loadflash_name));
    show();
    m_fullscreen->setEnabled(true);
}

void Form1::Picture1_Click()
{
    m_opener->open(m_config.siteUrl);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_form2)
        m_form2->unload();
    hide();
    exit_flag = true;
    // A transfer still running is stopped, its temporary file removed, and the timer ends the program.
    if (m_download) {
        MovieDownload *job = m_download;
        m_download = nullptr;
        job->cancel();
        job->deleteLater();
        Timer1->start();
    }
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
