#pragma once

#include "base/library/gamestore.h"
#include "base/library/library.h"
#include "base/portal/gameacquisition.h"
#include "base/shell/startup.h"
#include "library/librarypanel.h"
#include "player/flashplayer.h"
#include "player/form2.h"
#include "player/playerpanel.h"
#include "player/playerprofile.h"
#include "portal/downloadpanel.h"
#include "portal/webbrowser.h"
#include "portalserver.h"
#include "recordingmessagebox.h"
#include "shell/form1.h"
#include "testappfolder.h"
#include "widgets/picturebutton.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

// The main window's controls and flows, reached the way a reader of the window finds them: by object name.
namespace ui {

template <typename T> T *named(const QObject *window, const char *name)
{
    T *found = window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
    if (!found)
        qFatal("The main window has no %s", name);
    return found;
}

#define QUILLABRIX_UI_CONTROL(Type, name)                                                                              \
    inline Type *name(const QObject *window)                                                                           \
    {                                                                                                                  \
        return named<Type>(window, #name);                                                                             \
    }                                                                                                                  \
    inline Type *name(const std::unique_ptr<Form1> &window)                                                            \
    {                                                                                                                  \
        return name(window.get());                                                                                     \
    }

QUILLABRIX_UI_CONTROL(FlashPlayer, gg_movie)
QUILLABRIX_UI_CONTROL(PictureButton, Picture1)
QUILLABRIX_UI_CONTROL(WebBrowser, left_web)
QUILLABRIX_UI_CONTROL(QFrame, main_main)
QUILLABRIX_UI_CONTROL(WebBrowser, main_web)
QUILLABRIX_UI_CONTROL(LibraryPanel, game_main)
QUILLABRIX_UI_CONTROL(PlayerPanel, flash_main)
QUILLABRIX_UI_CONTROL(DownloadPanel, download_main)
QUILLABRIX_UI_CONTROL(FlashPlayer, gg_download)
QUILLABRIX_UI_CONTROL(QAction, m_fullscreen)
QUILLABRIX_UI_CONTROL(QTimer, Timer1)
QUILLABRIX_UI_CONTROL(Startup, startup)
QUILLABRIX_UI_CONTROL(GameAcquisition, acquisition)
// The library panel's grid, details and search (also found from the panel itself).
QUILLABRIX_UI_CONTROL(QTableView, game_list)
QUILLABRIX_UI_CONTROL(QLabel, loc_pic)
QUILLABRIX_UI_CONTROL(QLabel, loc_name)
QUILLABRIX_UI_CONTROL(QLabel, loc_dec)
QUILLABRIX_UI_CONTROL(QLabel, loc_stats)
QUILLABRIX_UI_CONTROL(QPushButton, Game_Play)
QUILLABRIX_UI_CONTROL(QPushButton, Game_Delete)
QUILLABRIX_UI_CONTROL(QLineEdit, game_search)

#undef QUILLABRIX_UI_CONTROL

// The full-screen window: a top-level window of its own, made at start-up.
inline Form2 *form2()
{
    Form2 *found = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<Form2 *>(w))
            found = candidate;
    }
    if (!found)
        qFatal("There is no full-screen window");
    return found;
}

// The game player: in its panel, or lent to the full-screen window.
inline FlashPlayer *flash(const QObject *window)
{
    if (auto *player = window ? window->findChild<FlashPlayer *>(QStringLiteral("flash")) : nullptr)
        return player;
    return named<FlashPlayer>(form2(), "flash");
}
inline FlashPlayer *flash(const std::unique_ptr<Form1> &window)
{
    return flash(window.get());
}

} // namespace ui

// Main-window tests need the player's scheme registered before the application exists, and must not end
// the test run when the window under test closes.
#define QUILLABRIX_WINDOW_TEST_MAIN(TestObject)                                                                        \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        PlayerProfile::registerScheme();                                                                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        QApplication::setQuitOnLastWindowClosed(false);                                                                \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

// The window's messages, recorded; with realBoxes each is also shown in a real modal box that the user closes
// after a moment.
struct WindowMessages : RecordingMessageBox
{
    void show(Icon icon, const QString &text, QWidget *parent) override
    {
        RecordingMessageBox::show(icon, text, parent);
        if (!realBoxes)
            return;
        QMessageBox box(QMessageBox::Warning, title(), text, QMessageBox::Ok, parent);
        QTimer::singleShot(300, &box, [&box] { QTest::keyClick(&box, Qt::Key_Return); });
        box.exec();
    }
    bool realBoxes = false;
};

// A main window in a fresh application folder, talking to the real portal server on loopback, with its
// messages and opened URLs recorded instead of shown.
struct WindowUnderTest
{
    explicit WindowUnderTest(const QUrl &serverUrl, int folderOptions = TestAppFolder::WithLibrary)
        : folder(folderOptions)
    {
        const QUrl site(QStringLiteral("http://127.0.0.1:1/site.htm"));
        window = newWindow(folder.config(serverUrl, site));
    }

    // Another window in the same folder, as at the program's next start; the first one goes first.
    bool restart(const QUrl &serverUrl)
    {
        window.reset();
        window = newWindow(folder.config(serverUrl));
        return start();
    }

    std::unique_ptr<Form1> newWindow(const AppConfig &config)
    {
        return std::make_unique<Form1>(std::make_unique<AppSession>(config, &library, &network, &messages, &opener));
    }

    // Runs the start-up sequence; true once the window is shown, false if the program ended instead.
    bool start(int timeoutMs = 60000)
    {
        QSignalSpy shown(window.get(), &Form1::startupFinished);
        QSignalSpy ended(window.get(), &Form1::ended);
        window->Form_Load();
        if (!QTest::qWaitFor([&] { return shown.count() + ended.count() > 0; }, timeoutMs))
            return false;
        return shown.count() > 0;
    }

    // The library file of the folder, opened the way the program opens it.
    GameStore &store()
    {
        if (!m_store)
            m_store = std::make_unique<GameStore>(folder.path());
        return *m_store;
    }

    TestAppFolder folder;
    Library library{folder.config().dataDir()};
    QNetworkAccessManager network;
    WindowMessages messages;
    RecordingUrlOpener opener;
    std::unique_ptr<Form1> window;

private:
    std::unique_ptr<GameStore> m_store;
};
