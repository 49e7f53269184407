#include "base/library/movieimport.h"

#include "base/library/incomingfile.h"
#include "base/library/movielimits.h"
#include "base/logging.h"
#include "base/swfheader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QThread>

#include <cerrno>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr qint64 chunkBytes = 256 * 1024;
constexpr qint64 headerBytes = SwfHeader::size;
// A movie this large reaches the disk before it takes its name. Smaller ones are flushed together when the run
// ends: a flush of its own for each would cost more than copying it.
constexpr qint64 syncAloneBytes = 1024 * 1024;
// What earlier versions named their copies before they were whole.
const QLatin1String oldTemporaryPrefix(".import-");

QString reasonText(RefusedMovie::Kind kind)
{
    switch (kind) {
    case RefusedMovie::Kind::NotAMovie:
        return MovieImport::tr("not a Flash movie");
    case RefusedMovie::Kind::Damaged:
        return MovieImport::tr("damaged: its length does not fit");
    case RefusedMovie::Kind::TooLarge:
        return MovieImport::tr("too large");
    case RefusedMovie::Kind::Unreadable:
        return MovieImport::tr("cannot be read");
    case RefusedMovie::Kind::NoDiskSpace:
        return MovieImport::tr("not enough disk space");
    case RefusedMovie::Kind::HiddenName:
        return MovieImport::tr("its name starts with a dot");
    case RefusedMovie::Kind::BadName:
        return MovieImport::tr("its name is not valid UTF-8");
    case RefusedMovie::Kind::CopyFailed:
        break;
    }
    return MovieImport::tr("cannot be copied");
}

struct OpenFailure
{
    RefusedMovie::Kind kind;
    QString detail;
};

// Opens path for reading only when it is a regular file, and tells its size. A FIFO or a device is never
// opened: the type is looked at first, and the descriptor is opened without blocking and checked again in case
// the path changed in between.
std::optional<OpenFailure> openRegularFile(const QString &path, QFile &file, qint64 &size)
{
    const QFileInfo info(path);
    if (!info.exists())
        return OpenFailure{RefusedMovie::Kind::Unreadable, QStringLiteral("no such file")};
    if (!info.isFile())
        return OpenFailure{RefusedMovie::Kind::NotAMovie, QStringLiteral("not a regular file")};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return OpenFailure{RefusedMovie::Kind::Unreadable, qt_error_string(errno)};
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return OpenFailure{RefusedMovie::Kind::NotAMovie, QStringLiteral("not a regular file")};
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenFailure{RefusedMovie::Kind::Unreadable, file.errorString()};
    }
    size = status.st_size;
    return std::nullopt;
}

// Whether the length in the header can be the movie's: an uncompressed movie must lie whole in the file (bytes
// after it are tolerated); a compressed one must inflate to a sane size and have a body.
bool lengthFits(const SwfHeader &header, qint64 fileSize, qint64 maxBytes)
{
    const qint64 declared = header.declaredLength;
    if (declared <= headerBytes)
        return false;
    if (header.compression == 'F')
        return declared <= fileSize;
    return declared <= maxBytes && fileSize > headerBytes;
}

// The source's name as a plain file name in the flash folder.
QString storedNameFor(const QString &sourcePath)
{
    QString name = QFileInfo(sourcePath).fileName();
    for (QChar &c : name) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    return name;
}

// Without the invisible format characters: bidi embeddings, overrides and isolates (a right-to-left override turns
// the rest of a title around, and the text shown after it), zero-width spaces, byte order marks and the like. The
// joiners stay: some scripts and emoji need them to be spelt right.
QString withoutFormatCharacters(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : QStringView(text).toUcs4()) {
        if (QChar::category(c) != QChar::Other_Format || c == 0x200C || c == 0x200D)
            out.append(QString::fromUcs4(&c, 1));
    }
    return out;
}

