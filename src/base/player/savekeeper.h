#pragma once

#include <QString>
#include <QVector>

#include <functional>

class QObject;

// What games saved, as those who show the library reach it: counted per movie, written to a file the user
// carries and put back from one (whether they go with a deleted game is for Library::deleteGame). The saves live
// with the player (in its web profile); this is how the layers above it ask without knowing the player. Every
// answer comes later, on the caller's thread, and only while context lives.
class SaveKeeper
{
public:
    struct Game
    {
        QString movieFile; // the movie's file name in the flash folder: the saves are kept by it
        QString gameId;
        QString title;
    };

    enum class Outcome
    {
        Done,
        NothingSaved, // export: the games have no saves
        NotAnExport,  // import: the file is not one of ours
        Damaged,      // import: one of ours, but cut short or altered
        NewerFormat,  // import: written by a later version
        UnsafeName,   // import: a name in it would lead outside the game's saves
        TooLarge,     // import: far larger than any export
        OtherGame,    // import: the file holds the saves of other games only
        CannotRead,   // the file cannot be read
        CannotWrite,  // the file cannot be written (export), or the saves not stored (import)
        Unreachable,  // the saves store does not answer
        Declined      // import: the user kept the saves there were
    };

    struct Result
    {
        Outcome outcome = Outcome::Unreachable;
        int objects = 0; // how many shared objects were written or put back
        QString detail;  // the offending name, or the other game's title, for the message
    };

    virtual ~SaveKeeper() = default;

    // How many shared objects the movie has saved; -1 when that cannot be told.
    virtual void countSaves(const QString &movieFile, QObject *context, std::function<void(int count)> done) = 0;
    // Writes the saves of the games to file. With everyMovie, every movie's saves (a backup), games naming the
    // games that are known; without, those of games only.
    virtual void exportSaves(const QVector<Game> &games, bool everyMovie, const QString &file, QObject *context,
                             std::function<void(const Result &)> done) = 0;
    // Puts back the saves the file holds for game, replacing those it has; when it has some, only if
    // confirmReplace(count) says yes. The file is read off the caller's thread.
    virtual void importSaves(const Game &game, const QString &file, QObject *context,
                             std::function<bool(int existing)> confirmReplace,
                             std::function<void(const Result &)> done) = 0;
};
