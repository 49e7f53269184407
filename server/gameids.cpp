#include "gameids.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portal {

namespace {

constexpr qint64 maxIdFileBytes = 4 << 20;
// Far below INT_MAX, so that the ids given after the highest one cannot overflow.
constexpr long long maxId = 2000000000;

const char header[] = "# quillabrix-portal: the id of each movie of this folder, \"ID MOVIE\" a line. An id is never\n"
                      "# given to another movie, also after its own is removed. In MOVIE, \\\\ \\n \\r stand for\n"
                      "# a backslash, a line feed, a carriage return.\n";

// Movie names are kept one a line, so the characters that would end a line are written as escapes.
QString escaped(const QString &name)
{
    QString out;
    for (const QChar c : name) {
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

// The name an escaped one stands for; empty when an escape is not understood.
QString unescaped(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out += text[i];
            continue;
        }
        const QChar next = i + 1 < text.size() ? text[++i] : QChar();
        if (next == u'\\')
            out += u'\\';
        else if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else
            return QString();
    }
    return out;
}

struct IdFile
{
    QByteArray bytes;
    QString problem; // why a file that is there cannot be read, or taken as ours to rewrite
};

// The id file as a regular file of the folder itself: a link, a FIFO or anything else is left alone (and
// opening a FIFO cannot block start-up).
IdFile readIdFile(const QString &path)
{
    IdFile file;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            file.problem = errno == ELOOP ? QStringLiteral("a link") : QString::fromLocal8Bit(std::strerror(errno));
        return file;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        file.problem = QStringLiteral("not a regular file");
    } else if (status.st_size > maxIdFileBytes) {
        file.problem = QStringLiteral("larger than %1 MiB").arg(maxIdFileBytes >> 20);
    } else {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && file.bytes.size() <= maxIdFileBytes)
            file.bytes.append(buffer, n);
        if (n < 0)
            file.problem = QString::fromLocal8Bit(std::strerror(errno));
        else if (file.bytes.size() > maxIdFileBytes) // it grew while read
            file.problem = QStringLiteral("larger than %1 MiB").arg(maxIdFileBytes >> 20);
    }
    ::close(fd);
    if (!file.problem.isEmpty())
        file.bytes.clear();
    return file;
}

// Portals started together on one folder take turns with its id file, so that no two give one id to
// different movies. Without a lock (a folder that cannot be opened) each goes on alone.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // also releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd;
};

} // namespace

FolderGameIds assignGameIds(const QString &folder, const QStringList &movies, int firstId)
{
    FolderGameIds result;
    if (movies.isEmpty())
        return result;
    const QString path = QDir(folder).filePath(QLatin1String(gameIdsFileName));
    QStringList problems;
    const FolderLock lock(folder);

    const IdFile file = readIdFile(path);
    // What is not understood is the user's to mend; the file is not written over it.
    bool writable = file.problem.isEmpty();
    if (!file.problem.isEmpty())
        problems << QStringLiteral("%1 (%2)").arg(path, file.problem);
    std::map<QString, int> idOf;
    std::set<int> given;
    long long highest = firstId - 1;
    const QList<QByteArray> lines = file.bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype space = line.indexOf(' ');
        const QByteArray digits = line.left(space);
        const bool number = space > 0 && space <= 10 &&
                            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        const long long id = number ? digits.toLongLong() : 0;
        const QString name = number ? unescaped(QString::fromUtf8(line.mid(space + 1))) : QString();
        if (id < firstId || id > maxId || name.isEmpty() || idOf.count(name) || given.count(int(id))) {
            if (id <= maxId) // the id a line meant is not given to a new movie either
                highest = std::max(highest, id);
            problems << QStringLiteral("%1 line %2 not understood").arg(path).arg(i + 1);
            writable = false;
            continue;
        }
        idOf[name] = int(id);
        given.insert(int(id));
        highest = std::max(highest, id);
    }

    bool added = false;
    for (const QString &movie : movies) {
        auto it = idOf.find(movie);
        if (it == idOf.end()) {
            it = idOf.emplace(movie, int(++highest)).first;
            added = true;
        }
        result.ids.push_back(it->second);
    }

    if (added && writable) {
        std::vector<std::pair<int, QString>> byId;
        for (const auto &[name, id] : idOf)
            byId.emplace_back(id, name);
        std::sort(byId.begin(), byId.end());
        QByteArray text = header;
        for (const auto &[id, name] : byId)
            text += QByteArray::number(id) + ' ' + escaped(name).toUtf8() + '\n';
        // A temporary file renamed over the old one: a crash or a full disk leaves the old file whole.
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
            problems << QStringLiteral("cannot write %1 (%2)").arg(path, out.errorString());
            writable = false;
        }
    }
    if (added && !writable)
        problems << QStringLiteral("the ids of new games hold for this run only");
    result.problem = problems.join(QLatin1String("; "));
    return result;
}

} // namespace portal
