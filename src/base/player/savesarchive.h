#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// The file the user keeps a game's saves in: a zip (stored, not compressed) of one .sol file per shared object,
// under a folder named after the game's movie, with a manifest naming the games and, for each file, the name the
// player keeps it under. Reading trusts nothing in it: a file that is not one, or that names a place outside its
// game, is refused whole.
namespace savesarchive {

// The manifest's own name in the zip, and the format it declares.
inline constexpr char manifestName[] = "quillabrix-saves.json";
inline constexpr char formatName[] = "quillabrix-saves";
inline constexpr int formatVersion = 1;
// An export is small (the player keeps a few megabytes per site): anything larger is not one.
inline constexpr qint64 maxFileSize = 64 * 1024 * 1024;
inline constexpr int maxObjects = 10000;

// One shared object: key is the name the player keeps it under, after the movie's own address ("name", or
// "~<host>/<path>/name" for an object of a path above the movie's); data is the .sol file's bytes.
struct SharedObject
{
    QString key;
    QByteArray data;
};

struct GameSaves
{
    QString movieFile; // the movie's file name in the library's flash folder
    QString gameid;    // the game server's id (negative for the user's own games); may be empty
    QString title;
    QVector<SharedObject> objects;
};

enum class Problem
{
    None,
    NotAnExport, // not a zip, or a zip without our manifest
    Damaged,     // a zip of ours that is cut short or whose contents do not match their checksums
    NewerFormat, // made by a later version of the program
    UnsafeName,  // a name that is a path out of its place ("../x", "/x", "C:x", "a\\b")
    TooLarge
};

struct ReadResult
{
    Problem problem = Problem::None;
    QString detail; // the offending name, for the log and the message
    QVector<GameSaves> games;
};

struct ZipEntry
{
    QString name;
    QByteArray data;
};
// A zip of these entries, stored as they are, in this order.
QByteArray zip(const QVector<ZipEntry> &entries);

// The zip of these games' saves; games without objects are listed in the manifest all the same.
QByteArray write(const QVector<GameSaves> &games);
ReadResult read(const QByteArray &file);

// Whether a shared object's key may be written under a movie's address: relative, without "." or ".." steps,
// backslashes or control characters.
bool isSafeKey(const QString &key);
// Whether name can be a file in the flash folder: one plain name.
bool isPlainFileName(const QString &name);

} // namespace savesarchive
