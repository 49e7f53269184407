#pragma once

#include "base/appconfig.h"

#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// A fresh application folder in a temporary directory, holding what the build delivers beside the
// program (placeholder movie and picture, local page, artwork) but no library, flash or pic folders
// unless asked for. Ruffle is used from the real application folder.
class TestAppFolder
{
public:
    enum Option
    {
        Plain = 0,
        WithLibrary = 1, // an empty encrypted library, made as the build makes it
    };

    explicit TestAppFolder(int options = Plain);

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }

    AppConfig config(const QUrl &serverUrl = QUrl(QStringLiteral("http://127.0.0.1:1/")),
                     const QUrl &siteUrl = QUrl(QStringLiteral("http://127.0.0.1:1/site.htm"))) const;

    // The build's application folder (build/app).
    static QString builtAppFolder();

private:
    QTemporaryDir m_dir;
};
