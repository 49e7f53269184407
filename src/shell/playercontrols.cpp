#include "shell/playercontrols.h"

#include "base/datafile.h"
#include "base/library/library.h"
#include "base/logging.h"
#include "base/player/playtime.h"
#include "player/flashplayer.h"
#include "player/playerpanel.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace {

const QString kVolumeKey = QStringLiteral("sound/volume");
const QString kMutedKey = QStringLiteral("sound/muted");
const QString kAudibleKey = QStringLiteral("sound/lastaudible"); // the last volume above 0
constexpr qint64 settledMs = 1000;
constexpr int kDefaultVolume = 100;

// A stored volume: a whole number, clamped to 0..100; anything else gives the default.
int storedVolume(const QVariant &value)
{
    bool ok = false;
    const int volume = value.toString().trimmed().toInt(&ok);
    return ok ? std::clamp(volume, 0, 100) : kDefaultVolume;
}

// QSettings reads and writes by name, following links: a link, FIFO or device planted under the name goes first,
// so that it finds nothing or a regular file there.
const QString &withoutPlantedFile(const QString &settingsFile)
{
    datafile::dropUnlessRegular(settingsFile);
    return settingsFile;
}

} // namespace

PlayerControls::PlayerControls(FlashPlayer *player, PlayerPanel *panel, Library *library, const QString &settingsFile,
                               QObject *parent)
    : QObject(parent), m_player(player), m_panel(panel), m_library(library),
      m_settings(withoutPlantedFile(settingsFile), QSettings::IniFormat), m_playTime(new PlayTime(library, this))
{
    connect(m_player, &FlashPlayer::inFrontChanged, m_playTime, &PlayTime::setRunning);
    connect(m_player, &FlashPlayer::movieChanged, this, [this](const QString &path) {
        m_playTime->movieChanged(path);
        // The game's own movie back in the player (full screen starts it again): its time counts again.
        if (m_row && path == m_movie && !m_playTime->game())
            m_playTime->setGame(m_row, path);
    });
    m_volume = storedVolume(m_settings.value(kVolumeKey, kDefaultVolume));
    m_muted = m_settings.value(kMutedKey).toString() == QLatin1String("true");
    m_audible = storedVolume(m_settings.value(kAudibleKey, m_volume > 0 ? m_volume : kDefaultVolume));
    if (m_audible == 0)
        m_audible = kDefaultVolume;
    connect(m_panel, &PlayerPanel::volumeChosen, this, &PlayerControls::setVolume);
    // At volume 0 the picture shows the sound off: a click on it turns the sound on.
    connect(m_panel, &PlayerPanel::muteClicked, this, [this] { setMuted(!m_muted && m_volume > 0); });
    applySound();
}

QStringList PlayerControls::qualities()
{
    return {QStringLiteral("low"), QStringLiteral("medium"), QStringLiteral("high"), QStringLiteral("best")};
}

void PlayerControls::addMenus(QMenuBar *bar)
{
    // Ctrl with the arrows and M: games rarely use Ctrl, and the plain keys stay theirs.
    QMenu *sound = bar->addMenu(tr("&Sound"));
    sound->setObjectName(QStringLiteral("msound"));
    m_volumeUp = sound->addAction(tr("Volume up"));
    m_volumeUp->setObjectName(QStringLiteral("m_volumeup"));
    m_volumeUp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    connect(m_volumeUp, &QAction::triggered, this, [this] { setVolume(m_volume + volumeStep); });
    m_volumeDown = sound->addAction(tr("Volume down"));
    m_volumeDown->setObjectName(QStringLiteral("m_volumedown"));
    m_volumeDown->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    connect(m_volumeDown, &QAction::triggered, this, [this] { setVolume(m_volume - volumeStep); });
    m_mute = sound->addAction(tr("Mute"));
    m_mute->setObjectName(QStringLiteral("m_mute"));
    m_mute->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_mute->setCheckable(true);
    connect(m_mute, &QAction::triggered, this, &PlayerControls::setMuted);

    m_qualityMenu = bar->addMenu(tr("&Quality"));
    m_qualityMenu->setObjectName(QStringLiteral("mquality"));
    m_qualityGroup = new QActionGroup(this);
    m_qualityGroup->setExclusive(true);
    const QString texts[] = {tr("Low"), tr("Medium"), tr("High"), tr("Best")};
    const QStringList keys = qualities();
    for (int i = 0; i < keys.size(); ++i) {
        QAction *entry = m_qualityMenu->addAction(texts[i]);
        entry->setObjectName(QStringLiteral("m_quality_") + keys[i]);
        entry->setData(keys[i]);
        entry->setCheckable(true);
        m_qualityGroup->addAction(entry);
    }
    connect(m_qualityGroup, &QActionGroup::triggered, this,
            [this](QAction *entry) { chooseQuality(entry->data().toString()); });
    applySound();
    updateQualityMenu();
}

