#include "base/swfheader.h"

#include <QFile>
#include <QFileInfo>

bool hasSwfSignature(const QByteArray &bytes)
{
    if (bytes.size() < 3 || bytes.at(1) != 'W' || bytes.at(2) != 'S')
        return false;
    const char first = bytes.at(0);
    return first == 'F' || first == 'C' || first == 'Z';
}

std::optional<SwfHeader> readSwfHeader(const QByteArray &bytes)
{
    if (bytes.size() < SwfHeader::size || !hasSwfSignature(bytes))
        return std::nullopt;
    SwfHeader header;
    header.compression = bytes.at(0);
    header.version = quint8(bytes.at(3));
    for (int i = 0; i < 4; ++i)
        header.declaredLength |= quint32(quint8(bytes.at(4 + i))) << (8 * i);
    return header;
}

bool fileHasSwfSignature(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && hasSwfSignature(file.read(3));
}
