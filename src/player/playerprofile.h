#pragma once

#include <QList>
#include <QObject>
#include <QString>

class FlashPlayer;
class PlayerSchemeHandler;
class QWebEngineProfile;

// The one web profile that every Flash player shares, with the scheme that serves Ruffle and the movies.
class PlayerProfile : public QObject
{
    Q_OBJECT

public:
    // Must run before the QApplication is created: the web engine learns its schemes (and its process
    // model) only at start.
    static void registerScheme();

    PlayerProfile(const QString &appFolder, const QString &ruffleFolder, QObject *parent = nullptr);
    // Takes the pages of players that are still alive with it: a profile must outlive its pages.
    ~PlayerProfile() override;

    QWebEngineProfile *profile() const { return m_profile; }
    PlayerSchemeHandler *schemeHandler() const { return m_handler; }

private:
    friend class FlashPlayer;
    void attach(FlashPlayer *player);
    void detach(FlashPlayer *player);

    PlayerSchemeHandler *m_handler;
    QWebEngineProfile *m_profile;
    QList<FlashPlayer *> m_players;
};
