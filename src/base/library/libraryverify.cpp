#include "base/library/libraryverify.h"

#include "base/library/companiontree.h"
#include "base/library/library.h"
#include "base/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Results and progress reach the caller's thread at most this often.
constexpr auto reportEvery = std::chrono::milliseconds(100);
// A batch of digests goes back once this large, or when there is nothing left to do.
constexpr int digestBatch = 64;

struct EvpContext
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~EvpContext() { EVP_MD_CTX_free(ctx); }
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::optional<std::pair<quint64, quint64>> identity(const QString &path, bool followLink)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty() || (followLink ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(st.st_dev, st.st_ino);
}

} // namespace

OpenedFiles::OpenedFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        for (bool followLink : {true, false}) {
            if (const auto file = identity(path, followLink))
                m_files.insert(*file);
        }
    }
}

bool OpenedFiles::contains(const QString &path) const
{
    const auto file = identity(path, false);
    return file && m_files.contains(*file);
}

// OpenSSL's SHA-256, not QCryptographicHash's: Qt 6.4 hashes in portable C at about half the speed of the
// system's sha256sum, while OpenSSL uses the processor's SHA instructions where there are some.
std::optional<MovieDigest> moviedigest::ofFile(const QString &path, const std::atomic<bool> *cancel,
                                               const std::function<void(qint64 bytes)> &progress)
{
    // Never opens a FIFO or a device that a movie's name may have become: the descriptor is checked first.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    const std::optional<MovieDigest> result = ofDescriptor(fd, cancel, progress);
    ::close(fd);
    return result;
}

std::optional<MovieDigest> moviedigest::ofDescriptor(int fd, const std::atomic<bool> *cancel,
                                                     const std::function<void(qint64 bytes)> &progress)
{
    struct stat before
    {
    };
    struct stat after
    {
    };
    std::optional<MovieDigest> result;
    EvpContext hash;
    if (::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) && hash.ctx &&
        EVP_DigestInit_ex(hash.ctx, EVP_sha256(), nullptr) == 1) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        thread_local std::vector<unsigned char> block(blockBytes);
        qint64 total = 0;
        bool failed = false;
        for (;;) {
            if (cancel && *cancel) {
                failed = true;
                break;
            }
            const ssize_t got = ::read(fd, block.data(), block.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                failed = got < 0;
                break;
            }
            EVP_DigestUpdate(hash.ctx, block.data(), size_t(got));
            total += got;
            if (progress)
                progress(got);
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int digestLength = 0;
        // A file written to while it was read has no one digest.
        if (!failed && ::fstat(fd, &after) == 0 && sameFile(before, after) && total == before.st_size &&
            EVP_DigestFinal_ex(hash.ctx, digest, &digestLength) == 1)
            result = MovieDigest{total, QByteArray(reinterpret_cast<const char *>(digest), int(digestLength))};
    }
    return result;
}

CompanionRecords CompanionRecords::of(const QVector<qint64> &games, const QHash<qint64, QVector<KeptFile>> &kept)
{
    CompanionRecords records;
    records.games = QSet<qint64>(games.cbegin(), games.cend());
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        QSet<QString> &paths = records.kept[it.key()];
        for (const KeptFile &file : it.value())
            paths.insert(file.path);
    }
    return records;
}

QString CompanionRecords::unnamedPart(const QString &path, Kind kind) const
{
    const int slash = int(path.indexOf(QLatin1Char('/')));
    const QString folder = path.left(slash);
    const QString inside = slash < 0 ? QString() : path.mid(slash + 1);
    // Only a row id spelled as the library spells it names a game's folder.
    bool isNumber = false;
    const qint64 id = folder.toLongLong(&isNumber);
    if (!isNumber || QString::number(id) != folder || !games.contains(id))
        return folder.startsWith(QLatin1Char('.')) ? QString() : folder;
    if (kind == Kind::Folder)
        return QString();
    if (inside.isEmpty())
        return path; // something other than a folder where the game's folder belongs
    if (inside.section(QLatin1Char('/'), -1).startsWith(QLatin1Char('.')))
        return QString();
    return kind == Kind::File && kept.value(id).contains(inside) ? QString() : path;
}

DigestWorker::DigestWorker(QObject *parent) : QObject(parent) {}

DigestWorker::~DigestWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void DigestWorker::add(const Job &job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(job);
    }
    m_wake.notify_all();
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void DigestWorker::run()
{
    QVector<Result> batch;
    auto lastSent = std::chrono::steady_clock::now();
    // Posted to this object, which outlives the thread: the destructor waits for it.
    const auto send = [this, &batch, &lastSent] {
        if (batch.isEmpty())
            return;
        QMetaObject::invokeMethod(
            this, [this, results = batch] { emit digested(results); }, Qt::QueuedConnection);
        batch.clear();
        lastSent = std::chrono::steady_clock::now();
    };
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_jobs.empty()) {
                lock.unlock();
                send();
                lock.lock();
            }
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
        }
        batch.append({job, moviedigest::ofFile(job.path, &m_stop)});
        if (m_stop)
            return;
        if (batch.size() >= digestBatch || std::chrono::steady_clock::now() - lastSent > reportEvery * 5)
            send();
    }
}

