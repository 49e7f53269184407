#include "base/appfolders.h"

#include "base/library/gamestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool holdsPlayerAssets(const QString &folder)
{
    return QFileInfo(QDir(folder).filePath(QStringLiteral("ruffle/ruffle.js"))).isFile();
}

} // namespace

QString appfolders::userDataHome(const QString &xdgDataHome, const QString &homeFolder)
{
    if (!xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome))
        return QDir::cleanPath(xdgDataHome);
    return QDir::cleanPath(homeFolder + QStringLiteral("/.local/share"));
}

AppFolders appfolders::locate(const QString &programFolder, const QString &userDataHome, const QString &installedFiles)
{
    const QString program = QDir::cleanPath(programFolder);
    if (!holdsPlayerAssets(program)) {
        const QString shared = QDir::cleanPath(QDir(program).filePath(installedFiles));
        if (holdsPlayerAssets(shared))
            return {shared, QDir::cleanPath(userDataHome + QStringLiteral("/quillabrix")), true};
    }
    return {program, program, false};
}

QString appfolders::prepare(const AppFolders &folders)
{
    if (!folders.installed)
        return {};
    if (!QDir().mkpath(folders.data))
        return QCoreApplication::translate("AppFolders", "cannot create the folder %1").arg(folders.data);
    const QString library = QDir(folders.data).filePath(GameStore::fileName());
    const QString delivered = QDir(folders.files).filePath(GameStore::fileName());
    if (QFileInfo::exists(library) || !QFileInfo::exists(delivered))
        return {}; // without a delivered library the store makes an empty one itself
    // Copied under another name and moved into place whole: a half-copied library is never taken for one.
    const QString part = library + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(delivered, part))
        return QCoreApplication::translate("AppFolders", "cannot copy %1 to %2").arg(delivered, part);
    // The delivered file is read-only to its users; their copy is theirs to write.
    QFile::setPermissions(part, QFile::permissions(part) | QFile::ReadOwner | QFile::WriteOwner);
    if (!QFile::rename(part, library)) {
        QFile::remove(part);
        return QCoreApplication::translate("AppFolders", "cannot move %1 into place").arg(library);
    }
    return {};
}