QString titleFor(const QString &storedName)
{
    const QString name = withoutFormatCharacters(storedName);
    const QLatin1String extension(".swf");
    if (name.size() > extension.size() && name.endsWith(extension, Qt::CaseInsensitive))
        return name.chopped(extension.size());
    return name;
}

// The *.swf names in folder that are not valid UTF-8: Qt's listing leaves them out, and they cannot be opened
// by the name Qt makes of them. Read from the folder itself, so that they can be refused by name.
QStringList undecodableMovieNames(const QString &folder)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const bool fileLike = entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        if (fileLike && name.toLower().endsWith(".swf") && QFile::encodeName(QFile::decodeName(name)) != name)
            names << QFile::decodeName(name);
    }
    ::closedir(dir);
    names.sort(Qt::CaseInsensitive);
    return names;
}

// One run over the files: what the flash folder holds, and what has been added or refused so far.
class ImportRun
{
public:
    ImportRun(const QString &flashFolder, qint64 maxBytes, const std::atomic<bool> &cancel)
        : m_folder(flashFolder), m_maxBytes(maxBytes), m_cancel(cancel)
    {
    }

    void add(const QString &path);
    // Puts what was copied on the disk, so that the games can be recorded once the run has finished.
    void flush();

    QVector<ImportedMovie> added;
    QVector<RefusedMovie> refused;

private:
    void refuse(const QString &path, RefusedMovie::Kind kind, const QString &detail = QString());
    void indexFolder();
    // The content hash of the open file from its start; nothing on a read error or when cancelled.
    std::optional<QByteArray> hashOf(QFile &file, qint64 size);
    // The content hash of a file in the folder, worked out once; empty when it cannot be read.
    QByteArray storedHash(const QString &name);
    void copy(QFile &source, qint64 size, const QString &path);

    QDir m_folder;
    qint64 m_maxBytes;
    const std::atomic<bool> &m_cancel;
    bool m_indexed = false;
    bool m_folderMade = false;
    bool m_unflushed = false;
    QMultiHash<qint64, QString> m_namesBySize; // the folder's files
    QHash<QString, QByteArray> m_hashes;
    QSet<QString> m_reported; // names already in added
};

void ImportRun::refuse(const QString &path, RefusedMovie::Kind kind, const QString &detail)
{
    RefusedMovie movie;
    movie.sourcePath = path;
    movie.kind = kind;
    movie.reason = reasonText(kind);
    refused.append(movie);
    const QString why = detail.isEmpty() ? movie.reason : movie.reason + QLatin1String(": ") + detail;
    if (kind == RefusedMovie::Kind::NoDiskSpace || kind == RefusedMovie::Kind::CopyFailed)
        qCWarning(lcLibrary, "Not adding %s: %s", qUtf8Printable(path), qUtf8Printable(why));
    else
        qCInfo(lcLibrary, "Not adding %s: %s", qUtf8Printable(path), qUtf8Printable(why));
}

void ImportRun::indexFolder()
{
    if (m_indexed)
        return;
    m_indexed = true;
    const QFileInfoList entries = m_folder.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        // A copy that a crash left before it was named is no movie to reuse.
        if (!entry.fileName().startsWith(oldTemporaryPrefix) && !IncomingFile::isStandInName(entry.fileName()))
            m_namesBySize.insert(entry.size(), entry.fileName());
    }
}

std::optional<QByteArray> ImportRun::hashOf(QFile &file, qint64 size)
{
    if (!file.seek(0))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(int(qMin(size, chunkBytes)), Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        if (m_cancel)
            return std::nullopt;
        const qint64 n = file.read(buffer.data(), qMin(left, qint64(buffer.size())));
        if (n <= 0)
            return std::nullopt;
        hash.addData(QByteArrayView(buffer.constData(), n));
        left -= n;
    }
    return hash.result();
}

