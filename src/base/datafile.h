#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The rule for every file the program opens in its data folder (flash/, pic/, the queue, the partials and their
// descriptions, settings.ini, the library): a name is never followed as a link, only regular files are opened,
// opening never blocks (a FIFO), and reading stops at a limit, whatever size the file claims (a device).
namespace datafile {

enum class Links
{
    Refuse, // a link is not followed: the rule for the data folder
    Follow  // a file the user chose (an import), which may be a link to a regular file
};

// Opens path for writing (flags such as O_RDWR or O_WRONLY, O_APPEND, O_TRUNC; O_CREAT is implied) as a regular
// file. A link, FIFO, device or socket under the name is removed, never followed or opened, and a new empty file
// made in its place; a folder under the name is refused. The descriptor (close-on-exec), or -1 with *error set.
int openForWrite(const QString &path, int flags, QString *error = nullptr);

// Opens path to read when it is a regular file, without blocking (a FIFO) and without opening anything else (a
// device); the descriptor (close-on-exec), or -1 with *error set.
int openRegular(const QString &path, Links links = Links::Refuse, QString *error = nullptr);

// The bytes of path when it is a regular file of at most maxBytes; nullopt when it is missing, anything else
// (a link unless links are followed, a FIFO, a device, a folder), larger, or unreadable, with *error set.
std::optional<QByteArray> readRegular(const QString &path, qint64 maxBytes, Links links = Links::Refuse,
                                      QString *error = nullptr);

// Writes all of data to fd, going on after interruptions; false with errno set (a full disk, for one).
bool writeAll(int fd, const char *data, qint64 size);

// Replaces path with a file holding data, whole or not at all (a new file put on the disk, then renamed over the
// name): whatever lay under the name, a link included, is replaced, never written through.
bool writeAtomic(const QString &path, const QByteArray &data, QString *error = nullptr);

// Removes what lies under path unless it is a regular file or a folder (a link, FIFO, device or socket), so that a
// writer that cannot be given a descriptor (QSettings) finds either nothing or a regular file there. Whether path
// is now missing or a regular file.
bool dropUnlessRegular(const QString &path);

} // namespace datafile
