#pragma once

#include <QString>

#include <optional>

struct GameRecord;

// How a game from the game server is filed into the library, decided from what the library holds. Plain
// decisions on values: the caller reads the store and moves the files.
namespace gamefiling {

enum class Arrival
{
    New,        // no row has the game's id: it is recorded
    Again,      // the row with its id is this game, downloaded again: its files are replaced, the row stays
    AnotherGame // the row with its id is plainly another game (another title and another movie): the row stays,
                // and this game can be neither recorded nor kept
};

// What the game with this title and movie file name (from its URL) is to the row the library holds under its
// id. A movie name counts as the row's own also when the file-name rule gave the row a numbered name in its
// place.
Arrival judge(const std::optional<GameRecord> &rowWithId, const QString &title, const QString &movieFile);

// The name a game's file is stored under: the one its own row names when the game comes again (its own file is
// replaced, and the row goes on naming it), else the one from its URL.
QString wantedName(const QString &fromUrl, const QString &ownName);

// Whether a file must stay as it is when another game's file comes under its name: rows of the library name it
// (rowsNaming, unknown when the library cannot be read), the game's own row among them when ownRowNamesIt, or a
// game still on its way to its row holds it.
bool keptForAnother(std::optional<qint64> rowsNaming, bool ownRowNamesIt, bool heldOnTheWay);

} // namespace gamefiling