QByteArray ImportRun::storedHash(const QString &name)
{
    const auto known = m_hashes.constFind(name);
    if (known != m_hashes.constEnd())
        return *known;
    QFile file;
    qint64 size = 0;
    QByteArray result;
    const bool opened = !openRegularFile(m_folder.filePath(name), file, size);
    if (opened)
        result = hashOf(file, size).value_or(QByteArray());
    if (!m_cancel)
        m_hashes.insert(name, result);
    return result;
}

void ImportRun::add(const QString &path)
{
    if (QFileInfo(path).fileName().startsWith(QLatin1Char('.'))) {
        refuse(path, RefusedMovie::Kind::HiddenName);
        return;
    }
    // A name that was not valid UTF-8 came here with replacement characters, and under it there is no file.
    if (path.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        refuse(path, RefusedMovie::Kind::BadName);
        return;
    }
    QFile file;
    qint64 size = 0;
    if (const std::optional<OpenFailure> failure = openRegularFile(path, file, size)) {
        refuse(path, failure->kind, failure->detail);
        return;
    }
    if (size > m_maxBytes) {
        refuse(path, RefusedMovie::Kind::TooLarge, QStringLiteral("%1 bytes").arg(size));
        return;
    }
    const QByteArray head = file.read(headerBytes);
    if (!hasSwfSignature(head)) {
        refuse(path, RefusedMovie::Kind::NotAMovie);
        return;
    }
    const std::optional<SwfHeader> header = readSwfHeader(head);
    if (!header || !lengthFits(*header, size, m_maxBytes)) {
        refuse(path, RefusedMovie::Kind::Damaged,
               QStringLiteral("%1 bytes declared, %2 in the file").arg(header ? header->declaredLength : 0).arg(size));
        return;
    }

    // The same content already in the folder, under any name, is used as it is.
    indexFolder();
    QStringList sameSize = m_namesBySize.values(size);
    if (!sameSize.isEmpty()) {
        // Among identical files, the one named like the source is the natural one to use.
        sameSize.sort();
        const qsizetype own = sameSize.indexOf(storedNameFor(path));
        if (own > 0)
            sameSize.move(own, 0);
        const std::optional<QByteArray> hash = hashOf(file, size);
        if (m_cancel)
            return;
        if (!hash) {
            refuse(path, RefusedMovie::Kind::Unreadable, file.errorString());
            return;
        }
        for (const QString &name : sameSize) {
            const QByteArray stored = storedHash(name);
            if (m_cancel)
                return;
            if (stored != *hash)
                continue;
            if (!m_reported.contains(name)) {
                m_reported.insert(name);
                added.append({path, name, titleFor(storedNameFor(path)), false});
            }
            return;
        }
    }
    copy(file, size, path);
}

void ImportRun::copy(QFile &source, qint64 size, const QString &path)
{
    if (!m_folderMade && !QDir().mkpath(m_folder.absolutePath())) {
        refuse(path, RefusedMovie::Kind::CopyFailed, QStringLiteral("cannot create %1").arg(m_folder.absolutePath()));
        return;
    }
    m_folderMade = true;
    struct statvfs disk;
    if (::statvfs(QFile::encodeName(m_folder.absolutePath()).constData(), &disk) == 0) {
        const qint64 available = qint64(disk.f_bavail) * qint64(disk.f_frsize);
        if (available - size < movielimits::diskReserveBytes) {
            refuse(path, RefusedMovie::Kind::NoDiskSpace, QStringLiteral("%1 MiB free").arg(available >> 20));
            return;
        }
    }

    // Nameless until it is whole: nothing of it stays unless it is placed.
    IncomingFile target(m_folder.absolutePath());
    if (!target.open()) {
        refuse(path, RefusedMovie::Kind::CopyFailed, target.errorString());
        return;
    }
    if (!source.seek(0)) {
        refuse(path, RefusedMovie::Kind::Unreadable, source.errorString());
        return;
    }
    QByteArray buffer(int(qMin(size, chunkBytes)), Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        if (m_cancel)
            return;
        const qint64 n = source.read(buffer.data(), qMin(left, qint64(buffer.size())));
        if (n <= 0) {
            // Shorter than when it was looked at: it changed while being read.
            refuse(path, RefusedMovie::Kind::Unreadable, source.errorString());
            return;
        }
        if (!target.write(buffer.constData(), n)) {
            refuse(path, RefusedMovie::Kind::CopyFailed, target.errorString());
            return;
        }
        left -= n;
    }
    if (size >= syncAloneBytes && !target.sync()) {
        refuse(path, RefusedMovie::Kind::CopyFailed, target.errorString());
        return;
    }

    // Never in place of a file: a name taken, even in the meantime, moves on to the next one.
    const QString wanted = storedNameFor(path);
    const QString name = target.place(FileNaming{wanted, false, {}});
    if (name.isEmpty()) {
        refuse(path, RefusedMovie::Kind::CopyFailed, target.errorString());
        return;
    }
    m_unflushed = true;
    m_namesBySize.insert(size, name);
    m_reported.insert(name);
    added.append({path, name, titleFor(wanted), true});
}

