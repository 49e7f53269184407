#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

// Runs the cipher's own command-line tool on a library file: an outside reader and writer of the format.
struct SqlCipherCli
{
    int exitCode = -1;
    QString out;
    QString err;

    // Runs script against path; with a key, "PRAGMA key" comes first, as a user of the tool would type it.
    static SqlCipherCli run(const QString &path, const QString &script, const QString &key = QStringLiteral("73925016"))
    {
        QProcess process;
        process.start(QStringLiteral("sqlcipher"), {QStringLiteral("-batch"), path});
        SqlCipherCli result;
        if (!process.waitForStarted(10000)) {
            result.err = QStringLiteral("sqlcipher did not start");
            return result;
        }
        QString input = script;
        if (!key.isNull())
            input.prepend(QStringLiteral("PRAGMA key='%1';\n").arg(key));
        process.write(input.toUtf8());
        process.closeWriteChannel();
        process.waitForFinished(60000);
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // Quotes a text as an SQL literal.
    static QString literal(const QString &text)
    {
        QString quoted = text;
        quoted.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + quoted + QLatin1Char('\'');
    }

    static QByteArray bytesOf(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
