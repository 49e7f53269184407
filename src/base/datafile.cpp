#include "base/datafile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace datafile {

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool failErrno(QString *error)
{
    return fail(error, qt_error_string(errno));
}

// Whether a descriptor opened under a name is still the file looked at under it: nothing was swapped in between.
bool sameFile(const struct stat &looked, const struct stat &opened)
{
    return looked.st_dev == opened.st_dev && looked.st_ino == opened.st_ino;
}

} // namespace

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

int openForWrite(const QString &path, int flags, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // A few rounds at most: a name that changes kind between looking and opening is planted, not ours.
    for (int round = 0; round < 4; ++round) {
        struct stat looked;
        if (::lstat(name.constData(), &looked) == 0 && !S_ISREG(looked.st_mode)) {
            if (S_ISDIR(looked.st_mode)) {
                fail(error, QStringLiteral("%1 is a folder").arg(path));
                return -1;
            }
            if (::unlink(name.constData()) != 0 && errno != ENOENT) {
                failErrno(error);
                return -1;
            }
        }
        const int fd = ::open(name.constData(), flags | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == ELOOP || errno == ENXIO || errno == EISDIR)
                continue;
            failErrno(error);
            return -1;
        }
        struct stat opened;
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        ::close(fd);
    }
    fail(error, QStringLiteral("%1 is not a regular file").arg(path));
    return -1;
}

int openRegular(const QString &path, Links links, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before opening: opening a device can do something by itself.
    struct stat looked;
    if ((links == Links::Refuse ? ::lstat(name.constData(), &looked) : ::stat(name.constData(), &looked)) != 0) {
        failErrno(error);
        return -1;
    }
    if (!S_ISREG(looked.st_mode)) {
        fail(error, QStringLiteral("%1 is not a regular file").arg(path));
        return -1;
    }
    const int fd = ::open(name.constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0) {
        failErrno(error);
        return -1;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(looked, opened)) {
        ::close(fd);
        fail(error, QStringLiteral("%1 is not a regular file").arg(path));
        return -1;
    }
    return fd;
}

std::optional<QByteArray> readRegular(const QString &path, qint64 maxBytes, Links links, QString *error)
{
    const int fd = openRegular(path, links, error);
    if (fd < 0)
        return std::nullopt;
    struct stat opened
    {
    };
    ::fstat(fd, &opened); // a regular file a moment ago; its size only guesses the buffer
    // One byte past the limit tells a file that is too large, whatever size it claims.
    QByteArray bytes(qsizetype(qBound<qint64>(0, qint64(opened.st_size), maxBytes) + 1), Qt::Uninitialized);
    qint64 done = 0;
    while (done <= maxBytes) {
        if (done == bytes.size())
            bytes.resize(qsizetype(qMin(maxBytes + 1, 2 * done)));
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failErrno(error);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd);
    if (done > maxBytes) {
        fail(error, QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes));
        return std::nullopt;
    }
    bytes.truncate(qsizetype(done));
    return bytes;
}

bool writeAtomic(const QString &path, const QByteArray &data, QString *error)
{
    QByteArray temporary;
    int fd = -1;
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
        temporary = QFile::encodeName(path) + '.' +
                    QByteArray::number(QRandomGenerator::global()->bounded(quint32(1) << 30), 36);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return failErrno(error);
    }
    if (fd < 0)
        return failErrno(error);
    // rename() replaces the name itself: a link there is replaced, its target left alone.
    if (!writeAll(fd, data.constData(), data.size()) || ::fdatasync(fd) != 0) {
        failErrno(error);
        ::close(fd);
        ::unlink(temporary.constData());
        return false;
    }
    ::close(fd);
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        failErrno(error);
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

bool dropUnlessRegular(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat looked;
    if (::lstat(name.constData(), &looked) != 0)
        return errno == ENOENT;
    if (S_ISREG(looked.st_mode))
        return true;
    if (S_ISDIR(looked.st_mode))
        return false;
    return ::unlink(name.constData()) == 0 || errno == ENOENT;
}

} // namespace datafile
