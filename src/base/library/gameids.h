#pragma once

#include <QString>

// Where a game came from, told by its id. The game server numbers its games from one up; the library numbers the
// games the user adds from their own files from minus one down, so that the two can never be taken for each other.
namespace gameids {

// Whether gameId is the game server's: a whole number above zero, blanks around it allowed. The server never gives
// a game any other, and the library never records one under any other.
bool isServerGameId(const QString &gameId);

// Whether the game is one of the user's own: one the game server cannot give again, whose movie is only in the
// user's files. The library gives them ids below zero; a row whose id names no server game is one all the same.
inline bool isOwnGame(const QString &gameId)
{
    return !isServerGameId(gameId);
}

} // namespace gameids
