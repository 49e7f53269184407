#include "base/library/gameids.h"

bool gameids::isServerGameId(const QString &gameId)
{
    bool ok = false;
    const qint64 number = gameId.trimmed().toLongLong(&ok);
    return ok && number > 0;
}
