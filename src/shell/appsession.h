#pragma once

#include "base/appconfig.h"

#include <QObject>

#include <memory>

class CompanionFiles;
class FlashPlayer;
class GameAcquisition;
class GameAdder;
class Library;
class MessageBox;
class PlayerControls;
class PlayerPanel;
class PlayerProfile;
class QNetworkAccessManager;
class QWebEngineProfile;
class QWidget;
class ServerFetch;
class Startup;
class UrlOpener;

// The program's services, built and wired once: the server's requests, start-up, game acquisition, the web
// profiles of the portal and the player (with the player's saves following the library's movies), and, once
// the main window gives its controls, the adder of the user's own games and the player's controls. The main
// window owns the session and shows what it does; tests build it as the program does, so they run the real
// wiring.
class AppSession : public QObject
{
    Q_OBJECT

public:
    // library, network, messages and opener must outlive the session.
    AppSession(const AppConfig &config, Library *library, QNetworkAccessManager *network, MessageBox *messages,
               UrlOpener *opener, QObject *parent = nullptr);
    // The pages made with the web profiles (the window's views) must be gone by then.
    ~AppSession() override;

    // The services that work on the main window's own controls: the adder takes the files dropped on window and
    // shows its dialogs there, the player controls drive the window's game player. Once only.
    void attachWindow(QWidget *window, FlashPlayer *player, PlayerPanel *panel);

    const AppConfig &config() const { return m_config; }
    Library *library() const { return m_library; }
    MessageBox *messages() const { return m_messages; }
    UrlOpener *opener() const { return m_opener; }
    QWebEngineProfile *portalProfile() const { return m_portalProfile.get(); }
    PlayerProfile *playerProfile() const { return m_playerProfile.get(); }
    Startup *startup() const { return m_startup; }
    GameAcquisition *acquisition() const { return m_acquisition; }
    CompanionFiles *companions() const { return m_companions; }
    // Made by attachWindow.
    GameAdder *adder() const { return m_adder; }
    PlayerControls *playerControls() const { return m_controls; }

private:
    AppConfig m_config;
    Library *m_library;
    MessageBox *m_messages;
    UrlOpener *m_opener;
    std::unique_ptr<QWebEngineProfile> m_portalProfile;
    std::unique_ptr<PlayerProfile> m_playerProfile;

    // Children of the session.
    ServerFetch *m_fetch;
    Startup *m_startup;
    GameAcquisition *m_acquisition;
    CompanionFiles *m_companions;
    GameAdder *m_adder = nullptr; // a child of the window it was attached to
    PlayerControls *m_controls = nullptr;
};
