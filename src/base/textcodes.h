#pragma once

#include <QString>

// The game server writes an apostrophe as "#39;" and a double quote as "#34;" in titles and descriptions;
// the library keeps the codes, and only the description labels turn them back.
inline QString turnBackCodes(QString text)
{
    text.replace(QLatin1String("#39;"), QLatin1String("'"));
    text.replace(QLatin1String("#34;"), QLatin1String("\""));
    return text;
}
