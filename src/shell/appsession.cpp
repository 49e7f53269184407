#include "shell/appsession.h"

#include "base/companion/companionfiles.h"
#include "base/library/library.h"
#include "base/portal/gameacquisition.h"
#include "base/portal/serverfetch.h"
#include "base/shell/startup.h"
#include "library/gameadder.h"
#include "library/pictureloader.h"
#include "player/playerprofile.h"
#include "player/playerschemehandler.h"
#include "shell/playercontrols.h"

#include <QWebEngineProfile>

AppSession::AppSession(const AppConfig &config, Library *library, QNetworkAccessManager *network, MessageBox *messages,
                       UrlOpener *opener, QObject *parent)
    : QObject(parent), m_config(config), m_library(library), m_messages(messages), m_opener(opener),
      m_portalProfile(std::make_unique<QWebEngineProfile>()),
      m_playerProfile(
          std::make_unique<PlayerProfile>(config.appFolder, config.ruffleDir(), library->folders().savesFolder())),
      m_fetch(new ServerFetch(network, this)),
      m_startup(new Startup(m_fetch, library->folders(), config.serverUrl, this)),
      m_acquisition(new GameAcquisition(network, m_fetch, library, this)),
      m_companions(new CompanionFiles(&library->store(), m_fetch, this))
{
    m_playerProfile->schemeHandler()->setDataFolder(library->folders().dataFolder());
    m_playerProfile->schemeHandler()->setCompanionLookup(
        [companions = m_companions](qint64 id, const QString &serverGameId, const QString &path, const QString &query,
                                    QObject *context, CompanionFiles::Answer answer) {
            if (serverGameId.isEmpty())
                companions->request(id, path, query, context, std::move(answer));
            else
                companions->requestForServerGame(serverGameId, path, query, context, std::move(answer));
        });
    // A game that comes again (downloaded again) brings its kept files again too; one shown while it came in finds
    // its row now.
    connect(m_acquisition, &GameAcquisition::finished, m_companions, [this](const AcquisitionResult &result) {
        if (const std::optional<GameRecord> row = m_library->gameWithServerId(result.game.gameId);
            row && result.recorded)
            m_companions->fetchAgain(row->id, m_companions, {});
        m_companions->gameSettled(result.game.gameId);
    });
    // A picture from the server is kept only when it is one.
    m_acquisition->setPictureCheck([](const QByteArray &bytes) { return !PictureLoader::decode(bytes).isNull(); });
    connect(m_library, &Library::movieGone, m_playerProfile.get(), &PlayerProfile::removeSaves);
}

AppSession::~AppSession() = default;

void AppSession::attachWindow(QWidget *window, FlashPlayer *player, PlayerPanel *panel)
{
    Q_ASSERT(!m_adder && !m_controls);
    m_adder = new GameAdder(m_library, m_messages, window);
    m_adder->setServerUrl(m_config.serverUrl);
    connect(m_adder, &GameAdder::redownloadRequested, m_acquisition, &GameAcquisition::queueGames);
    m_controls = new PlayerControls(player, panel, m_library, m_library->folders().settingsFile(), this);
}
