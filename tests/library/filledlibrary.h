#pragma once

#include "base/library/gamestore.h"
#include "sqlciphercli.h"
#include "testappfolder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QVector>

#include <sched.h>
#include <sys/mount.h>

// Whether this process has a mount namespace of its own: a file system mounted in it is gone with the process,
// however the process ends. Called first thing in main(), before any thread starts (a thread would not follow
// the process into the namespace).
inline bool &ownMounts()
{
    static bool own = false;
    return own;
}
inline void enterOwnMounts()
{
    ownMounts() = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

struct Game
{
    int id;
    QString name, movie, picture, desc;
};

// A data folder with flash/, pic/ and a library holding the given games under their own ids (game ids 1000 above
// them), written by the cipher's own tool.
struct FilledLibrary
{
    TestAppFolder app;
    bool mounted = false;

    // With diskKiB, the folder is a file system of its own of that size (mounted only where ownMounts()).
    explicit FilledLibrary(const QVector<Game> &games = {}, int diskKiB = 0)
    {
        if (diskKiB > 0) {
            const QByteArray options = "size=" + QByteArray::number(diskKiB) + "k,mode=0700";
            mounted = ownMounts() && ::mount("tmpfs", QFile::encodeName(app.path()).constData(), "tmpfs",
                                             MS_NOSUID | MS_NODEV, options.constData()) == 0;
            if (!mounted)
                return;
        }
        QDir(app.path()).mkpath(QStringLiteral("flash"));
        QDir(app.path()).mkpath(QStringLiteral("pic"));
        if (!GameStore::createLibrary(libraryFile()))
            qFatal("cannot create a library");
        QString script;
        for (const Game &g : games)
            script += QStringLiteral("INSERT INTO data (id, gameid, gamename, game, gamepic, gamedesc)"
                                     " VALUES (%1, %2, %3, %4, %5, %6);\n")
                          .arg(g.id)
                          .arg(1000 + g.id)
                          .arg(SqlCipherCli::literal(g.name), SqlCipherCli::literal(g.movie),
                               SqlCipherCli::literal(g.picture), SqlCipherCli::literal(g.desc));
        if (!script.isEmpty() && !SqlCipherCli::run(libraryFile(), script).err.isEmpty())
            qFatal("cannot fill the library");
    }
    ~FilledLibrary()
    {
        if (mounted)
            ::umount2(QFile::encodeName(app.path()).constData(), MNT_DETACH);
    }
    FilledLibrary(const FilledLibrary &) = delete;
    FilledLibrary &operator=(const FilledLibrary &) = delete;

    QString path() const { return app.path(); }
    QString libraryFile() const { return app.filePath(GameStore::fileName()); }
    bool exists(const QString &relative) const { return QFileInfo::exists(app.filePath(relative)); }

    // A picture for a file in pic/, a movie's first bytes for any other.
    void writeFile(const QString &relative) const
    {
        if (relative.startsWith(QLatin1String("pic/"))) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(Qt::red);
            image.save(app.filePath(relative), "PNG");
        } else {
            QFile file(app.filePath(relative));
            file.open(QIODevice::WriteOnly);
            file.write("FWS");
        }
    }
    void writeFiles(const QStringList &relatives) const
    {
        for (const QString &relative : relatives)
            writeFile(relative);
    }

    // The files in flash/ and pic/, as "flash/NAME" and "pic/NAME", sorted.
    QStringList gameFiles() const
    {
        QStringList files;
        for (const QString &folder : {QStringLiteral("flash"), QStringLiteral("pic")}) {
            for (const QString &name : QDir(app.filePath(folder)).entryList(QDir::Files))
                files << folder + QLatin1Char('/') + name;
        }
        files.sort();
        return files;
    }

    // Fills the folder's file system up to its last byte.
    void fillDisk() const
    {
        QFile filler(app.filePath(QStringLiteral("filler")));
        filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    bool freeDisk() const { return QFile::remove(app.filePath(QStringLiteral("filler"))); }
};
