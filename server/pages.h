#pragma once

#include "catalogue.h"

#include <QString>

#include <string>

// The portal's HTML pages, as text; the server sends them in GBK.
namespace portal::pages {

QString left(const Catalogue &catalogue);
// The games of one category, or all of them when category is empty; "tests" lists the test movies and
// "faults" the test links, both for tests only. With clickFirstGame the page clicks its first game card by
// itself once it has loaded and is shown, as a user would.
QString main(const Catalogue &catalogue, const std::string &category, bool clickFirstGame = false);
QString site();
QString localGame();
// An HTML page for an error status; with 200 an ordinary-looking page that is not what the program asked for.
QString error(int status, const QString &detail);

// A movie or picture URL relative to the base URL (percent-encoded file name).
QString fileLink(const char *folder, const std::string &file);

} // namespace portal::pages
