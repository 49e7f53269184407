// The movie header reader on any bytes: a header comes back exactly when there are eight bytes that start
// with a movie signature, and its fields are those bytes (the length little-endian).
//
// Input: the file's first bytes.

#include "base/swfheader.h"
#include "fuzzsupport.h"

#include <QtEndian>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    const bool signature = bytes.startsWith("FWS") || bytes.startsWith("CWS") || bytes.startsWith("ZWS");
    const QString hex = QString::fromLatin1(bytes.left(16).toHex(' '));

    FUZZ_CHECK(hasSwfSignature(bytes) == signature, hex);
    const std::optional<SwfHeader> header = readSwfHeader(bytes);
    FUZZ_CHECK(bool(header) == (signature && bytes.size() >= 8), hex);
    if (!header)
        return 0;
    FUZZ_CHECK(header->compression == bytes.at(0), hex);
    FUZZ_CHECK(header->version == quint8(bytes.at(3)), hex);
    FUZZ_CHECK(header->declaredLength == qFromLittleEndian<quint32>(bytes.constData() + 4),
               hex + QStringLiteral(" read length %1").arg(header->declaredLength));
    // Only the first eight bytes count.
    const std::optional<SwfHeader> first8 = readSwfHeader(bytes.left(8));
    FUZZ_CHECK(first8 && first8->compression == header->compression && first8->version == header->version &&
                   first8->declaredLength == header->declaredLength,
               hex);
    return 0;
}
