#include "base/library/companiontree.h"

#include "base/library/libraryfolders.h"

#include <QByteArrayList>
#include <QFile>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace companiontree {

namespace {

// Deeper than any path a game keeps: a folder below this is listed, and removed, as one thing it cannot enter.
constexpr int maxDepth = 64;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The names of path, each plain; none when one is not (empty, ".", ".."), so nothing outside root is ever named.
QByteArrayList namesOf(const QString &path)
{
    QByteArrayList names;
    for (const QString &name : path.split(QLatin1Char('/'))) {
        if (!LibraryFolders::isPlainFileName(name))
            return {};
        names.append(QFile::encodeName(name));
    }
    return names;
}

// The folder root/names[0]/.../names[count - 1], reached one folder at a time; -1 (errno set) when one is missing
// or not a folder.
int openFolder(const QString &root, const QByteArrayList &names, int count)
{
    int fd = ::open(QFile::encodeName(root).constData(), folderFlags);
    for (int i = 0; i < count && fd >= 0; ++i) {
        const int next = ::openat(fd, names.at(i).constData(), folderFlags);
        const int error = errno;
        ::close(fd);
        fd = next;
        errno = error;
    }
    return fd;
}

// The names in the folder, as the file system spells them (not always valid UTF-8).
QByteArrayList namesIn(int folder)
{
    QByteArrayList names;
    const int fd = ::dup(folder);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

QString joined(const QString &prefix, const QByteArray &name)
{
    const QString decoded = QFile::decodeName(name);
    return prefix.isEmpty() ? decoded : prefix + QLatin1Char('/') + decoded;
}

void collect(int folder, const QString &prefix, int depth, QVector<Entry> *found)
{
    for (const QByteArray &name : namesIn(folder)) {
        struct stat st
        {
        };
        if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const QString path = joined(prefix, name);
        if (S_ISDIR(st.st_mode) && depth < maxDepth) {
            const int sub = ::openat(folder, name.constData(), folderFlags);
            if (sub >= 0) {
                collect(sub, path, depth + 1, found);
                ::close(sub);
                continue;
            }
            if (errno == ENOENT)
                continue;
        }
        found->append(Entry{path, S_ISREG(st.st_mode), S_ISREG(st.st_mode) ? qint64(st.st_size) : 0});
    }
}

bool removeAt(int folder, const QByteArray &name, const QString &shown, int depth, QStringList *removed)
{
    struct stat st
    {
    };
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) {
        if (depth >= maxDepth)
            return false;
        const int sub = ::openat(folder, name.constData(), folderFlags);
        if (sub >= 0) {
            bool all = true;
            for (const QByteArray &inner : namesIn(sub))
                all = removeAt(sub, inner, joined(shown, inner), depth + 1, removed) && all;
            ::close(sub);
            return all && (::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0 || errno == ENOENT);
        }
        // Swapped for a link or a file since it was looked at: that is removed itself.
        if (errno != ELOOP && errno != ENOTDIR)
            return errno == ENOENT;
    }
    if (::unlinkat(folder, name.constData(), 0) != 0)
        return errno == ENOENT;
    if (removed)
        removed->append(shown);
    return true;
}

} // namespace

QVector<Entry> entries(const QString &root)
{
    QVector<Entry> found;
    const int fd = openFolder(root, {}, 0);
    if (fd >= 0) {
        collect(fd, QString(), 0, &found);
        ::close(fd);
    }
    return found;
}

int openRegular(const QString &root, const QString &path)
{
    const QByteArrayList names = namesOf(path);
    if (names.isEmpty())
        return -1;
    const int folder = openFolder(root, names, int(names.size()) - 1);
    if (folder < 0)
        return -1;
    // Looked at before opening: opening a device can do something by itself.
    struct stat looked
    {
    };
    struct stat opened
    {
    };
    int fd = -1;
    if (::fstatat(folder, names.last().constData(), &looked, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(looked.st_mode))
        fd = ::openat(folder, names.last().constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    ::close(folder);
    if (fd >= 0 && (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_ino != looked.st_ino ||
                    opened.st_dev != looked.st_dev)) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

bool remove(const QString &root, const QString &path, QStringList *removed)
{
    const QByteArrayList names = namesOf(path);
    if (names.isEmpty())
        return false;
    const int folder = openFolder(root, names, int(names.size()) - 1);
    if (folder < 0)
        return errno == ENOENT;
    const bool gone = removeAt(folder, names.last(), root + QLatin1Char('/') + path, 0, removed);
    ::close(folder);
    return gone;
}

void pruneEmptyFolders(const QString &root, const QString &path)
{
    const QByteArrayList names = namesOf(path);
    for (int count = int(names.size()) - 1; count >= 2; --count) {
        const int folder = openFolder(root, names, count - 1);
        const bool pruned = folder >= 0 && ::unlinkat(folder, names.at(count - 1).constData(), AT_REMOVEDIR) == 0;
        if (folder >= 0)
            ::close(folder);
        if (!pruned)
            return;
    }
}

} // namespace companiontree
