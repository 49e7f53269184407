#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <optional>

// Serves the player page, Ruffle, its device font and the library's movies and pictures to the players, and
// nothing else.
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
};
