#include "base/library/gamefiling.h"

#include "base/library/gamestore.h"
#include "base/library/incomingfile.h"

namespace gamefiling {

Arrival judge(const std::optional<GameRecord> &rowWithId, const QString &title, const QString &movieFile)
{
    if (!rowWithId)
        return Arrival::New;
    const bool sameTitle = rowWithId->title == title;
    const bool sameMovie = filenaming::isWantedOrNumbered(rowWithId->movieFile, movieFile);
    return sameTitle || sameMovie ? Arrival::Again : Arrival::AnotherGame;
}

QString wantedName(const QString &fromUrl, const QString &ownName)
{
    return ownName.isEmpty() ? fromUrl : ownName;
}

bool keptForAnother(std::optional<qint64> rowsNaming, bool ownRowNamesIt, bool heldOnTheWay)
{
    // Unknown counts as named: a free name costs a copy, a replaced file costs another game its movie.
    if (!rowsNaming)
        return true;
    return *rowsNaming - (ownRowNamesIt ? 1 : 0) > 0 || heldOnTheWay;
}

} // namespace gamefiling
