#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <thread>

// A movie of the user's that now lies in the flash folder.
struct ImportedMovie
{
    QString sourcePath; // the file the user chose
    QString movieFile;  // its name inside flash/ (a plain file name)
    QString title;      // the default title: the source file's name without its ".swf" extension, and without the
                        // invisible characters that would change how the text around them reads (bidi overrides)
    bool copied = true; // false: an identical file was already in flash/ under fileName, nothing was copied
};

// A file that was not added, and why.
struct RefusedMovie
{
    enum class Kind
    {
        NotAMovie,   // no movie signature, or not a regular file at all
        Damaged,     // the header's length does not fit the file
        TooLarge,    // over the size limit
        Unreadable,  // missing, no permission, or it changed while being read
        NoDiskSpace, // copying it would leave less than movielimits::diskReserveBytes free
        CopyFailed,  // the flash folder could not be written
        HiddenName,  // its name starts with a dot: it would be a hidden file in flash/, and "..swf" has no title
        BadName      // its name is not valid UTF-8, so it cannot be opened by the name the program sees
    };
    QString sourcePath;
    QString reason; // a short translated reason
    Kind kind = Kind::NotAMovie;
};

// Adds Flash movies the user already has to the library's flash folder. Each file is checked (a regular file,
// a movie header whose length fits, not too large, room left on the disk), then copied under a free name
// through a temporary file that takes its final name only when complete; a file whose content is already in
// the folder is not copied again. The work runs on a thread of its own; recording the games is the caller's.
class MovieImport : public QObject
{
    Q_OBJECT

public:
    explicit MovieImport(const QString &flashFolder, QObject *parent = nullptr);
    ~MovieImport() override; // cancels and waits for the worker

    // The files to add: each file as given; each folder's *.swf files (any case of the extension, hidden ones and
    // those whose name is not valid UTF-8 too, so that they are refused rather than silently left out), not
    // recursively, sorted by name. Duplicates of the same path once. Paths come back absolute.
    static QStringList expand(const QStringList &paths);

    // Starts adding (expand() applied); the work runs off the calling thread, which must be the one this
    // object lives in. One run at a time: a start() while running is ignored.
    void start(const QStringList &paths);
    // Stops after the current file (a copy under way is dropped); nothing partial is left; finished() still
    // comes with what was done before.
    void cancel();
    // True from start() until finished() is emitted.
    bool isRunning() const { return m_running; }
    // The largest movie accepted; movielimits::maxBytes unless set before start().
    void setMaxMovieBytes(qint64 bytes) { m_maxBytes = bytes; }
    QString flashFolder() const { return m_flashFolder; }

signals:
    // After each file; delivered in this object's thread.
    void progress(int done, int total);
    void finished(const QVector<ImportedMovie> &added, const QVector<RefusedMovie> &refused);

private:
    void stopWorker();

    QString m_flashFolder;
    qint64 m_maxBytes;
    bool m_running = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;
};
