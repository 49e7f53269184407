#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The library's one rule for naming a file that comes into one of its folders (a movie in flash/, a picture in
// pic/): the name it wants when that is free, else NAME-2.EXT, NAME-3.EXT, ... Nothing here touches the store.
namespace filenaming {

// How many numbered names are tried before a file is given up as impossible to place.
constexpr int maxNameTries = 10000;

// "NAME.swf" -> "NAME-n.swf", keeping the extension as it was.
QString numberedName(const QString &name, int n);
// Whether name is wanted itself or one of the numbered names the rule gives in its place.
bool isWantedOrNumbered(const QString &name, const QString &wanted);

enum class Attempt
{
    Placed, // the file now has the name
    Taken,  // the name is in use: the next one is tried
    Failed  // the folder cannot be written: no other name would do better
};
// Tries wanted, then its numbered names, with place(name) until one is placed. The name given; empty on failure,
// with *error saying why.
QString placeUnderFreeName(const QString &wanted, const std::function<Attempt(const QString &name)> &place,
                           QString *error);

} // namespace filenaming

// What a file coming into a library folder is to be called. The name wanted replaces a file already there when
// replaceWanted is true; a numbered name never does. keep (when set) names files that must stay as they are even
// when no file has their name yet (another game's row names them): such a name counts as taken. Without
// numbering, a file that cannot have the name wanted is not placed at all.
struct FileNaming
{
    QString wanted;
    bool replaceWanted = true;
    std::function<bool(const QString &name)> keep;
    bool numbering = true;
};

// A file coming into a library folder. It is written without a name (a crash leaves nothing behind), and takes
// its name only once whole, under the file-name rule. Where the folder's file system cannot make nameless files,
// a hidden temporary name stands in. A file that is to outlive the program until it is whole (a download that
// may go on later) is opened under a hidden name of the caller's instead (openKept). Not copyable; one thread at
// a time.
class IncomingFile
{
public:
    // A file in folder, which must be there.
    explicit IncomingFile(const QString &folder);
    ~IncomingFile(); // a file that was never placed is dropped
    IncomingFile(const IncomingFile &) = delete;
    IncomingFile &operator=(const IncomingFile &) = delete;

    bool open();
    // Opens the file of the folder named hiddenName (which starts with '.'), made when it is not there, to go on
    // writing at its end. It stays on the disk when this is dropped unplaced; discard() removes it. false, with
    // errorString(), when it cannot be opened, or when another IncomingFile (of any process) has it open.
    bool openKept(const QString &hiddenName);
    bool isOpen() const { return m_fd >= 0; }
    // Bytes in the file.
    qint64 size() const;
    // Drops what was written: writing starts again at the first byte.
    bool truncate();
    // All of data, or false (a full disk, for one).
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    // Puts what was written on the disk. Slow for a large file: it may run on a worker thread.
    bool sync();
    // What was written so far (at most maxBytes of it when that is not negative), read back from the disk (empty
    // when it cannot be read).
    QByteArray readBack(qint64 maxBytes = -1) const;

    // Gives the file its name under the rule: naming.wanted, or the first free numbered name. The name given,
    // the file closed; empty on failure, with errorString() saying why.
    QString place(const FileNaming &naming);
    // Drops the file; nothing of it stays.
    void discard();
    // Lets go of the file; a kept one stays as it is, any other is dropped.
    void close();

    QString folder() const { return m_folder; }
    // Whether name is one that a file coming in has only until it is placed (a crash may leave one behind): every
    // name starting with '.', the stand-in names and the partial downloads kept to go on with later alike. No file
    // is placed under such a name.
    static bool isStandInName(const QString &name);
    QString errorString() const { return m_error; }
    // Whether an IncomingFile (of any process) has the file at path open through openKept.
    static bool isInUse(const QString &path);

private:
    filenaming::Attempt linkAs(const QString &name);
    filenaming::Attempt replaceFile(const QString &name);
    bool nameHidden();
    // Gives the file a fresh hidden name through make, which fails with EEXIST for a name in use.
    bool takeHiddenName(const std::function<bool(const QByteArray &path)> &make);

    QString m_folder;
    QString m_hiddenPath; // the stand-in name, once it has one
    int m_fd = -1;
    bool m_kept = false; // the file under m_hiddenPath outlives this
    QString m_error;
};
