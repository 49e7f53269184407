#pragma once

#include <QObject>
#include <QString>

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
    // Emits releasingPages() first: a profile must outlive the pages made with it.
    ~PlayerProfile() override;

    QWebEngineProfile *profile() const { return m_profile; }
    PlayerSchemeHandler *schemeHandler() const { return m_handler; }

signals:
    // The profile is going: every page made with it must be deleted now.
    void releasingPages();

private:
    PlayerSchemeHandler *m_handler;
    QWebEngineProfile *m_profile;
};
