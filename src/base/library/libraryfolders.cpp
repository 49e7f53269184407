#include "base/library/libraryfolders.h"

#include "base/logging.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QLatin1String movies("flash");
const QLatin1String pictures("pic");
const QLatin1String saves("saves");
const QLatin1String companions("companion");

} // namespace

QString LibraryFolders::libraryFile() const
{
    return QDir(m_data).filePath(libraryFileName());
}

QString LibraryFolders::movieFolder() const
{
    return QDir(m_data).filePath(movies);
}

QString LibraryFolders::pictureFolder() const
{
    return QDir(m_data).filePath(pictures);
}

QString LibraryFolders::settingsFile() const
{
    return QDir(m_data).filePath(QStringLiteral("settings.ini"));
}

QString LibraryFolders::savesFolder() const
{
    return QDir(m_data).filePath(saves);
}

QString LibraryFolders::companionRoot() const
{
    return QDir(m_data).filePath(companions);
}

QString LibraryFolders::companionFolder(qint64 id) const
{
    return companionRoot() + QLatin1Char('/') + QString::number(id);
}

QString LibraryFolders::filePath(GameFile kind, const QString &name) const
{
    if (!isPlainFileName(name))
        return QString();
    return QDir(m_data).filePath((kind == GameFile::Movie ? movies : pictures) + QLatin1Char('/') + name);
}

QStringList LibraryFolders::makeFolders() const
{
    QStringList missing;
    for (const QString &folder : {movieFolder(), pictureFolder(), savesFolder()}) {
        if (QFileInfo(folder).isDir() || QDir().mkpath(folder))
            continue;
        qCWarning(lcLibrary).noquote() << "Cannot create the folder" << folder;
        missing << folder;
    }
    return missing;
}

bool LibraryFolders::isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\0'));
}
