#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

class QObject;

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
// The manifest names at most maxObjects objects and games: a few hundred bytes each.
inline constexpr qint64 maxManifestSize = 4 * 1024 * 1024;

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
    QString gameId;    // the game server's id (negative for the user's own games); may be empty
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
    TooLarge,    // larger than any export, as a file or as what its manifest names
    CannotRead   // the file cannot be read (detail: why)
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
// The games' saves in a file's bytes. What the manifest names is counted as it is handed out: an object named
// many times counts each time, so a small file cannot name more than maxObjects objects and maxFileSize bytes.
ReadResult read(const QByteArray &file);
// The same, from the file at path.
ReadResult readFile(const QString &path);
// Reads the file at path on a thread of the pool, then gives its saves to done on context's thread; nothing
// when context is gone by then. A file of tens of megabytes takes long enough to inflate and check that the
// window would stop answering.
void readFileLater(const QString &path, QObject *context, std::function<void(const ReadResult &)> done);

// Whether a shared object's key may be written under a movie's address: relative, without "." or ".." steps,
// backslashes or control characters.
bool isSafeKey(const QString &key);
// Whether name can be a file in the flash folder: one plain name.
bool isPlainFileName(const QString &name);

} // namespace savesarchive
