#pragma once

#include <QString>
#include <QStringList>

// The two kinds of file a game keeps in the library's folders.
enum class GameFile
{
    Movie,  // in flash/
    Picture // in pic/
};

// The layout of the data folder, where the library keeps what the user gathers: the library file, the games'
// movies in flash/, their pictures in pic/ and what the games save in saves/. Every path into it is built here.
class LibraryFolders
{
public:
    LibraryFolders() = default;
    explicit LibraryFolders(const QString &dataFolder) : m_data(dataFolder) {}

    static QString libraryFileName() { return QStringLiteral("QuillabrixGame.dll"); }

    QString dataFolder() const { return m_data; }
    QString libraryFile() const;
    QString movieFolder() const;
    QString pictureFolder() const;
    QString savesFolder() const;
    // What games keep beside their movies (levels, pictures, sounds their movies load): companion/<row id>/, one
    // folder per game, named by its row so that no other game's file can land in it.
    QString companionRoot() const;
    QString companionFolder(qint64 id) const;
    // The user's settings of the program (sound, for one), an INI file.
    QString settingsFile() const;
    QString folder(GameFile kind) const { return kind == GameFile::Movie ? movieFolder() : pictureFolder(); }

    // Where a stored file name lives; empty when it is not a plain file name: a name that came from a server
    // or from the library file must never reach outside its folder.
    QString moviePath(const QString &name) const { return filePath(GameFile::Movie, name); }
    QString picturePath(const QString &name) const { return filePath(GameFile::Picture, name); }
    QString filePath(GameFile kind, const QString &name) const;

    // Makes flash/, pic/ and saves/ where they are missing. The folders that could not be made (each logged);
    // empty when all are there.
    QStringList makeFolders() const;

    // Not empty, not "." or "..", and with no "/" or NUL in it.
    static bool isPlainFileName(const QString &name);

private:
    QString m_data;
};
