#include "swfwriter.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace swf {

namespace {

constexpr uint8_t kVersion = 10;
constexpr int kTwipsPerPixel = 20;
constexpr int kMaxStagePixels = 65535;
constexpr std::size_t kHeaderSize = 8; // signature, version, file length: never compressed
constexpr std::size_t kAdlerSize = 4;
constexpr std::size_t kStoredBlockOverhead = 5; // BFINAL/BTYPE byte, LEN, NLEN
constexpr std::size_t kStoredBlockMax = 65535;

enum TagCode : uint16_t
{
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    SetBackgroundColor = 9,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    ScriptLimits = 65,
    FileAttributes = 69,
    // No player defines this code; players skip tags they do not know, so it carries the padding.
    Padding = 1023,
};

constexpr std::size_t kShortTagMaxLength = 62; // 63 announces a long tag
constexpr std::size_t kShortTagHeader = 2;
constexpr std::size_t kLongTagHeader = 6;

void putU16(std::string &out, uint32_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

void putU32(std::string &out, uint32_t v)
{
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

void putTagHeader(std::string &out, uint16_t code, std::size_t length, bool forceLong = false)
{
    if (length <= kShortTagMaxLength && !forceLong) {
        putU16(out, uint32_t(code) << 6 | uint32_t(length));
    } else {
        putU16(out, uint32_t(code) << 6 | 0x3F);
        putU32(out, uint32_t(length));
    }
}

void putTag(std::string &out, uint16_t code, const std::string &body)
{
    putTagHeader(out, code, body.size());
    out += body;
}

void putRgb(std::string &out, uint32_t rgb)
{
    out.push_back(char((rgb >> 16) & 0xFF));
    out.push_back(char((rgb >> 8) & 0xFF));
    out.push_back(char(rgb & 0xFF));
}

// MSB-first bit packing, as every bit field of the format is.
class BitWriter
{
public:
    explicit BitWriter(std::string &out) : m_out(out) {}
    ~BitWriter() { flush(); }

    void put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_byte = uint8_t(m_byte << 1 | ((value >> i) & 1));
            if (++m_used == 8)
                emit();
        }
    }
    void putSigned(int32_t value, int bits) { put(uint32_t(value), bits); }

    void flush()
    {
        if (m_used == 0)
            return;
        m_byte = uint8_t(m_byte << (8 - m_used));
        emit();
    }

private:
    void emit()
    {
        m_out.push_back(char(m_byte));
        m_byte = 0;
        m_used = 0;
    }

    std::string &m_out;
    uint8_t m_byte = 0;
    int m_used = 0;
};

int signedBits(int32_t v)
{
    uint32_t magnitude = v < 0 ? ~uint32_t(v) : uint32_t(v);
    int bits = 1; // sign
    while (magnitude) {
        ++bits;
        magnitude >>= 1;
    }
    return bits;
}

// A rectangle from the origin; extraBits widens its fields, which a reader accepts, to grow it by bytes.
void putRect(std::string &out, int32_t xMax, int32_t yMax, int extraBits = 0)
{
    const int bits = std::max(signedBits(xMax), signedBits(yMax)) + extraBits;
    BitWriter w(out);
    w.put(uint32_t(bits), 5);
    w.putSigned(0, bits);
    w.putSigned(xMax, bits);
    w.putSigned(0, bits);
    w.putSigned(yMax, bits);
}

// A filled rectangle of w x h twips at (x, y); its bounds are given from the origin, which holds it.
std::string shapeTag(uint16_t id, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb)
{
    std::string body;
    putU16(body, id);
    putRect(body, x + w, y + h);
    body.push_back(1); // one fill style
    body.push_back(0); // solid
    putRgb(body, rgb);
    body.push_back(0); // no line styles
    {
        BitWriter bits(body);
        bits.put(1, 4); // fill index bits
        bits.put(0, 4); // line index bits
        // Style change: move to the origin and fill with style 1 on the right of the edges.
        bits.put(0, 1);
        bits.put(0b00101, 5); // new styles, line style, fill style 1, fill style 0, move to
        const int moveBits = std::max(signedBits(x), signedBits(y));
        bits.put(uint32_t(moveBits), 5);
        bits.putSigned(x, moveBits);
        bits.putSigned(y, moveBits);
        bits.put(1, 1); // fill style 1
        // Four straight edges around the stage, clockwise.
        const int32_t deltas[4][2] = {{w, 0}, {0, h}, {-w, 0}, {0, -h}};
        for (const auto &d : deltas) {
            const bool vertical = d[0] == 0;
            const int32_t delta = vertical ? d[1] : d[0];
            const int n = std::max(2, signedBits(delta));
            bits.put(1, 1); // edge
            bits.put(1, 1); // straight
            bits.put(uint32_t(n - 2), 4);
            bits.put(0, 1); // not general: horizontal or vertical
            bits.put(vertical ? 1 : 0, 1);
            bits.putSigned(delta, n);
        }
        bits.put(0, 6); // end of shape
    }
    std::string out;
    putTag(out, DefineShape, body);
    return out;
}

void validate(const MovieSpec &spec)
{
    if (spec.frameColors.empty())
        throw std::invalid_argument("a movie needs at least one frame");
    if (spec.frameColors.size() > 65535)
        throw std::invalid_argument("a movie has at most 65535 frames");
    if (spec.width <= 0 || spec.height <= 0 || spec.width > kMaxStagePixels || spec.height > kMaxStagePixels)
        throw std::invalid_argument("the stage size must be between 1 and 65535 pixels");
    if (!(spec.frameRate > 0) || spec.frameRate >= 256 || std::lround(spec.frameRate * 256) < 1)
        throw std::invalid_argument("the frame rate must lie between 1/256 and 256");
    if (spec.margin < 0 || 2 * spec.margin >= std::min(spec.width, spec.height))
        throw std::invalid_argument("the margin must leave a rectangle inside the stage");
    if (spec.padTo > std::numeric_limits<uint32_t>::max())
        throw std::invalid_argument("a movie is at most 4 GiB long");
}

// Everything after the 8-byte header up to and excluding the End tag.
std::string movieBody(const MovieSpec &spec, int extraRectBits)
{
    const int32_t w = spec.width * kTwipsPerPixel;
    const int32_t h = spec.height * kTwipsPerPixel;
    std::string out;
    putRect(out, w, h, extraRectBits);
    putU16(out, uint32_t(std::lround(spec.frameRate * 256)));
    putU16(out, uint32_t(spec.frameColors.size()));

    putTag(out, FileAttributes, std::string(4, '\0'));
    for (int i = 0; i < spec.tagsBeforeBackground; ++i) {
        std::string limits;
        putU16(limits, 256); // recursion depth
        putU16(limits, 15);  // seconds a script may run
        putTag(out, ScriptLimits, limits);
    }
    if (spec.setsBackground) {
        std::string bg;
        putRgb(bg, spec.background.value_or(spec.frameColors.front()));
        putTag(out, SetBackgroundColor, bg);
    }
    const int32_t inset = spec.margin * kTwipsPerPixel;

    std::map<uint32_t, uint16_t> shapes;
    for (uint32_t colour : spec.frameColors) {
        const uint32_t rgb = colour & 0xFFFFFF;
        if (shapes.count(rgb))
            continue;
        const uint16_t id = uint16_t(shapes.size() + 1);
        shapes.emplace(rgb, id);
        out += shapeTag(id, inset, inset, w - 2 * inset, h - 2 * inset, rgb);
    }

    // Each frame removes the previous rectangle and places its own, so that going back to any frame
    // (looping, rewinding) rebuilds exactly that frame's picture.
    for (std::size_t i = 0; i < spec.frameColors.size(); ++i) {
        if (i > 0) {
            std::string remove;
            putU16(remove, 1);
            putTag(out, RemoveObject2, remove);
        }
        std::string place;
        place.push_back(0x02); // has character
        putU16(place, 1);      // depth
        putU16(place, shapes.at(spec.frameColors[i] & 0xFFFFFF));
        putTag(out, PlaceObject2, place);
        putTag(out, ShowFrame, {});
    }
    return out;
}

std::string header(bool compressed, std::size_t fileLength)
{
    std::string out = compressed ? "CWS" : "FWS";
    out.push_back(char(kVersion));
    putU32(out, uint32_t(fileLength));
    return out;
}

std::string endTag()
{
    std::string out;
    putTagHeader(out, End, 0);
    return out;
}

// Appends a padding tag of exactly `total` bytes including its header (total >= 2).
void appendPaddingTag(std::string &out, std::size_t total)
{
    const std::size_t start = out.size();
    if (total - kShortTagHeader <= kShortTagMaxLength)
        putTagHeader(out, Padding, total - kShortTagHeader);
    else
        putTagHeader(out, Padding, total - kLongTagHeader, true);
    out.resize(start + total, '\0');
}

std::string zlibDeflate(const std::string &data, int flush)
{
    z_stream zs{};
    if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib failed to start");
    std::string out(deflateBound(&zs, uLong(data.size())) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, flush);
    const bool ok = flush == Z_FINISH ? rc == Z_STREAM_END : rc == Z_OK && zs.avail_in == 0;
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (!ok)
        throw std::runtime_error("zlib failed to compress the movie");
    return out;
}

uint32_t adler(const std::string &a, const std::string &b)
{
    uLong sum = adler32(0L, Z_NULL, 0);
    sum = adler32(sum, reinterpret_cast<const Bytef *>(a.data()), uInt(a.size()));
    // The padding can exceed what one call takes.
    for (std::size_t at = 0; at < b.size(); at += kStoredBlockMax) {
        const std::size_t n = std::min(kStoredBlockMax, b.size() - at);
        sum = adler32(sum, reinterpret_cast<const Bytef *>(b.data() + at), uInt(n));
    }
    return uint32_t(sum);
}

struct CompressedParts
{
    std::string body;   // movie body without the End tag
    std::string prefix; // zlib header and the deflated body, ending byte-aligned, stream still open
};

CompressedParts compressedParts(const MovieSpec &spec)
{
    CompressedParts parts;
    parts.body = movieBody(spec, 0);
    parts.prefix = zlibDeflate(parts.body, Z_SYNC_FLUSH);
    return parts;
}

std::size_t minimumCompressedPadded(const CompressedParts &parts)
{
    const std::size_t tail = kShortTagHeader + endTag().size();
    return kHeaderSize + parts.prefix.size() + tail + kStoredBlockOverhead + kAdlerSize;
}

// The deflated body followed by stored blocks that carry the padding tag and the End tag, so the size
// of the compressed file is known byte for byte.
std::string paddedCompressed(const CompressedParts &parts, std::size_t target)
{
    const std::size_t room = target - kHeaderSize - parts.prefix.size() - kAdlerSize; // tail + block headers
    const std::size_t perBlock = kStoredBlockMax + kStoredBlockOverhead;
    const std::size_t blocks = std::max<std::size_t>(1, (room + perBlock - 1) / perBlock);
    const std::size_t tailSize = room - blocks * kStoredBlockOverhead;
    std::string tail;
    appendPaddingTag(tail, tailSize - endTag().size());
    tail += endTag();

    std::string out = header(true, kHeaderSize + parts.body.size() + tail.size());
    out.reserve(target);
    out += parts.prefix;
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t n = std::min(kStoredBlockMax, tail.size() - at);
        out.push_back(b + 1 == blocks ? 1 : 0);
        putU16(out, uint32_t(n));
        putU16(out, uint32_t(~n & 0xFFFF));
        out.append(tail, at, n);
        at += n;
    }
    const uint32_t sum = adler(parts.body, tail);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(char((sum >> shift) & 0xFF));
    return out;
}

