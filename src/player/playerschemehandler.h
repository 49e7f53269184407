#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <functional>
#include <optional>

// Serves the player page, Ruffle, its device font, the library's movies and pictures and the files games keep
// beside their movies to the players, and nothing else.
class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    PlayerSchemeHandler(const QString &appFolder, const QString &ruffleFolder, QObject *parent = nullptr);

    // Where the library's flash and pic folders are, when not in the application folder.
    void setDataFolder(const QString &dataFolder);
    // The installed font file that Ruffle reads for device-font text, served as fontUrl(); empty serves none.
    void setDeviceFontFile(const QString &path);
    QUrl fontUrl() const;
    // Where the files that movies load beside them come from; without it every such request fails.
    // Asked for a file a game keeps: the game's row id (0 while it has none: then the server's id of the game), the
    // file's path and the request's query. answer comes once, with the file to serve or none, while context lives.
    using CompanionLookup =
        std::function<void(qint64 id, const QString &serverGameId, const QString &path, const QString &query,
                           QObject *context, std::function<void(const std::optional<QString> &filePath)> answer)>;
    void setCompanionLookup(CompanionLookup lookup) { m_companions = std::move(lookup); }
    // The address under which the game with this row id finds the files it keeps: its movie's requests for files
    // beside it are sent there (the path after it is the file's path in the game's folder).
    static QUrl companionUrl(qint64 id);
    // The same for a game from the server that has no row yet, by the server's id of the game.
    static QUrl companionUrl(const QString &serverGameId);

    static QByteArray scheme();
    static QUrl pageUrl();

    struct Resource
    {
        QString filePath; // a local file or a Qt resource
        QByteArray mimeType;
    };

    // What a request URL names; nothing for anything outside the served places.
    std::optional<Resource> resolve(const QUrl &url) const;

    // The URL of the placeholder movie of the application folder or of a file of the data folder's flash and pic
    // folders, given as the program builds it (either separator);
    // empty when the file is not one that this handler would serve.
    QUrl urlForFile(const QString &path) const;

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    std::optional<Resource> resolveInFolder(const QString &folder, const QStringList &segments) const;

    QString m_appFolder;
    QString m_ruffleFolder;
    QString m_dataFolder;
    QString m_fontFile;
    CompanionLookup m_companions;
};