void ImportRun::flush()
{
    if (!m_unflushed)
        return;
    const int fd = ::open(QFile::encodeName(m_folder.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
        qCWarning(lcLibrary, "Cannot flush %s: %s", qUtf8Printable(m_folder.absolutePath()),
                  qUtf8Printable(qt_error_string(errno)));
    if (fd >= 0)
        ::close(fd);
}

} // namespace

MovieImport::MovieImport(const QString &flashFolder, QObject *parent)
    : QObject(parent), m_flashFolder(flashFolder), m_maxBytes(movielimits::maxBytes)
{
}

MovieImport::~MovieImport()
{
    // Reports still queued to this object are dropped with it.
    stopWorker();
}

void MovieImport::stopWorker()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

QStringList MovieImport::expand(const QStringList &paths)
{
    QStringList files;
    QSet<QString> seen;
    const auto take = [&](const QString &path) {
        if (!seen.contains(path)) {
            seen.insert(path);
            files.append(path);
        }
    };
    for (const QString &path : paths) {
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (!info.isDir()) {
            take(QDir::cleanPath(info.absoluteFilePath()));
            continue;
        }
        // Name filters match regardless of case; FIFOs and devices are not listed without QDir::System.
        const QDir folder(info.absoluteFilePath(), QStringLiteral("*.swf"), QDir::Name | QDir::IgnoreCase,
                          QDir::Files | QDir::Hidden);
        const QFileInfoList entries = folder.entryInfoList();
        for (const QFileInfo &entry : entries)
            take(QDir::cleanPath(entry.absoluteFilePath()));
        for (const QString &name : undecodableMovieNames(folder.absolutePath()))
            take(QDir::cleanPath(folder.absoluteFilePath(name)));
    }
    return files;
}

void MovieImport::start(const QStringList &paths)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_running) {
        qCWarning(lcLibrary, "Adding movies is already under way; the new files are ignored");
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_running = true;
    m_cancel = false;
    m_worker = std::thread([this, paths, folder = m_flashFolder, maxBytes = m_maxBytes] {
        // Listing folders touches the disk too, so it happens here rather than in the caller's thread.
        const QStringList files = expand(paths);
        const int total = int(files.size());
        ImportRun run(folder, maxBytes, m_cancel);
        for (int i = 0; i < total && !m_cancel; ++i) {
            run.add(files.at(i));
            if (m_cancel)
                break;
            QMetaObject::invokeMethod(
                this, [this, done = i + 1, total] { emit progress(done, total); }, Qt::QueuedConnection);
        }
        run.flush();
        QMetaObject::invokeMethod(
            this,
            [this, added = run.added, refused = run.refused] {
                // The worker has nothing left to do but return.
                if (m_worker.joinable())
                    m_worker.join();
                m_running = false;
                emit finished(added, refused);
            },
            Qt::QueuedConnection);
    });
}

void MovieImport::cancel()
{
    if (m_running)
        m_cancel = true;
}
