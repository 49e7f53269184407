#pragma once

#include "player/devicefont.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class PlayerSchemeHandler;
class ProfileSaves;
class SaveKeeper;
class QWebEngineProfile;

// The one web profile that every Flash player shares, with the scheme that serves Ruffle and the movies.
// Given a saves folder, what games keep with shared objects (Ruffle keeps them in the page's local storage)
// lives there across restarts; without one, or when the folder cannot be used, nothing is written to disk.
class PlayerProfile : public QObject
{
    Q_OBJECT

public:
    // Must run before the QApplication is created: the web engine learns its schemes (and its process
    // model) only at start.
    static void registerScheme();

    PlayerProfile(const QString &appFolder, const QString &ruffleFolder, QObject *parent = nullptr);
    PlayerProfile(const QString &appFolder, const QString &ruffleFolder, const QString &savesFolder,
                  QObject *parent = nullptr);
    // Emits releasingPages() first: a profile must outlive the pages made with it.
    ~PlayerProfile() override;

    QWebEngineProfile *profile() const { return m_profile; }
    PlayerSchemeHandler *schemeHandler() const { return m_handler; }
    // Whether saves outlive the program.
    bool keepsSaves() const;

    // The installed font that device-font text of every later movie is drawn with (found at start); none
    // leaves Ruffle's own, which has no Chinese glyphs.
    void setDeviceFont(const std::optional<DeviceFont> &font);
    const std::optional<DeviceFont> &deviceFont() const { return m_deviceFont; }

    // Forgets what the movie of this file name in the flash folder saved, unless spared. Done in the background;
    // says savesRemoved() when done (a count of 0 when spared).
    void removeSaves(const QString &movieFileName);
    // While spared, removeSaves leaves the movie's saves alone: the user keeps them for when the game comes back.
    void spareSaves(const QString &movieFileName, bool spare);

    // Counting, exporting and importing what games saved, for the library.
    SaveKeeper *saves() const;

    // Runs script in a page of the players' own origin (whose local storage holds the saves) and hands its value
    // to done, on this thread, while context lives; ok is false when the page could not be loaded.
    void runWithSaves(const QString &script, QObject *context, std::function<void(bool ok, const QVariant &)> done);

signals:
    // The profile is going: every page made with it must be deleted now.
    void releasingPages();
    void savesRemoved(const QString &movieFileName, int count);

private:
    static QWebEngineProfile *makeProfile(const QString &savesFolder, QObject *parent);

    PlayerSchemeHandler *m_handler;
    QWebEngineProfile *m_profile;
    std::optional<DeviceFont> m_deviceFont;
    QSet<QString> m_spared;
    ProfileSaves *m_saves;
};
