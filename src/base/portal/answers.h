#pragma once

#include "base/portal/transferlimits.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The game server's answers, read into plain values. Nothing here touches the network, files or widgets.

// A details answer larger than this names no game, nor does one with a field longer than maxFieldLength
// characters: no real title or URL comes near, and a server sending more wants to hurt.
constexpr qint64 maxDetailsBytes = transferlimits::answerMaxBytes;
constexpr int maxFieldLength = 64 * 1024;

// The status answer at start-up: "ok|banner URL|banner size|download advertisement URL|its size|its link".
struct StartupAnswer
{
    bool ok = false;                // the first field is exactly "ok"; anything else refuses the program
    QString gg_1;                   // the banner movie's URL
    std::optional<qint64> gg_size1; // its size in bytes; absent when missing or not a number
    QString gg_2;                   // the download panel's advertisement movie
    std::optional<qint64> gg_size2;
    QString gg_2_url; // the advertisement's link
};

// Reads the status answer, already turned into text. Missing fields stay empty.
StartupAnswer parseStartupAnswer(const QString &answer);

// The file name an advertisement is kept under in the pic folder: the URL's last segment, or empty when
// that could not be a plain file there.
QString advertisementFileName(const QString &url);

// One game as the details answer describes it, with the file names the program derives from its URLs.
struct GameDetails
{
    QString gameId;      // the server's identifier of the game
    QString title;       // with the server's text codes
    QString description; // with the server's text codes
    QString movieUrl;
    QString pictureUrl;
    QString movieFile;   // the movie's file name in the flash folder
    QString pictureFile; // the picture's file name in the pic folder

    bool operator==(const GameDetails &other) const;
    bool operator!=(const GameDetails &other) const { return !(*this == other); }
};

// Reads a details answer: the body as the server sent it (absent when no answer arrived), hex-coded GBK text
// of "id|title|description|movie URL|picture URL". Fields the answer lacks keep their values from previous,
// the game read before. Nothing comes back when the answer names no game: no answer, an answer or a field
// over its limit, text that is not hex, blank or zero, or a movie or picture name that could not be a plain
// file in our folders; *whyNot then says which, for the log.
std::optional<GameDetails> parseGameDetails(const std::optional<QByteArray> &body, const GameDetails &previous,
                                            QString *whyNot = nullptr);

// Reads an advertisement size: a whole number, surrounding blanks allowed; absent otherwise.
std::optional<qint64> parseSize(const QString &field);

// The game server says "0" for a game it does not know; a blank answer means the same.
bool readsAsZero(const QString &answer);
