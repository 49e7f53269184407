#pragma once

#include <QString>
#include <QUrl>

// What the game box is told from outside: where it lives and which servers it talks to.
struct AppConfig
{
    QString appFolder;    // the program's delivered, read-only files: player assets, artwork, local page
    QUrl serverUrl;       // the game server's base URL, ending in "/"
    QUrl siteUrl;         // the maker's web site, opened by the logo
    QString ruffleFolder; // the Flash player's assets; appFolder + "/ruffle" unless told otherwise
    QString dataFolder;   // what the user gathers: the library, flash/, pic/, saves/; appFolder unless told otherwise

    QString ruffleDir() const { return ruffleFolder.isEmpty() ? appFolder + QStringLiteral("/ruffle") : ruffleFolder; }
    QString dataDir() const { return dataFolder.isEmpty() ? appFolder : dataFolder; }
};
