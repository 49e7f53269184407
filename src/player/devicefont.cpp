#include "player/devicefont.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>

namespace {

// Debian's Chinese fonts, smallest first: Ruffle keeps a copy of the file for every movie it plays.
const char *const kCandidates[] = {
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
    "/usr/share/fonts/truetype/arphic/uming.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
};

constexpr quint32 kMaxFaces = 16;

// Big-endian reads at file offsets; a read past the end gives nothing.
class FontFile
{
public:
    explicit FontFile(const QString &path) : m_file(path) {}
    bool open() { return m_file.open(QIODevice::ReadOnly); }

    std::optional<QByteArray> bytes(qint64 at, qint64 count)
    {
        if (at < 0 || count < 0 || at + count > m_file.size() || !m_file.seek(at))
            return std::nullopt;
        QByteArray data = m_file.read(count);
        if (data.size() != count)
            return std::nullopt;
        return data;
    }
    std::optional<quint32> u32(qint64 at)
    {
        const auto b = bytes(at, 4);
        return b ? std::optional<quint32>(qFromBigEndian<quint32>(b->constData())) : std::nullopt;
    }
    std::optional<quint16> u16(qint64 at)
    {
        const auto b = bytes(at, 2);
        return b ? std::optional<quint16>(qFromBigEndian<quint16>(b->constData())) : std::nullopt;
    }

private:
    QFile m_file;
};

struct Face
{
    QString ruffleName;  // the full name Ruffle registers the face under
    QString englishName; // the same name in English, when the font has one
    bool fixedPitch = false;
};

std::optional<qint64> tableOffset(FontFile &file, qint64 face, const char tag[4], qint64 *length = nullptr)
{
    const auto tables = file.u16(face + 4);
    if (!tables)
        return std::nullopt;
    for (quint16 i = 0; i < *tables; ++i) {
        const qint64 record = face + 12 + 16 * qint64(i);
        const auto name = file.bytes(record, 4);
        if (!name)
            return std::nullopt;
        if (*name == QByteArray(tag, 4)) {
            const auto offset = file.u32(record + 8);
            const auto size = file.u32(record + 12);
            if (!offset || !size)
                return std::nullopt;
            if (length)
                *length = *size;
            return *offset;
        }
    }
    return std::nullopt;
}

std::optional<Face> readFace(FontFile &file, qint64 at)
{
    qint64 nameLength = 0;
    const auto name = tableOffset(file, at, "name", &nameLength);
    if (!name)
        return std::nullopt;
    const auto count = file.u16(*name + 2);
    const auto storage = file.u16(*name + 4);
    if (!count || !storage)
        return std::nullopt;
    Face face;
    for (quint16 i = 0; i < *count; ++i) {
        const auto record = file.bytes(*name + 6 + 12 * qint64(i), 12);
        if (!record)
            return std::nullopt;
        const auto field = [&record](int index) { return qFromBigEndian<quint16>(record->constData() + 2 * index); };
        const quint16 platform = field(0), encoding = field(1), language = field(2), id = field(3);
        if (id != 4) // the full name
            continue;
        const auto text = file.bytes(*name + *storage + field(5), field(4));
        if (!text)
            continue;
        // Ruffle reads the Unicode records only (the Unicode platform, or Windows with a Unicode encoding),
        // and takes the first.
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 0 || encoding == 1 || encoding == 10));
        const QString decoded =
            unicode ? QStringDecoder(QStringDecoder::Utf16BE).decode(*text) : QString::fromLatin1(*text);
        if (unicode && face.ruffleName.isEmpty())
            face.ruffleName = decoded;
        if ((platform == 3 && language == 0x409) || (platform == 1 && encoding == 0 && language == 0))
            face.englishName = decoded;
    }
    if (face.ruffleName.isEmpty())
        return std::nullopt;
    if (const auto post = tableOffset(file, at, "post")) {
        if (const auto fixed = file.u32(*post + 12))
            face.fixedPitch = *fixed != 0;
    }
    if (face.englishName.contains(QLatin1String("Mono")))
        face.fixedPitch = true;
    return face;
}

QStringList namesOf(const Face &face)
{
    QStringList names{face.ruffleName};
    if (!face.englishName.isEmpty() && face.englishName != face.ruffleName)
        names << face.englishName;
    return names;
}

} // namespace

std::optional<DeviceFont> DeviceFont::find()
{
    for (const char *candidate : kCandidates) {
        if (auto font = read(QString::fromLatin1(candidate)))
            return font;
    }
    return std::nullopt;
}

std::optional<DeviceFont> DeviceFont::read(const QString &path)
{
    FontFile file(path);
    if (!file.open())
        return std::nullopt;
    const auto tag = file.bytes(0, 4);
    if (!tag)
        return std::nullopt;
    QList<qint64> faces;
    if (*tag == QByteArrayLiteral("ttcf")) {
        const auto count = file.u32(8);
        if (!count)
            return std::nullopt;
        for (quint32 i = 0; i < qMin(*count, kMaxFaces); ++i) {
            if (const auto offset = file.u32(12 + 4 * qint64(i)))
                faces << *offset;
        }
    } else if (*tag == QByteArray("\x00\x01\x00\x00", 4) || *tag == QByteArrayLiteral("OTTO") ||
               *tag == QByteArrayLiteral("true")) {
        faces << 0;
    }

    std::optional<Face> regular, monospace;
    for (qint64 at : faces) {
        const std::optional<Face> face = readFace(file, at);
        if (!face)
            continue;
        if (!regular)
            regular = face;
        if (!monospace && face->fixedPitch)
            monospace = face;
    }
    if (!regular)
        return std::nullopt;
    DeviceFont font;
    font.path = path;
    font.regularNames = namesOf(*regular);
    font.monospaceNames = namesOf(monospace ? *monospace : *regular);
    return font;
}
