#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The installed font that stands in for the device fonts a movie names: `_sans`, `_serif`, `_typewriter`
// and any font the machine lacks (such as the Chinese system fonts of another platform, in which most games
// from a Chinese portal write their text). Ruffle's own device font has Latin glyphs only; this one has
// Chinese ones as well. Ruffle reads the file itself and knows each face by its full name.
struct DeviceFont
{
    QString path;
    QStringList regularNames;   // the names Ruffle may know the first face by, best first
    QStringList monospaceNames; // the fixed-width face's, or the first face's when the file has none

    // The first usable font of the places a Debian system installs Chinese fonts in, the package the program
    // depends on first.
    static std::optional<DeviceFont> find();
    // The faces of one TrueType or OpenType file or collection; nothing for a file that holds no font.
    static std::optional<DeviceFont> read(const QString &path);
};
