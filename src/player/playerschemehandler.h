#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <optional>

// Serves the player page, Ruffle and the library's movies and pictures to the players, and nothing else.
class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    PlayerSchemeHandler(const QString &appFolder, const QString &ruffleFolder, QObject *parent = nullptr);

    static QByteArray scheme();
    static QUrl pageUrl();

    struct Resource
    {
        QString filePath; // a local file or a Qt resource
        QByteArray mimeType;
    };

    // What a request URL names; nothing for anything outside the served places.
    std::optional<Resource> resolve(const QUrl &url) const;

    // The URL of a file of the application folder, given as the program builds it (either separator);
    // empty when the file is not one that this handler would serve.
    QUrl urlForFile(const QString &path) const;

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    std::optional<Resource> resolveInFolder(const QString &folder, const QStringList &segments) const;

    QString m_appFolder;
    QString m_ruffleFolder;
};
