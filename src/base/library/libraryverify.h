#pragma once

#include "base/library/gamestore.h"
#include "base/library/libraryfolders.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

class Library;

namespace moviedigest {

// How much of a movie is read at a time: large enough that the system's read-ahead streams the file.
constexpr qint64 blockBytes = 1024 * 1024;

// The size and SHA-256 of the regular file at path, read whole. nullopt when it cannot be read, is no regular
// file, changed while it was read, or cancel was set meanwhile. progress (if set) hears of every block read.
std::optional<MovieDigest> ofFile(const QString &path, const std::atomic<bool> *cancel = nullptr,
                                  const std::function<void(qint64 bytes)> &progress = {});
// The same for a file already open, which is left open.
std::optional<MovieDigest> ofDescriptor(int fd, const std::atomic<bool> *cancel = nullptr,
                                        const std::function<void(qint64 bytes)> &progress = {});

} // namespace moviedigest

// The files that some paths open, as the file system tells files apart rather than as their names are spelled: on a
// file system that ignores case (vfat on a USB stick) a game's "Game.swf" opens "game.swf", and a hard link is the
// same file under another name. Told by device and inode, so that no rule of case need be guessed.
class OpenedFiles
{
public:
    // The files these paths open, and the links among them themselves; a path that opens nothing adds nothing.
    explicit OpenedFiles(const QStringList &paths);
    // Whether the file (or link) at path is one of them.
    bool contains(const QString &path) const;

private:
    QSet<std::pair<quint64, quint64>> m_files;
};

// Works out the digests of movies one after another on a thread of its own: a movie can be hundreds of MB.
// The results come back in batches, in the thread this object lives in.
class DigestWorker : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        qint64 id = 0;
        quint64 serial = 0;
        QString path;
    };
    struct Result
    {
        Job job;
        std::optional<MovieDigest> digest; // nullopt: the movie could not be read whole
    };

    explicit DigestWorker(QObject *parent = nullptr);
    ~DigestWorker() override; // stops at the next block and waits for the thread

    void add(const Job &job);

signals:
    void digested(const QVector<DigestWorker::Result> &results);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// What the library records of the files games keep beside their movies, to tell what under companion/ no record
// names.
struct CompanionRecords
{
    QSet<qint64> games;                // every recorded game's row id
    QHash<qint64, QSet<QString>> kept; // each game's kept paths

    static CompanionRecords of(const QVector<qint64> &games, const QHash<qint64, QVector<KeptFile>> &kept);

    enum class Kind
    {
        File,   // a regular file
        Folder, // a folder (not a link to one)
        Other   // a link, FIFO, device or socket, or nothing
    };
    // What to list for the thing at path under companion/ when no record names it: the folder of a game that is not
    // recorded (or of no game) as a whole, anything else by its own path. Empty when a recorded game's record names
    // it as a regular file, or it is a file still coming in (a name starting with '.').
    QString unnamedPart(const QString &path, Kind kind) const;
};

// What verifying one game found.
struct GameCheck
{
    enum class Movie
    {
        Intact,
        Missing,        // no file (or its recorded name cannot be a file in flash/)
        SizeChanged,    // not the size recorded
        ContentChanged, // the size recorded, other bytes
        Unreadable      // there, but it cannot be read whole
    };
    GameRecord game;
    Movie movie = Movie::Intact;
    bool pictureMissing = false; // it names a picture that is not in pic/
    // Files it keeps beside its movie (paths in its companion folder) that are not there as regular files, and those
    // of another size or content than recorded, or that cannot be read whole.
    QStringList keptMissing, keptChanged;

    bool isDamaged() const
    {
        return movie != Movie::Intact || pictureMissing || !keptMissing.isEmpty() || !keptChanged.isEmpty();
    }
};

// What a verification of the whole library found.
struct VerifyReport
{
    bool cancelled = false;
    bool libraryUnreadable = false; // nothing could be checked
    int gamesChecked = 0;
    QVector<GameCheck> damaged; // games with a finding, in the library's order (newest first)
    // Files in flash/ and pic/ that no game names, in any spelling that opens them. Names starting with '.' are the
    // program's own (files still coming in) and never listed; neither are files a game on its way holds.
    QStringList orphanMovies, orphanPictures;
    // What lies in companion/ that no record names (see CompanionRecords), relative to companion/.
    QStringList orphanCompanions;
    int digestsRecorded = 0; // movies recorded before digests were kept, that now have theirs
    qint64 bytesRead = 0;
};

// Checks every game of the library against its record, on a thread of its own: that its movie and the files it keeps
// beside it are there with the size and SHA-256 recorded, that its picture is there, and which files of flash/, pic/
// and companion/ no game names. A game
// recorded without a digest gets one now. Changes nothing else: repairing is the caller's, through the Library.
class LibraryVerify : public QObject
{
    Q_OBJECT

public:
    explicit LibraryVerify(Library *library, QObject *parent = nullptr);
    ~LibraryVerify() override; // cancels and waits for the worker

    // Starts a verification, whose end comes as finished(); ignored while one runs. Called in this object's thread.
    void start();
    // Stops at the next block read; finished() still comes, with cancelled set.
    void cancel();
    bool isRunning() const { return m_running; }

signals:
    // Delivered in this object's thread, a few times a second at most.
    void progress(int gamesDone, int games, qint64 bytesDone, qint64 bytes);
    void finished(const VerifyReport &report);

private:
    struct Work;
    void work(Work &job);
    void done(const VerifyReport &report, const QHash<qint64, MovieDigest> &firstDigests);
    void stopWorker();

    Library *m_library;
    bool m_running = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;
};