// What the worker is given, read in the caller's thread (the store's connection is that thread's), and what it
// hands back.
struct LibraryVerify::Work
{
    LibraryFolders folders;
    QVector<GameRecord> games;
    QHash<qint64, MovieDigest> digests;
    QHash<qint64, QVector<KeptFile>> kept;
    VerifyReport report;
    QHash<qint64, MovieDigest> firstDigests;
};

LibraryVerify::LibraryVerify(Library *library, QObject *parent) : QObject(parent), m_library(library) {}

LibraryVerify::~LibraryVerify()
{
    stopWorker();
}

void LibraryVerify::stopWorker()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void LibraryVerify::cancel()
{
    m_cancel = true;
}

void LibraryVerify::start()
{
    if (m_running)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_running = true;
    m_cancel = false;
    auto job = std::make_shared<Work>();
    job->folders = m_library->folders();
    std::optional<QVector<GameRecord>> games;
    std::optional<QHash<qint64, MovieDigest>> digests;
    std::optional<QHash<qint64, QVector<KeptFile>>> kept;
    if (m_library->open()) {
        games = m_library->store().gamesNewestFirst();
        digests = m_library->store().movieDigests();
        kept = m_library->store().allKeptFiles();
    }
    if (!games || !digests || !kept) {
        job->report.libraryUnreadable = true;
        QMetaObject::invokeMethod(
            this, [this, job] { done(job->report, {}); }, Qt::QueuedConnection);
        return;
    }
    job->games = *games;
    job->digests = *digests;
    job->kept = *kept;
    m_worker = std::thread([this, job] {
        work(*job);
        QMetaObject::invokeMethod(
            this, [this, job] { done(job->report, job->firstDigests); }, Qt::QueuedConnection);
    });
}

