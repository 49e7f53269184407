#include "base/shell/singleinstance.h"

#include "base/logging.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The hand-over: one line from the later start, "raise" with its note after a space; one line back, "ok".
const QByteArray raiseRequest("raise");
const QByteArray raiseTaken("ok\n");

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(std::numeric_limits<int>::max())));
}

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent) : QObject(parent), m_dataFolder(dataFolder)
{
}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: once the lock is free, a new owner's socket may take the same name.
    delete m_server;
    m_lock.reset();
}

bool SingleInstance::isOwner() const
{
    return m_lock && m_lock->isLocked();
}

QString SingleInstance::lockFilePath() const
{
    return QDir(m_dataFolder).filePath(QStringLiteral("quillabrix.lock"));
}

QString SingleInstance::serverName(const QString &dataFolder)
{
    const QFileInfo info(dataFolder);
    const QString canonical = info.canonicalFilePath();
    const QString folder = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha256).toHex().left(32);
    const QString name = QStringLiteral("quillabrix-") + QString::fromLatin1(hash);
    // The runtime folder is the user's alone; without one the name lands in the shared temporary folder.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : QDir(runtime).filePath(name);
}

SingleInstance::Claim SingleInstance::claim(const QString &note)
{
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // A running owner's lock is never stale however long it has run; one whose process is gone is, and tryLock
    // removes it (the owner's lock on the open file keeps a live lock from being removed by mistake).
    m_lock->setStaleLockTime(0);
    if (!clearLockPlace())
        return Claim::NotWritable;
    if (m_lock->tryLock(0)) {
        listen();
        return Claim::Owner;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_error = tr("cannot write to the folder %1").arg(QDir::toNativeSeparators(m_dataFolder));
        return Claim::NotWritable;
    }
    const Claim claim = handOver(note);
    // QLockFile takes over only a lock it can read, naming a process of this machine that is gone. An empty or
    // garbled one, one from another machine (a folder on a USB stick or a network home) or one naming a process
    // that reused the dead owner's number would otherwise keep the program from ever starting again.
    if (claim != Claim::NoAnswer || !removeLeftoverLock() || !m_lock->tryLock(0))
        return claim;
    qCWarning(lcShell).noquote()
        << QStringLiteral("Took over %1: no program holds it or answers for it (%2)").arg(lockFilePath(), m_error);
    m_error.clear();
    listen();
    return Claim::Owner;
}

QString SingleInstance::lockAdvice() const
{
    return tr("If it is not running (it may have stopped on another computer), remove %1 and start again.")
        .arg(QDir::toNativeSeparators(lockFilePath()));
}

bool SingleInstance::clearLockPlace()
{
    // A lock file is only ever a plain file. QLockFile reads whatever has its name, through a link, and blocks on a
    // FIFO; a link or any other file that is not regular is removed itself, never what it points to. A folder may hold
    // someone's files: it is named for the user to deal with.
    const QByteArray path = QFile::encodeName(lockFilePath());
    struct stat entry;
    if (::lstat(path.constData(), &entry) != 0 || S_ISREG(entry.st_mode))
        return true; // nothing there, or what QLockFile deals with
    const QString shown = QDir::toNativeSeparators(lockFilePath());
    if (S_ISDIR(entry.st_mode)) {
        m_error = tr("%1 is a folder, where the program keeps its lock file: remove or rename it and start again.")
                      .arg(shown);
        return false;
    }
    if (::unlink(path.constData()) != 0) {
        m_error = tr("cannot remove %1, which is in the place of the program's lock file: remove it and start again.")
                      .arg(shown);
        return false;
    }
    qCWarning(lcShell).noquote()
        << QStringLiteral("Removed %1, which was no lock file but a link or another file that is not regular")
               .arg(lockFilePath());
    return true;
}

bool SingleInstance::removeLeftoverLock()
{
    // A running owner holds its lock file locked (QLockFile takes flock and fcntl locks), and on a network file
    // system the lock reaches other machines: a lock file nobody holds is left over, whatever it says. The lock
    // is taken on the very file opened, which must still be the one named, so that a lock another start has just
    // made in its place is never removed.
    const QByteArray path = QFile::encodeName(lockFilePath());
    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened, named;
    const bool removed = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::lstat(path.constData(), &named) == 0 && named.st_dev == opened.st_dev &&
                         named.st_ino == opened.st_ino && ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
}

SingleInstance::Claim SingleInstance::handOver(const QString &note)
{
    qint64 pid = 0;
    QString host, application;
    m_lock->getLockInfo(&pid, &host, &application);
    const QString owner = QStringLiteral("the program that holds %1 (process %2 on %3)")
                              .arg(lockFilePath(), QString::number(pid), host.isEmpty() ? QStringLiteral("?") : host);
    const QString name = serverName(m_dataFolder);
    const QDeadlineTimer deadline(m_handOverWaitMs);
    QLocalSocket socket;
    // The owner listens right after it takes the lock: a start at the same moment may come in between.
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(remainingMs(deadline)))
            break;
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("%1 cannot be reached at %2: %3").arg(owner, name, socket.errorString());
            return Claim::NoAnswer;
        }
        socket.abort();
        QThread::msleep(50);
    }
    QByteArray request = raiseRequest;
    if (!note.isEmpty())
        request += ' ' + note.simplified().toUtf8().left(maxRequestBytes - raiseRequest.size() - 2);
    socket.write(request + '\n');
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() <= raiseTaken.size()) {
        if (!socket.waitForReadyRead(remainingMs(deadline)))
            break;
        reply += socket.read(raiseTaken.size() + 1 - reply.size());
    }
    if (reply != raiseTaken) {
        m_error = QStringLiteral("%1 did not answer within %2 ms").arg(owner).arg(m_handOverWaitMs);
        return Claim::NoAnswer;
    }
    return Claim::HandedOver;
}

void SingleInstance::listen()
{
    const QString name = serverName(m_dataFolder);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(8);
    // A socket left by an owner that died is nobody's now: this program holds the lock.
    if (!m_server->listen(name) && !(QLocalServer::removeServer(name) && m_server->listen(name))) {
        qCWarning(lcShell).noquote() << QStringLiteral("Cannot listen for later starts at %1 (%2); they will say that "
                                                       "the program is already running")
                                            .arg(name, m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

void SingleInstance::serve(QLocalSocket *socket)
{
    // One short line is all a start has to say: a client that says more, or nothing for long, holds nothing up.
    socket->setReadBufferSize(maxRequestBytes);
    const auto drop = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    QTimer::singleShot(m_handOverWaitMs, socket, drop);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, drop] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() >= maxRequestBytes)
                drop();
            return;
        }
        const QByteArray line = socket->readLine(maxRequestBytes).trimmed();
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        if (line != raiseRequest && !line.startsWith(raiseRequest + ' ')) {
            drop();
            return;
        }
        // Answered first: the later start ends at once, whatever bringing the window forward takes.
        socket->write(raiseTaken);
        socket->disconnectFromServer();
        const QString note = QString::fromUtf8(line.mid(raiseRequest.size())).trimmed();
        qCInfo(lcShell).noquote() << QStringLiteral("Another start of the program handed over to this one%1")
                                         .arg(note.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(note));
        emit anotherStartAsked(note);
    });
}
