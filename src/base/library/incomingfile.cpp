#include "base/library/incomingfile.h"

#include "base/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filenaming {

QString numberedName(const QString &name, int n)
{
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString suffix = QStringLiteral("-%1").arg(n);
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

bool isWantedOrNumbered(const QString &name, const QString &wanted)
{
    if (name == wanted)
        return true;
    const int dot = int(wanted.lastIndexOf(QLatin1Char('.')));
    const QString stem = (dot <= 0 ? wanted : wanted.left(dot)) + QLatin1Char('-');
    const QString extension = dot <= 0 ? QString() : wanted.mid(dot);
    if (name.size() <= stem.size() + extension.size() || !name.startsWith(stem) || !name.endsWith(extension))
        return false;
    const QString number = name.mid(stem.size(), name.size() - stem.size() - extension.size());
    bool ok = false;
    const int n = number.toInt(&ok);
    return ok && n >= 2 && number == QString::number(n);
}

QString placeUnderFreeName(const QString &wanted, const std::function<Attempt(const QString &name)> &place,
                           QString *error)
{
    QString name = wanted;
    for (int n = 2;; ++n) {
        switch (place(name)) {
        case Attempt::Placed:
            return name;
        case Attempt::Failed:
            return QString();
        case Attempt::Taken:
            break;
        }
        if (n > maxNameTries) {
            if (error)
                *error = QStringLiteral("no free name for %1").arg(wanted);
            return QString();
        }
        name = numberedName(wanted, n);
    }
}

} // namespace filenaming

namespace {

const QLatin1String hiddenPrefix(".incoming-");

QString errnoText()
{
    return qt_error_string(errno);
}

// A folder name or a file already there under a name that rename() cannot replace.
bool nameInUse(int error)
{
    return error == EEXIST || error == EISDIR || error == ENOTEMPTY;
}

} // namespace