QList<QAction *> PlayerControls::shortcutActions() const
{
    return {m_volumeUp, m_volumeDown, m_mute};
}

void PlayerControls::setVolume(int percent)
{
    const int volume = std::clamp(percent, 0, 100);
    if (volume == m_volume && !m_muted) {
        applySound(); // a control that went past the ends shows the volume again
        return;
    }
    // The volume to come back to is one the user settled on: not those a slider or a key held down passed by on
    // its way to 0.
    if (m_volume > 0 && (!m_volumeSince.isValid() || m_volumeSince.elapsed() >= settledMs))
        m_audible = m_volume;
    m_volumeSince.start();
    m_volume = volume;
    m_muted = false;
    saveSound();
    applySound();
}

void PlayerControls::setMuted(bool muted)
{
    m_muted = muted;
    // Sound turned on at volume 0 would stay silent: it comes back at the last volume heard.
    if (!muted && m_volume == 0)
        m_volume = m_audible;
    saveSound();
    applySound();
}

// Written at once: the program may end without running any close handler.
void PlayerControls::saveSound()
{
    m_settings.setValue(kVolumeKey, m_volume);
    m_settings.setValue(kMutedKey, m_muted);
    m_settings.setValue(kAudibleKey, m_audible);
    withoutPlantedFile(m_settings.fileName());
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        qCWarning(lcShell).noquote() << "The sound settings cannot be kept in" << m_settings.fileName();
}

void PlayerControls::applySound()
{
    m_player->setVolume(m_volume);
    m_player->setMuted(m_muted);
    m_panel->showSound(m_volume, m_muted);
    if (m_mute)
        m_mute->setChecked(m_muted);
}

void PlayerControls::setGame(std::optional<qint64> row, const QString &moviePath)
{
    m_row = row;
    m_movie = moviePath.isEmpty() ? m_player->movie() : moviePath;
    m_playTime->setGame(row, m_movie);
    QString quality = row ? m_library->gameQuality(*row) : QString();
    if (!qualities().contains(quality))
        quality = defaultQuality();
    m_player->setQuality(quality);
    updateQualityMenu();
}

void PlayerControls::setGameShown(bool shown)
{
    m_gameShown = shown;
    updateQualityMenu();
}

void PlayerControls::chooseQuality(const QString &quality)
{
    if (!qualities().contains(quality))
        return;
    m_player->setQuality(quality);
    if (m_row && !m_library->setGameQuality(*m_row, quality))
        qCWarning(lcShell).noquote() << "The quality of game" << *m_row << "cannot be kept in the library";
    updateQualityMenu();
}

void PlayerControls::updateQualityMenu()
{
    if (!m_qualityMenu)
        return;
    // Only a recorded game can keep its choice; before it is recorded the menu waits.
    const bool choosable = m_gameShown && m_row.has_value();
    m_qualityMenu->menuAction()->setEnabled(choosable);
    m_qualityGroup->setEnabled(choosable);
    for (QAction *entry : m_qualityGroup->actions())
        entry->setChecked(entry->data().toString() == m_player->quality());
}
