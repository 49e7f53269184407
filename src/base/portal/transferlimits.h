#pragma once

#include "base/library/movielimits.h"

#include <QtGlobal>

// How much and how long the program takes from the game server, in one place: a server that sends too much, too
// slowly or without end is given up at these bounds, and however busy the window, no answer piles up in memory.
namespace transferlimits {

// A transfer that moves no data for this long is given up.
constexpr int stalledMs = 30000;
// What the network may hold for us before it waits; a movie's is larger, so that each turn of the event loop
// writes a good piece of it.
constexpr qint64 readBufferBytes = 256 * 1024;
constexpr qint64 movieReadBufferBytes = 1024 * 1024;

// A page answer (the status, a game's details) larger than this, or still coming after answerMaxMs, counts as
// no answer: a steady trickle never lets the stall timeout fire.
constexpr qint64 answerMaxBytes = 1024 * 1024;
constexpr int answerMaxMs = 60000;

// A picture or advertisement larger than this is given up; a game's picture still coming after pictureMaxMs
// is given up and the game recorded without it, an advertisement after advertisementMaxMs.
constexpr qint64 fileMaxBytes = 16 * 1024 * 1024;
constexpr int pictureMaxMs = 60000;
constexpr int advertisementMaxMs = 15000;

// A movie: what the library takes of one.
constexpr qint64 movieMaxBytes = movielimits::maxBytes;

} // namespace transferlimits
