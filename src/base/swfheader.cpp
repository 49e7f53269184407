#include "base/swfheader.h"

#include <QFile>
#include <QFileInfo>

#include <zlib.h>

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

namespace {

// The movie's bytes after its header, uncompressed, a piece at a time.
class SwfBody
{
public:
    SwfBody(QFile &file, bool zlib) : m_file(file), m_zlib(zlib)
    {
        if (m_zlib)
            m_zlibReady = inflateInit(&m_stream) == Z_OK;
    }
    ~SwfBody()
    {
        if (m_zlibReady)
            inflateEnd(&m_stream);
    }
    SwfBody(const SwfBody &) = delete;
    SwfBody &operator=(const SwfBody &) = delete;

    // The next n bytes (consumed); empty when the movie ends first or the limit is reached.
    QByteArray take(qint64 n)
    {
        while (m_buffer.size() - m_pos < n) {
            if (m_pos > 0) {
                m_buffer.remove(0, m_pos);
                m_pos = 0;
            }
            if (!more())
                return {};
        }
        const QByteArray bytes = m_buffer.mid(m_pos, n);
        m_pos += n;
        return bytes;
    }

    bool skip(qint64 n)
    {
        while (m_buffer.size() - m_pos < n) {
            n -= m_buffer.size() - m_pos;
            m_buffer.clear();
            m_pos = 0;
            if (!more())
                return false;
        }
        m_pos += n;
        return true;
    }

private:
    static constexpr qint64 kChunk = 64 * 1024;
    static constexpr qint64 kLimit = 8 * 1024 * 1024; // a first frame longer than this is not read to its end

    bool more()
    {
        if (m_read >= kLimit)
            return false;
        const QByteArray in = m_file.read(kChunk);
        if (in.isEmpty())
            return false;
        if (!m_zlib) {
            m_read += in.size();
            m_buffer += in;
            return true;
        }
        if (!m_zlibReady)
            return false;
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        m_stream.avail_in = uInt(in.size());
        const qint64 before = m_buffer.size();
        QByteArray out(kChunk, Qt::Uninitialized);
        while (m_stream.avail_in > 0) {
            m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
            m_stream.avail_out = uInt(out.size());
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            m_buffer.append(out.constData(), out.size() - qint64(m_stream.avail_out));
            if (result != Z_OK)
                break; // the stream's end, or damage: what came before still counts
        }
        m_read += m_buffer.size() - before;
        return m_buffer.size() > before;
    }

    QFile &m_file;
    bool m_zlib;
    bool m_zlibReady = false;
    z_stream m_stream{};
    QByteArray m_buffer;
    qint64 m_pos = 0;
    qint64 m_read = 0;
};

quint32 littleEndian(const QByteArray &bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes.size(); ++i)
        value |= quint32(quint8(bytes.at(i))) << (8 * i);
    return value;
}

} // namespace

std::optional<quint32> readSwfBackgroundColour(const QString &path)
{
    enum Tag : quint16
    {
        End = 0,
        ShowFrame = 1,
        SetBackgroundColor = 9,
    };
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<SwfHeader> header = readSwfHeader(file.read(SwfHeader::size));
    if (!header || header->compression == 'Z')
        return std::nullopt;
    SwfBody body(file, header->compression == 'C');
    // The stage rectangle: five bits give the width of each of its four fields.
    const QByteArray rectStart = body.take(1);
    if (rectStart.isEmpty())
        return std::nullopt;
    const int rectBits = 5 + 4 * (quint8(rectStart.at(0)) >> 3);
    if (!body.skip((rectBits + 7) / 8 - 1 + 4)) // the rest of it, then frame rate and frame count
        return std::nullopt;
    for (;;) {
        const QByteArray tagHeader = body.take(2);
        if (tagHeader.isEmpty())
            return std::nullopt;
        const quint32 codeAndLength = littleEndian(tagHeader);
        const quint32 code = codeAndLength >> 6;
        qint64 length = codeAndLength & 0x3f;
        if (length == 0x3f) {
            const QByteArray longLength = body.take(4);
            if (longLength.isEmpty())
                return std::nullopt;
            length = littleEndian(longLength);
        }
        if (code == End || code == ShowFrame)
            return std::nullopt;
        if (code == SetBackgroundColor && length >= 3) {
            const QByteArray rgb = body.take(3);
            if (rgb.isEmpty())
                return std::nullopt;
            return (quint32(quint8(rgb.at(0))) << 16) | (quint32(quint8(rgb.at(1))) << 8) | quint8(rgb.at(2));
        }
        if (!body.skip(length))
            return std::nullopt;
    }
}
