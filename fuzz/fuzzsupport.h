#pragma once

// What every fuzz target shares: a property check that stops the run with a readable account, the input read
// as text, and the check that a file name stays in its folder.

#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Text with everything outside printable ASCII written as \uXXXX, so that a failure report shows the input.
inline QString shown(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

[[noreturn]] inline void fail(const char *property, const char *file, int line, const QString &detail)
{
    const QString shortened = detail.size() > 600 ? detail.left(600) + QStringLiteral(" ...") : detail;
    std::fprintf(stderr, "\n==== property failed at %s:%d: %s\n     %s\n", file, line, property,
                 shortened.toLocal8Bit().constData());
    std::fflush(stderr);
    std::abort(); // libFuzzer saves the input as a crash artifact
}

// The input as text. After a UTF-16LE byte-order mark (FF FE) the bytes are UTF-16 code units, so any code
// unit (controls, lone surrogates) can be written; otherwise UTF-8, which keeps seed files readable.
inline QString text(const uint8_t *data, size_t size)
{
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        QString out;
        for (size_t i = 2; i + 1 < size; i += 2)
            out += QChar(char16_t(data[i] | data[i + 1] << 8));
        return out;
    }
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Whether folder/name, as the program builds it (QDir(appFolder).filePath("folder/" + name)), names an entry
// directly inside appFolder/folder under exactly that name: not the folder itself, not deeper, not elsewhere.
inline bool staysDirectlyIn(const QString &appFolder, const QString &folder, const QString &name)
{
    const QString path = QDir::cleanPath(QDir(appFolder).filePath(folder + QLatin1Char('/') + name));
    const QString prefix = QDir::cleanPath(appFolder + QLatin1Char('/') + folder) + QLatin1Char('/');
    return path.startsWith(prefix) && path.mid(prefix.size()) == name;
}

// Application folders the path checks use: a plain one and one with a blank and Chinese characters.
inline const QStringList &appFolders()
{
    static const QStringList folders = {QStringLiteral("/opt/quillabrix"),
                                        QStringLiteral("/home/\u7528\u6237/Quillabrix Game/app")};
    return folders;
}

} // namespace fuzz

#define FUZZ_CHECK(condition, detail)                                                                            \
    do {                                                                                                         \
        if (!(condition))                                                                                        \
            ::fuzz::fail(#condition, __FILE__, __LINE__, (detail));                                              \
    } while (false)
