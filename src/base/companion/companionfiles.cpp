#include "base/companion/companionfiles.h"

#include "base/datafile.h"
#include "base/library/companiontree.h"
#include "base/library/incomingfile.h"
#include "base/logging.h"
#include "base/portal/serverfetch.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr qint64 blockBytes = 256 * 1024;
constexpr int maxSegmentBytes = 255;
constexpr int maxPathChars = 2048;

// The size and SHA-256 of the regular file at path, read through its descriptor; none when it cannot be read whole.
std::optional<KeptFile> digestOf(int fd, const QString &path)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(blockBytes, Qt::Uninitialized);
    qint64 size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        hash.addData(QByteArrayView(block.constData(), n));
        size += n;
    }
    return KeptFile{path, size, hash.result()};
}

std::optional<KeptFile> digestFile(const QString &filePath, const QString &path)
{
    const int fd = datafile::openRegular(filePath);
    if (fd < 0)
        return std::nullopt;
    const std::optional<KeptFile> digest = digestOf(fd, path);
    ::close(fd);
    return digest;
}

// Whether path is a folder itself, not a link to one.
bool isPlainFolder(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString lastSegment(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

struct CompanionFiles::Job
{
    qint64 id = 0;
    QString path, query;
    struct Waiter
    {
        QPointer<QObject> context;
        Answer done;
    };
    QVector<Waiter> waiters;
};

struct CompanionFiles::GameFiles
{
    QHash<QString, KeptFile> files;
    QHash<QString, QString> spellings; // case-folded path -> the path kept
    QSet<QString> again;               // to be fetched again though kept
    qint64 bytes = 0;

    void keep(const KeptFile &file)
    {
        bytes -= files.value(file.path).size;
        files.insert(file.path, file);
        spellings.insert(file.path.toCaseFolded(), file.path);
        bytes += file.size;
        again.remove(file.path);
    }
};

CompanionFiles::CompanionFiles(GameStore *store, ServerFetch *fetch, QObject *parent)
    : QObject(parent), m_store(store), m_fetch(fetch)
{
    m_pool.setMaxThreadCount(2);
    m_recordTimer.setSingleShot(true);
    m_recordTimer.setInterval(250);
    connect(&m_recordTimer, &QTimer::timeout, this, &CompanionFiles::writeRecords);
}

CompanionFiles::~CompanionFiles()
{
    m_pool.waitForDone();
    writeRecords();
    qDeleteAll(m_jobs);
    qDeleteAll(m_games);
}

std::optional<QString> CompanionFiles::checkedPath(const QString &path)
{
    if (path.isEmpty() || path.size() > maxPathChars || path.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    const QStringList segments = path.split(QLatin1Char('/'));
    for (const QString &s : segments) {
        // A name starting with '.' is also how a file still coming in is called: a game never gets one.
        if (s.isEmpty() || s.startsWith(QLatin1Char('.')) || s.contains(QLatin1Char('\\')) ||
            s.toUtf8().size() > maxSegmentBytes)
            return std::nullopt;
        if (std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
            return std::nullopt;
    }
    return path;
}

CompanionFiles::GameFiles &CompanionFiles::filesOf(qint64 id, bool reload)
{
    GameFiles *&files = m_games[id];
    if (files && !reload)
        return *files;
    if (!files)
        files = new GameFiles;
    *files = GameFiles();
    // Every record of a game's kept files is written here, so the game's list is read once; a file deleted behind
    // its record (a deleted game, the user) is found missing when it is asked for.
    if (const std::optional<QVector<KeptFile>> kept = m_store->keptFiles(id)) {
        for (const KeptFile &file : *kept)
            files->keep(file);
    }
    return *files;
}

QString CompanionFiles::folderFor(qint64 id, const QString &path, bool make)
{
    const LibraryFolders &folders = m_store->folders();
    QString folder = folders.companionFolder(id);
    QStringList steps = path.split(QLatin1Char('/'));
    steps.removeLast();
    QStringList chain{folders.companionRoot(), folder};
    for (const QString &step : std::as_const(steps)) {
        folder += QLatin1Char('/') + step;
        chain << folder;
    }
    // Each folder on the way is a folder of its own: a link planted in place of one would lead the file elsewhere.
    for (const QString &f : std::as_const(chain)) {
        if (isPlainFolder(f))
            continue;
        if (!make || QFileInfo::exists(f) || QFileInfo(f).isSymLink() || !QDir().mkdir(f))
            return QString();
    }
    return folder;
}

std::optional<QString> CompanionFiles::keptPath(qint64 id, const QString &path)
{
    GameFiles &files = filesOf(id, false);
    if (!files.files.contains(path) || files.again.contains(path))
        return std::nullopt;
    // Anything but the regular file kept, reached through folders only (a link, a FIFO), is never opened: it is
    // fetched again over it.
    const QString inRoot = QString::number(id) + QLatin1Char('/') + path;
    const int fd = companiontree::openRegular(m_store->folders().companionRoot(), inRoot);
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    return m_store->folders().companionRoot() + QLatin1Char('/') + inRoot;
}

void CompanionFiles::fail(QObject *context, const Answer &done, const QString &why, qint64 id, const QString &path)
{
    qCWarning(lcPortal).noquote() << "The file" << path << "of game" << id << "is not given to its movie:" << why;
    QTimer::singleShot(0, context, [done] { done(std::nullopt); });
}

void CompanionFiles::request(qint64 id, const QString &rawPath, const QString &query, QObject *context, Answer done)
{
    if (!context)
        context = this;
    const std::optional<QString> path = checkedPath(rawPath);
    if (!path)
        return fail(context, done, QStringLiteral("not a plain path inside the game's folder"), id, rawPath);
    if (const std::optional<QString> kept = keptPath(id, *path)) {
        QTimer::singleShot(0, context, [done, file = *kept] { done(file); });
        return;
    }
    const QString key = QString::number(id) + QLatin1Char('/') + *path;
    Job *job = m_jobs.value(key);
    if (!job) {
        GameFiles &files = filesOf(id, false);
        const QString spelling = files.spellings.value(path->toCaseFolded());
        if (!spelling.isEmpty() && spelling != *path)
            return fail(context, done, QStringLiteral("the game keeps it as %1").arg(spelling), id, *path);
        if (!files.files.contains(*path) &&
            (files.files.size() >= m_limits.gameFiles || files.bytes >= m_limits.gameBytes))
            return fail(context, done, QStringLiteral("the game keeps as much as a game may"), id, *path);
        if (m_queue.size() >= m_limits.waiting)
            return fail(context, done, QStringLiteral("too many files asked for at once"), id, *path);
        job = new Job{id, *path, query, {}};
        m_jobs.insert(key, job);
        m_queue.append(job);
    }
    job->waiters.append({context, std::move(done)});
    startNext();
}

void CompanionFiles::requestForServerGame(const QString &gameId, const QString &path, const QString &query,
                                          QObject *context, Answer done)
{
    if (const std::optional<qint64> id = m_store->idOfGameId(gameId); id && *id > 0)
        return request(*id, path, query, context, std::move(done));
    m_parked[gameId].append({path, query, context ? context : this, std::move(done)});
}

void CompanionFiles::gameSettled(const QString &gameId)
{
    const QVector<Parked> parked = m_parked.take(gameId);
    if (parked.isEmpty())
        return;
    const std::optional<qint64> id = m_store->idOfGameId(gameId);
    for (const Parked &p : parked) {
        if (!p.context)
            continue;
        if (id && *id > 0)
            request(*id, p.path, p.query, p.context, p.done);
        else
            fail(p.context, p.done, QStringLiteral("its game was not recorded"), 0, p.path);
    }
}

void CompanionFiles::fetchAgain(qint64 id, QObject *context, std::function<void(int, int)> done)
{
    writeRecords();
    GameFiles &files = filesOf(id, true);
    const QStringList paths = files.files.keys();
    if (paths.isEmpty()) {
        if (done)
            QTimer::singleShot(0, context ? context : this, [done] { done(0, 0); });
        return;
    }
    struct Count
    {
        int fetched = 0, failed = 0, left = 0;
    };
    auto count = std::make_shared<Count>();
    count->left = int(paths.size());
    for (const QString &path : paths) {
        files.again.insert(path);
        request(id, path, QString(), context, [count, done](const std::optional<QString> &file) {
            ++(file ? count->fetched : count->failed);
            if (--count->left == 0 && done)
                done(count->fetched, count->failed);
        });
    }
}

void CompanionFiles::startNext()
{
    while (m_running < m_limits.parallel && !m_queue.isEmpty())
        start(m_queue.takeFirst());
}

void CompanionFiles::start(Job *job)
{
    ++m_running;
    const QString origin = m_store->gameOrigin(job->id).value_or(QString());
    const QUrl url(origin);
    if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        fetchFromServer(job, url);
    else if (url.isLocalFile())
        copyFromFolder(job, url.toLocalFile());
    else
        QTimer::singleShot(0, this, [this, job] { placed(job, std::nullopt, std::nullopt); });
}

void CompanionFiles::fetchFromServer(Job *job, const QUrl &origin)
{
    GameFiles &files = filesOf(job->id, false);
    const QString folder = folderFor(job->id, job->path, true);
    if (folder.isEmpty()) {
        qCWarning(lcLibrary).noquote() << "No folder for the kept file" << job->path << "of game" << job->id;
        QTimer::singleShot(0, this, [this, job] { placed(job, std::nullopt, std::nullopt); });
        return;
    }
    QUrl url;
    url.setScheme(origin.scheme());
    url.setHost(origin.host());
    url.setPort(origin.port());
    url.setPath(QLatin1Char('/') + job->path, QUrl::DecodedMode);
    if (!job->query.isEmpty())
        url.setQuery(job->query);

    FetchLimits limits;
    const qint64 room = m_limits.gameBytes - files.bytes + files.files.value(job->path).size;
    limits.maxBytes = std::max<qint64>(0, std::min(m_limits.fileBytes, room));
    limits.sameSiteOnly = true;
    const QString name = lastSegment(job->path);
    m_fetch->fetchFile(
        url, folder,
        [name] {
            return FileNaming{name, true, {}, false};
        },
        this,
        [this, job, folder](const std::optional<QString> &placedName) {
            if (!placedName) {
                placed(job, std::nullopt, std::nullopt);
                return;
            }
            const QString file = folder + QLatin1Char('/') + *placedName;
            m_pool.start([this, job, file] {
                const std::optional<KeptFile> digest = digestFile(file, job->path);
                QMetaObject::invokeMethod(
                    this, [this, job, file, digest] { placed(job, file, digest); }, Qt::QueuedConnection);
            });
        },
        limits);
}

void CompanionFiles::copyFromFolder(Job *job, const QString &sourceFolder)
{
    // Only what lies inside the folder the movie came from, wherever links inside it lead: never above it.
    const QString root = QFileInfo(sourceFolder).canonicalFilePath();
    const QString source =
        root.isEmpty() ? QString() : QFileInfo(root + QLatin1Char('/') + job->path).canonicalFilePath();
    const QString folder = folderFor(job->id, job->path, !source.isEmpty());
    if (source.isEmpty() || !source.startsWith(root + QLatin1Char('/')) || folder.isEmpty()) {
        QTimer::singleShot(0, this, [this, job] { placed(job, std::nullopt, std::nullopt); });
        return;
    }
    const GameFiles &files = filesOf(job->id, false);
    const qint64 room =
        std::min(m_limits.fileBytes, m_limits.gameBytes - files.bytes + files.files.value(job->path).size);
    m_pool.start([this, job, source, folder, room] {
        std::optional<QString> file;
        std::optional<KeptFile> digest;
        QString why;
        const int in = datafile::openRegular(source, datafile::Links::Follow, &why);
        struct stat st;
        if (in >= 0 && ::fstat(in, &st) == 0 && st.st_size <= room) {
            IncomingFile out(folder);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            QByteArray block(blockBytes, Qt::Uninitialized);
            qint64 size = 0;
            bool ok = out.open();
            while (ok) {
                const ssize_t n = ::read(in, block.data(), block.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    ok = n == 0;
                    break;
                }
                size += n;
                hash.addData(QByteArrayView(block.constData(), n));
                ok = size <= room && out.write(block.constData(), n);
            }
            const QString name = ok ? out.place(FileNaming{lastSegment(job->path), true, {}, false}) : QString();
            if (!name.isEmpty()) {
                file = folder + QLatin1Char('/') + name;
                digest = KeptFile{job->path, size, hash.result()};
            } else {
                why =
                    out.errorString().isEmpty() ? QStringLiteral("larger than a kept file may be") : out.errorString();
            }
        } else if (in >= 0) {
            why = QStringLiteral("larger than a kept file may be");
        }
        if (in >= 0)
            ::close(in);
        if (!file)
            qCWarning(lcLibrary).noquote() << "Cannot keep" << source << "with its game:" << why;
        QMetaObject::invokeMethod(
            this, [this, job, file, digest] { placed(job, file, digest); }, Qt::QueuedConnection);
    });
}

void CompanionFiles::record(qint64 id, const KeptFile &file)
{
    // Served from here on at once; written to the library a moment later with the others that came meanwhile (a
    // game loading hundreds of files asks for one write, not hundreds). A file on the disk that the library does not
    // name yet is only fetched again.
    filesOf(id, false).keep(file);
    m_unrecorded[id].append(file);
    if (!m_recordTimer.isActive())
        m_recordTimer.start();
    emit fileKept(id, file.path);
}

void CompanionFiles::writeRecords()
{
    const QHash<qint64, QVector<KeptFile>> records = std::exchange(m_unrecorded, {});
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        if (!m_store->recordKeptFiles(it.key(), it.value())) {
            qCWarning(lcLibrary).noquote() << "The files kept for game" << it.key() << "could not be recorded";
            filesOf(it.key(), true); // the library holds what it holds
        }
    }
}

void CompanionFiles::placed(Job *job, const std::optional<QString> &filePath, const std::optional<KeptFile> &digest)
{
    std::optional<QString> answer = filePath;
    if (filePath && digest)
        record(job->id, *digest);
    else if (filePath)
        answer.reset(); // it could not be read back
    if (!answer)        // folders made for a file that did not come go again
        companiontree::pruneEmptyFolders(m_store->folders().companionRoot(),
                                         QString::number(job->id) + QLatin1Char('/') + job->path);
    filesOf(job->id, false).again.remove(job->path);
    m_jobs.remove(QString::number(job->id) + QLatin1Char('/') + job->path);
    for (const Job::Waiter &waiter : std::as_const(job->waiters)) {
        if (waiter.context)
            waiter.done(answer);
    }
    delete job;
    --m_running;
    startNext();
}
