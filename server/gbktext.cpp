#include "gbktext.h"

#include <QStringEncoder>

#include <cstdio>

namespace portal {

std::string gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

std::string hexCoded(const QString &text)
{
    const std::string bytes = gbk(text);
    std::string out;
    out.reserve(bytes.size() * 4);
    char group[5];
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned code = static_cast<unsigned char>(bytes[i]);
        // 0x81..0xFE open a double-byte character; 0x80 (the euro sign) and ASCII stand alone.
        if (code >= 0x81 && code <= 0xFE && i + 1 < bytes.size())
            code = code << 8 | static_cast<unsigned char>(bytes[++i]);
        std::snprintf(group, sizeof group, "%04X", code);
        out += group;
    }
    return out;
}

QString withCodes(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("#39;"));
    out.replace(QLatin1Char('"'), QLatin1String("#34;"));
    return out;
}

} // namespace portal
