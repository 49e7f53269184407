#pragma once

#include <QString>

// Where the program finds its delivered files and where it keeps what the user gathers.
//
// The rule is the layout the program finds itself in, never the permissions it has (root may write anywhere):
// - a self-contained folder (build/app, or a copy of it): the player's assets are beside the program
//   (ruffle/ruffle.js); the library, flash/, pic/ and saves/ stay beside it too;
// - an installed program (PREFIX/bin/quillabrix with no player assets beside it and PREFIX/share/quillabrix
//   holding them): read-only files come from PREFIX/share/quillabrix, and the user's data lives in
//   USERDATA/quillabrix, USERDATA being $XDG_DATA_HOME (default ~/.local/share). Nothing is written under PREFIX.
// A folder that holds neither is taken as self-contained, as the program always was.
struct AppFolders
{
    QString files;          // read-only: player assets, artwork, local page, placeholder movie, empty library
    QString data;           // writable: the library, flash/, pic/, saves/
    bool installed = false; // files and data are apart
};

namespace appfolders {

// USERDATA: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share. A relative value is ignored, as the
// XDG rule says: followed from the current folder it would put the user's data wherever the program was started.
QString userDataHome(const QString &xdgDataHome, const QString &homeFolder);

// programFolder: the folder that holds the executable; userDataHome: $XDG_DATA_HOME or its default;
// installedFiles: where an installed program's read-only files are, relative to programFolder.
AppFolders locate(const QString &programFolder, const QString &userDataHome,
                  const QString &installedFiles = QStringLiteral("../share/quillabrix"));

// For an installed program: makes the data folder and gives it a copy of the delivered empty library when it
// has none. Returns an error text, empty on success. A self-contained folder is left as it is.
QString prepare(const AppFolders &folders);

} // namespace appfolders
