#pragma once

#include <QString>

// A data folder whose encrypted library holds a given number of games, with titles and descriptions
// of the length and the mix of languages the game server sends. Titles are made of words that occur with very
// different frequencies, so that a search can be found that matches a few hundred games at any size.
struct SeededLibrary
{
    // The game with the highest id (shown first) is number `games`; games number `games - pictures + 1` on
    // have a picture in pic/.
    static constexpr int pictures = 40;

    // Writes the library into dataFolder (which must exist); fails the program when it cannot.
    static SeededLibrary write(const QString &dataFolder, int games);

    int games = 0;
    qint64 fileBytes = 0;
    double seedMilliseconds = 0;
    // Three letters that start a word of some titles, found in no other word nor in any description
    // template: of such words, the one held by the number of games closest to a few hundred.
    QString search;
    // A letter that, typed after `search`, leaves no game; and one that every game's description holds.
    QChar matchesNone;
    QChar matchesAll;
};
