#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace portal {

// The file of a games folder that keeps its games' ids: "ID MOVIE" lines, MOVIE the movie's file name.
constexpr const char *gameIdsFileName = ".portal-ids";

struct FolderGameIds
{
    std::vector<int> ids; // one per movie, in the order asked
    QString problem;      // what could not be read or kept; empty when all went well
};

// The ids of a games folder's movies (file names such as "snake.swf"), kept per movie in the folder's id file
// so that a game keeps its id while others come and go. A movie the file names keeps its id; the others get
// ids never given before (above every id in the file, from firstId on) in the order asked, and the file is
// written again, whole or not at all. When it cannot be written (a read-only folder) or holds what is not
// understood, it is left as it is and the new ids hold for this run only.
FolderGameIds assignGameIds(const QString &folder, const QStringList &movies, int firstId);

} // namespace portal
