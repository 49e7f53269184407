#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The first eight bytes of a Flash movie: signature, version and the length of the whole movie once
// uncompressed. Nothing that lacks them is ever stored or played as a movie.
struct SwfHeader
{
    static constexpr int size = 8;

    char compression = 'F'; // 'F' none, 'C' zlib, 'Z' LZMA
    quint8 version = 0;
    quint32 declaredLength = 0;
};

// Whether bytes start with a movie's signature ("FWS", "CWS" or "ZWS").
bool hasSwfSignature(const QByteArray &bytes);

// Reads the header at the start of bytes; nothing when there are fewer than eight bytes or no signature.
std::optional<SwfHeader> readSwfHeader(const QByteArray &bytes);

// Whether path is a regular file that starts with a movie's signature. Never opens anything else (a FIFO
// would block the caller).
bool fileHasSwfSignature(const QString &path);

// The stage colour (0xRRGGBB) a movie names in its first frame (SetBackgroundColor, wherever it comes among that
// frame's tags); nothing for a movie that names none, cannot be read, or is LZMA-compressed. Reads only as far
// as the end of the first frame, and at most a few megabytes of it.
std::optional<quint32> readSwfBackgroundColour(const QString &path);
