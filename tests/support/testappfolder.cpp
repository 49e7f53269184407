#include "testappfolder.h"

#include "base/library/gamestore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = QDir(to).filePath(info.fileName());
        if (info.isDir())
            copyTree(info.filePath(), target);
        else
            QFile::copy(info.filePath(), target);
    }
}

} // namespace

TestAppFolder::TestAppFolder(int options)
{
    const QDir built(builtAppFolder());
    for (const char *name : {"no.gif", "nogame.swf"})
        QFile::copy(built.filePath(QString::fromLatin1(name)), m_dir.filePath(QString::fromLatin1(name)));
    for (const char *name : {"html", "images"})
        copyTree(built.filePath(QString::fromLatin1(name)), m_dir.filePath(QString::fromLatin1(name)));
    // A library of its own, as the build makes it: the one in the build's folder may hold games by now.
    if (options & WithLibrary)
        GameStore::createLibrary(m_dir.filePath(GameStore::fileName()));
}

QString TestAppFolder::builtAppFolder()
{
    const QString fromEnv = qEnvironmentVariable("QUILLABRIX_APP_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(QUILLABRIX_DEFAULT_APP_DIR) : fromEnv;
}

AppConfig TestAppFolder::config(const QUrl &serverUrl, const QUrl &siteUrl) const
{
    AppConfig c;
    c.appFolder = path();
    c.serverUrl = serverUrl;
    c.siteUrl = siteUrl;
    c.ruffleFolder = QDir(builtAppFolder()).filePath(QStringLiteral("ruffle"));
    return c;
}
