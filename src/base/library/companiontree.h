#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The companion folder (companion/<row id>/<path>) as the library reads and clears it: by descriptors, one folder at
// a time, never entering or following a link anywhere on the way. A link, FIFO or device found there is only ever
// looked at and removed itself, whatever it points to; a folder swapped for a link meanwhile stops the walk there.
// Paths are relative to the root given, plain names joined by '/'.
namespace companiontree {

// Something under the root that is not a folder, or a folder too deep to enter.
struct Entry
{
    QString path;
    bool regular = false; // a regular file (a link, FIFO, device, socket or folder is not)
    qint64 size = 0;      // of a regular file
};

// Everything under root but its folders, in no particular order; nothing when root is no folder (or a link).
QVector<Entry> entries(const QString &root);

// Opens root/path to read when every folder on the way is a folder (no link) and path a regular file, without
// blocking; the descriptor (close-on-exec), or -1.
int openRegular(const QString &root, const QString &path);

// Removes root/path, a whole folder with all in it or a file (a link: the link itself), never through a link on the
// way. Appends what it removed that is not a folder (root/path form) to removed. Whether nothing is left at path.
bool remove(const QString &root, const QString &path, QStringList *removed = nullptr);

// Removes the folders on the way to root/path that hold nothing any more, deepest first, down to (not including)
// root/<first name of path>.
void pruneEmptyFolders(const QString &root, const QString &path);

} // namespace companiontree