std::string uncompressed(const MovieSpec &spec)
{
    const std::size_t natural = kHeaderSize + movieBody(spec, 0).size() + endTag().size();
    const std::size_t gap = spec.padTo > natural ? spec.padTo - natural : 0;
    // A single byte is too short for a tag: widen the stage rectangle's fields by one byte instead.
    const std::string body = movieBody(spec, gap == 1 ? 2 : 0);
    const std::size_t padding = gap >= kShortTagHeader ? gap : 0;
    const std::size_t total = kHeaderSize + body.size() + padding + endTag().size();
    std::string out = header(false, total);
    out.reserve(total);
    out += body;
    if (padding)
        appendPaddingTag(out, padding);
    out += endTag();
    return out;
}

} // namespace

std::string writeSolidColourMovie(const MovieSpec &spec)
{
    validate(spec);
    if (!spec.compressed)
        return uncompressed(spec);

    const CompressedParts parts = compressedParts(spec);
    const std::string whole = parts.body + endTag();
    const std::string natural = zlibDeflate(whole, Z_FINISH);
    if (spec.padTo <= kHeaderSize + natural.size())
        return header(true, kHeaderSize + whole.size()) + natural;
    return paddedCompressed(parts, std::max(spec.padTo, minimumCompressedPadded(parts)));
}

std::size_t minimumPaddedSize(const MovieSpec &spec)
{
    validate(spec);
    if (!spec.compressed)
        return kHeaderSize + movieBody(spec, 0).size() + endTag().size();
    return minimumCompressedPadded(compressedParts(spec));
}

bool parseColour(const std::string &text, uint32_t &colour)
{
    std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (digits.size() != 6)
        return false;
    uint32_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value << 4 | uint32_t(d);
    }
    colour = value;
    return true;
}

} // namespace swf
