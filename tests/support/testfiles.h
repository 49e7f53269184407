#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <memory>

// Small file and network helpers the tests share: what a folder holds, what a file or URL contains.
namespace testfiles {

// The body at url (empty when nothing arrived within timeoutMs).
inline QByteArray httpGet(QNetworkAccessManager &network, const QUrl &url, int timeoutMs = 15000)
{
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(url)));
    (void)QTest::qWaitFor([&] { return reply->isFinished(); }, timeoutMs);
    return reply->readAll();
}

inline QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The names of the files (hidden ones too) directly in folder.
inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Every file under folder with its size, to see that nothing was written.
inline QStringList treeOf(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << QStringLiteral("%1 %2").arg(it.filePath()).arg(it.fileInfo().size());
    }
    out.sort();
    return out;
}

} // namespace testfiles
