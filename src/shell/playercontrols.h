#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

class FlashPlayer;
class Library;
class PlayerPanel;
class PlayTime;
class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

// The game player's sound and picture quality as the user sets them: the volume control of the player panel,
// the Sound and Quality menus, the volume kept in the settings file from one run to the next and the quality
// kept per game in the library, and the game's play time. There is one game player; the full-screen window
// borrows it.
class PlayerControls : public QObject
{
    Q_OBJECT

public:
    static constexpr int volumeStep = 10;

    // settingsFile is an INI file of the user's data; values found there are checked, never trusted.
    PlayerControls(FlashPlayer *player, PlayerPanel *panel, Library *library, const QString &settingsFile,
                   QObject *parent = nullptr);

    // Adds the Sound and Quality menus.
    void addMenus(QMenuBar *bar);
    // The entries with shortcuts, for every window that shows the game.
    QList<QAction *> shortcutActions() const;

    void setVolume(int percent); // 0..100, clamped; a change of volume also ends a mute
    void setMuted(bool muted);
    int volume() const { return m_volume; }
    bool isMuted() const { return m_muted; }

    // The game shown last, by its library row (none while it is not recorded yet), and its movie (empty: the one
    // the player has): the player takes the quality chosen for it, a quality chosen now is kept for it, and the
    // time its movie runs in front of the user is counted for it.
    void setGame(std::optional<qint64> row, const QString &moviePath = QString());
    std::optional<qint64> game() const { return m_row; }
    // Whether the player shows that game: only then may its quality be chosen.
    void setGameShown(bool shown);
    // One of qualities(); anything else is ignored.
    void chooseQuality(const QString &quality);

    static QStringList qualities();
    static QString defaultQuality() { return QStringLiteral("high"); }

private:
    void saveSound();
    void applySound();
    void updateQualityMenu();

    FlashPlayer *m_player;
    PlayerPanel *m_panel;
    Library *m_library;
    QSettings m_settings;
    int m_volume = 100;
    bool m_muted = false;
    int m_audible = 100;         // the last volume above 0, where sound turned on at 0 comes back
    QElapsedTimer m_volumeSince; // since the volume last changed
    std::optional<qint64> m_row;
    QString m_movie; // the movie of m_row's game
    bool m_gameShown = false;
    PlayTime *m_playTime;

    QAction *m_volumeUp = nullptr;
    QAction *m_volumeDown = nullptr;
    QAction *m_mute = nullptr;
    QMenu *m_qualityMenu = nullptr;
    QActionGroup *m_qualityGroup = nullptr;
};