void LibraryVerify::work(Work &job)
{
    VerifyReport &report = job.report;
    const int games = int(job.games.size());
    // Every movie's size first: the progress is in bytes, most of the time goes into reading them.
    QVector<std::optional<qint64>> sizes(games);
    qint64 bytes = 0;
    for (int i = 0; i < games && !m_cancel; ++i) {
        const QString path = job.folders.moviePath(job.games.at(i).movieFile);
        struct stat st
        {
        };
        if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            sizes[i] = st.st_size;
            bytes += st.st_size;
        }
    }
    // What lies in companion/, looked at without following a link: the kept files' sizes, and what no record names.
    const QString companionRoot = job.folders.companionRoot();
    const QVector<companiontree::Entry> companions =
        m_cancel ? QVector<companiontree::Entry>() : companiontree::entries(companionRoot);
    QHash<QString, qint64> regularSizes;
    for (const companiontree::Entry &entry : companions) {
        if (entry.regular)
            regularSizes.insert(entry.path, entry.size);
    }
    for (const GameRecord &game : std::as_const(job.games)) {
        for (const KeptFile &file : job.kept.value(game.id))
            bytes += regularSizes.value(QString::number(game.id) + QLatin1Char('/') + file.path);
    }

    auto lastReport = std::chrono::steady_clock::now();
    qint64 bytesDone = 0;
    const auto tell = [this, &lastReport, games, bytes](int gamesDone, qint64 bytesDone, bool always) {
        const auto now = std::chrono::steady_clock::now();
        if (!always && now - lastReport < reportEvery)
            return;
        lastReport = now;
        QMetaObject::invokeMethod(
            this, [=] { emit progress(gamesDone, games, bytesDone, bytes); }, Qt::QueuedConnection);
    };
    tell(0, 0, true);

    for (int i = 0; i < games && !m_cancel; ++i) {
        GameCheck check;
        check.game = job.games.at(i);
        const std::optional<MovieDigest> recorded = job.digests.contains(check.game.id)
                                                        ? std::optional<MovieDigest>(job.digests.value(check.game.id))
                                                        : std::nullopt;
        const QString moviePath = job.folders.moviePath(check.game.movieFile);
        if (!sizes.at(i)) {
            check.movie = GameCheck::Movie::Missing;
        } else if (recorded && recorded->size != *sizes.at(i)) {
            // Its size tells already: nothing need be read.
            check.movie = GameCheck::Movie::SizeChanged;
        } else {
            const std::optional<MovieDigest> digest = moviedigest::ofFile(moviePath, &m_cancel, [&](qint64 read) {
                bytesDone += read;
                report.bytesRead += read;
                tell(i, bytesDone, false);
            });
            if (m_cancel)
                break;
            if (!digest)
                check.movie = GameCheck::Movie::Unreadable;
            else if (!recorded)
                job.firstDigests.insert(check.game.id, *digest);
            else if (*digest != *recorded)
                check.movie =
                    *sizes.at(i) == digest->size ? GameCheck::Movie::ContentChanged : GameCheck::Movie::SizeChanged;
        }
        for (const KeptFile &file : job.kept.value(check.game.id)) {
            const QString path = QString::number(check.game.id) + QLatin1Char('/') + file.path;
            const auto found = regularSizes.constFind(path);
            if (found == regularSizes.constEnd()) {
                check.keptMissing.append(file.path);
                continue;
            }
            if (*found != file.size) {
                check.keptChanged.append(file.path);
                continue;
            }
            // Opened without following a link anywhere on the way: one planted since the look above is not read.
            const int fd = companiontree::openRegular(companionRoot, path);
            const std::optional<MovieDigest> digest =
                fd < 0 ? std::nullopt : moviedigest::ofDescriptor(fd, &m_cancel, [&](qint64 read) {
                    bytesDone += read;
                    report.bytesRead += read;
                    tell(i, bytesDone, false);
                });
            if (fd >= 0)
                ::close(fd);
            if (m_cancel)
                break;
            if (fd < 0)
                check.keptMissing.append(file.path);
            else if (!digest || digest->size != file.size || digest->sha256 != file.sha256)
                check.keptChanged.append(file.path);
        }
        if (m_cancel)
            break;
        if (!check.game.pictureFile.isEmpty()) {
            const QString picturePath = job.folders.picturePath(check.game.pictureFile);
            check.pictureMissing = picturePath.isEmpty() || !QFileInfo(picturePath).isFile();
        }
        if (check.isDamaged())
            report.damaged.append(check);
        ++report.gamesChecked;
        tell(i + 1, bytesDone, false);
    }

    if (!m_cancel) {
        const auto unnamed = [&job](GameFile kind) {
            QSet<QString> named;
            for (const GameRecord &game : std::as_const(job.games))
                named.insert(kind == GameFile::Movie ? game.movieFile : game.pictureFile);
            const QDir folder(job.folders.folder(kind));
            QStringList found;
            // Broken links too (System): they are files in the folder no game can use.
            const QStringList names = folder.entryList(QDir::Files | QDir::System, QDir::Name);
            for (const QString &name : names) {
                if (!name.startsWith(QLatin1Char('.')) && !named.contains(name))
                    found.append(name);
            }
            if (found.isEmpty())
                return found;
            // A name a game does not spell may still be the file that game opens; deleting it would take the
            // game's movie or picture.
            QStringList namedPaths;
            for (const QString &name : std::as_const(named))
                namedPaths.append(job.folders.filePath(kind, name));
            const OpenedFiles opened(namedPaths);
            found.removeIf([&](const QString &name) { return opened.contains(folder.filePath(name)); });
            return found;
        };
        report.orphanMovies = unnamed(GameFile::Movie);
        report.orphanPictures = unnamed(GameFile::Picture);
        QVector<qint64> ids;
        for (const GameRecord &game : std::as_const(job.games))
            ids.append(game.id);
        const CompanionRecords records = CompanionRecords::of(ids, job.kept);
        QSet<QString> unnamedCompanions;
        for (const companiontree::Entry &entry : companions) {
            const QString part = records.unnamedPart(entry.path, entry.regular ? CompanionRecords::Kind::File
                                                                               : CompanionRecords::Kind::Other);
            if (!part.isEmpty())
                unnamedCompanions.insert(part);
        }
        report.orphanCompanions = unnamedCompanions.values();
        report.orphanCompanions.sort();
    }
    report.cancelled = m_cancel;
    tell(report.gamesChecked, bytesDone, true);
}

void LibraryVerify::done(const VerifyReport &found, const QHash<qint64, MovieDigest> &firstDigests)
{
    if (m_worker.joinable())
        m_worker.join();
    VerifyReport report = found;
    // Digests found along the way are kept even when the user stopped: the next verification need not read
    // those movies again.
    report.digestsRecorded = m_library->recordFirstDigests(firstDigests);
    // The library may have changed while the files were read: a game recorded meanwhile names its files, a
    // game on its way holds its own.
    report.orphanMovies = m_library->unnamedFiles(GameFile::Movie, report.orphanMovies);
    report.orphanPictures = m_library->unnamedFiles(GameFile::Picture, report.orphanPictures);
    report.orphanCompanions = m_library->unnamedCompanions(report.orphanCompanions);
    qCInfo(lcLibrary).noquote() << "Verified" << report.gamesChecked << "games," << report.bytesRead
                                << "bytes read:" << report.damaged.size() << "with findings,"
                                << report.orphanMovies.size() << "unnamed movies," << report.orphanPictures.size()
                                << "unnamed pictures," << report.orphanCompanions.size() << "unnamed kept files"
                                << (report.cancelled ? "(cancelled)" : "");
    m_running = false;
    emit finished(report);
}
