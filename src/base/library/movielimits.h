#pragma once

#include <QtGlobal>

// What the library takes of a movie, however it comes in (downloaded from the game server or added by the user).
namespace movielimits {

// A movie larger than this is refused.
constexpr qint64 maxBytes = qint64(1) << 30;
// A movie that would leave the disk with less than this free is refused: the library file and the saves need
// room too.
constexpr qint64 diskReserveBytes = qint64(256) << 20;

} // namespace movielimits