bool IncomingFile::isStandInName(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

IncomingFile::IncomingFile(const QString &folder) : m_folder(QDir(folder).absolutePath()) {}

IncomingFile::~IncomingFile()
{
    close();
}

void IncomingFile::close()
{
    if (!m_kept) {
        discard();
        return;
    }
    ::close(m_fd);
    m_fd = -1;
    m_hiddenPath.clear();
    m_kept = false;
}

bool IncomingFile::open()
{
    close();
    m_error.clear();
    // A nameless file is given its name through /proc; without it there is no way to name it at all.
    static const bool procfs = QFileInfo(QStringLiteral("/proc/self/fd")).isDir();
    if (procfs) {
        m_fd = ::open(QFile::encodeName(m_folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
        if (m_fd >= 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EISDIR) {
            m_error = errnoText();
            return false;
        }
    }
    return takeHiddenName([this](const QByteArray &path) {
        m_fd = ::open(path.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0644);
        return m_fd >= 0;
    });
}

bool IncomingFile::openKept(const QString &hiddenName)
{
    close();
    m_error.clear();
    const QString path = QDir(m_folder).filePath(hiddenName);
    // A link planted under the name is dropped, never written through: the download then starts over.
    m_fd = datafile::openForWrite(path, O_RDWR, &m_error);
    if (m_fd < 0)
        return false;
    // The lock goes with the descriptor: a program killed holds none.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::lseek(m_fd, 0, SEEK_END) < 0) {
        m_error = errno == EWOULDBLOCK ? QStringLiteral("%1 is in use").arg(hiddenName) : errnoText();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_hiddenPath = path;
    m_kept = true;
    return true;
}

bool IncomingFile::isInUse(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

qint64 IncomingFile::size() const
{
    struct stat status;
    return m_fd >= 0 && ::fstat(m_fd, &status) == 0 ? qint64(status.st_size) : -1;
}

bool IncomingFile::truncate()
{
    if (::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0)
        return true;
    m_error = errnoText();
    return false;
}

bool IncomingFile::takeHiddenName(const std::function<bool(const QByteArray &path)> &make)
{
    for (int tries = 0; tries < 100; ++tries) {
        const QString path =
            QDir(m_folder).filePath(hiddenPrefix + QString::number(QRandomGenerator::global()->generate64(), 36));
        if (make(QFile::encodeName(path))) {
            m_hiddenPath = path;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    m_error = errnoText();
    return false;
}

bool IncomingFile::write(const char *data, qint64 size)
{
    if (datafile::writeAll(m_fd, data, size))
        return true;
    m_error = errnoText();
    return false;
}

bool IncomingFile::sync()
{
    if (::fdatasync(m_fd) == 0)
        return true;
    m_error = errnoText();
    return false;
}

QByteArray IncomingFile::readBack(qint64 maxBytes) const
{
    struct stat status;
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0)
        return QByteArray();
    const qint64 size = maxBytes < 0 ? qint64(status.st_size) : qMin(maxBytes, qint64(status.st_size));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(m_fd, bytes.data() + done, size_t(bytes.size() - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return QByteArray();
        done += n;
    }
    return bytes;
}

bool IncomingFile::nameHidden()
{
    if (!m_hiddenPath.isEmpty())
        return true;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    return takeHiddenName([&self](const QByteArray &path) {
        return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
    });
}

filenaming::Attempt IncomingFile::linkAs(const QString &name)
{
    const QByteArray target = QFile::encodeName(QDir(m_folder).filePath(name));
    int result;
    if (m_hiddenPath.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        result = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW);
    } else {
        result = ::link(QFile::encodeName(m_hiddenPath).constData(), target.constData());
    }
    if (result != 0) {
        if (nameInUse(errno))
            return filenaming::Attempt::Taken;
        m_error = errnoText();
        return filenaming::Attempt::Failed;
    }
    if (!m_hiddenPath.isEmpty())
        ::unlink(QFile::encodeName(m_hiddenPath).constData());
    m_hiddenPath.clear();
    m_kept = false;
    ::close(m_fd);
    m_fd = -1;
    return filenaming::Attempt::Placed;
}

filenaming::Attempt IncomingFile::replaceFile(const QString &name)
{
    // Where nothing has the name yet, linking gives it without a stand-in name that a crash could leave behind.
    if (m_hiddenPath.isEmpty()) {
        const filenaming::Attempt linked = linkAs(name);
        if (linked != filenaming::Attempt::Taken)
            return linked;
    }
    // rename() replaces in one step, so the name never lacks a whole file; it needs a name to start from.
    if (!nameHidden())
        return filenaming::Attempt::Failed;
    const QString target = QDir(m_folder).filePath(name);
    if (::rename(QFile::encodeName(m_hiddenPath).constData(), QFile::encodeName(target).constData()) != 0) {
        if (nameInUse(errno))
            return filenaming::Attempt::Taken;
        m_error = errnoText();
        return filenaming::Attempt::Failed;
    }
    m_hiddenPath.clear();
    m_kept = false;
    ::close(m_fd);
    m_fd = -1;
    return filenaming::Attempt::Placed;
}

QString IncomingFile::place(const FileNaming &naming)
{
    if (m_fd < 0) {
        m_error = QStringLiteral("the file is not open");
        return QString();
    }
    // Such a name could replace a file still coming in, another game's partial download among them.
    if (isStandInName(naming.wanted)) {
        m_error = QStringLiteral("the name %1 is kept for files still coming in").arg(naming.wanted);
        return QString();
    }
    QString error;
    const QString name = filenaming::placeUnderFreeName(
        naming.wanted,
        [&](const QString &candidate) {
            if (candidate != naming.wanted && !naming.numbering) {
                error = QStringLiteral("the name %1 is in use").arg(naming.wanted);
                return filenaming::Attempt::Failed;
            }
            if (naming.keep && naming.keep(candidate))
                return filenaming::Attempt::Taken;
            return naming.replaceWanted && candidate == naming.wanted ? replaceFile(candidate) : linkAs(candidate);
        },
        &error);
    if (name.isEmpty() && !error.isEmpty())
        m_error = error;
    return name;
}

void IncomingFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_hiddenPath.isEmpty())
        ::unlink(QFile::encodeName(m_hiddenPath).constData());
    m_hiddenPath.clear();
    m_kept = false;
}
