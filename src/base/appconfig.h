#pragma once

#include <QString>
#include <QUrl>

// What the game box is told from outside: where it lives and which servers it talks to.
struct AppConfig
{
    QString appFolder;    // the folder that holds the program and its library
    QUrl serverUrl;       // the game server's base URL, ending in "/"
    QUrl siteUrl;         // the maker's web site, opened by the logo
    QString ruffleFolder; // the Flash player's assets; appFolder + "/ruffle" unless told otherwise

    QString ruffleDir() const { return ruffleFolder.isEmpty() ? appFolder + QStringLiteral("/ruffle") : ruffleFolder; }
};
