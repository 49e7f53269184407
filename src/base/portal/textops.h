#pragma once

#include "base/textcodes.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The game server speaks code page 936 (GBK); these turn its answers and URLs into text and file names.

// Decodes the server's hex-coded text: every group of four hex digits is one code page 936 character
// (up to 0xFF a single byte, above that lead byte << 8 | trail byte). An empty input is absent; a group that
// is not hexadecimal makes the whole result absent and sets *error. A short last group counts as the number
// it spells ("00413" is "A" followed by U+0003).
std::optional<QString> decode(const QString &x, bool *error = nullptr);

// Reads a server body as GBK text; an absent or empty body is the empty text.
QString BytesToBstr(const std::optional<QByteArray> &body);

// The text after the last occurrence of separator, or the empty text when it does not occur.
QString get_last_segment(const QString &text, const QString &separator);

// Whether a name taken from a server URL may be used as a file name inside one of our folders: it must name
// a file in that folder and nothing else (no empty name, ".", "..", path separators or control characters).
bool isSafeFileName(const QString &name);
