#pragma once

#include <QString>

#include <string>

// How the portal puts text on the wire: everything it sends is GBK (code page 936).
namespace portal {

// The GBK bytes of text.
std::string gbk(const QString &text);

// The hex-coding of game details: each code page 936 character as four hex digits, a single byte as 00XX and
// a double-byte character as its lead byte followed by its trail byte.
std::string hexCoded(const QString &text);

// Titles and descriptions carry an apostrophe as "#39;" and a double quote as "#34;".
QString withCodes(const QString &text);

} // namespace portal
