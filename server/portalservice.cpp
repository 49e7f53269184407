#include "portalservice.h"

#include "boundedserver.h"
#include "byteranges.h"
#include "gbktext.h"
#include "httplibadapter.h"
#include "pages.h"
#include "swfwriter.h"

#include <httplib.h>

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <thread>

#include <unistd.h>

namespace portal {

namespace {

const char *const textType = "text/plain; charset=gbk";
const char *const htmlType = "text/html; charset=gbk";
const char *const swfType = "application/x-shockwave-flash";

constexpr std::size_t pieceSize = 16 * 1024;
constexpr std::size_t trickleStep = 1024;
constexpr std::size_t noCut = std::numeric_limits<std::size_t>::max();
// Larger answers are streamed, and count as long work: a client that does not read them can hold a worker
// until the write times out. Smaller ones fit in the socket buffers and leave at once.
constexpr std::size_t inMemoryLimit = 64 * 1024;
constexpr long long maxDelayMs = 60000;
constexpr int maxFields = 20;
constexpr long long maxTitleLength = 16 << 20;
// Pieces of one range request, after overlapping and adjacent ones are merged; more ask for the whole file.
constexpr std::size_t maxRanges = 8;
constexpr std::size_t maxCountedPaths = 4096;
constexpr std::size_t maxCountedPathLength = 1024;
constexpr std::uint32_t paddingTagCode = 1023; // no player defines it, so players skip it
// The mode whose portal pages click their first game by themselves, for tests of the program as a whole.
const char *const autoClickMode = "autoclick";

std::optional<long long> parseNumber(const std::string &text)
{
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(text);
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Splits the first segment off path ("a/b/c" gives "a" and leaves "b/c").
std::string takeSegment(std::string &path)
{
    const std::size_t slash = path.find('/');
    std::string segment = path.substr(0, slash);
    path = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    return segment;
}

// Waits ms milliseconds, or less when the server is being stopped.
void sleepMs(long long ms, const std::atomic<bool> &stopping)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(ms, maxDelayMs));
    while (!stopping && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(20), end - std::chrono::steady_clock::now()));
}

void answerText(httplib::Response &response, const QString &text, const char *type, int status = 200)
{
    response.status = status;
    response.set_content(gbk(text), type);
}

void answerError(httplib::Response &response, int status, const QString &detail)
{
    answerText(response, pages::error(status, detail), htmlType, status);
}

// Answers the request could not get because every long-work slot is taken.
void answerBusy(httplib::Response &response)
{
    answerError(response, 503, QStringLiteral("The server is busy. Try again in a moment."));
    response.set_header("Retry-After", "1");
}

// A body read piece by piece, so that a large one never sits in memory. read() is only asked for bytes
// inside the body.
struct FileBody
{
    std::size_t size = 0;
    std::function<void(std::size_t offset, std::size_t length, std::string &out)> read;
};

FileBody bodyOf(const std::string *bytes)
{
    return {bytes->size(),
            [bytes](std::size_t offset, std::size_t length, std::string &out) { out.append(*bytes, offset, length); }};
}

// A file's body read from its open descriptor as it is sent. A file cut short meanwhile is sent to its announced
// size with zeros: the answer keeps its length, and the file's tag no longer names what the client got.
FileBody bodyOf(const BesideFile &file)
{
    return {file.size, [fd = file.fd](std::size_t offset, std::size_t length, std::string &out) {
                const std::size_t start = out.size();
                out.resize(start + length, '\0');
                std::size_t done = 0;
                while (done < length) {
                    const ssize_t n = ::pread(*fd, out.data() + start + done, length - done, off_t(offset + done));
                    if (n <= 0)
                        break;
                    done += std::size_t(n);
                }
            }};
}

FileBody textBody(std::string text)
{
    auto shared = std::make_shared<const std::string>(std::move(text));
    return {shared->size(), [shared](std::size_t offset, std::size_t length, std::string &out) {
                out.append(*shared, offset, length);
            }};
}

// pattern, count times over.
FileBody repeated(std::string pattern, std::size_t count)
{
    const std::size_t size = pattern.size() * count;
    return {size, [pattern = std::move(pattern)](std::size_t offset, std::size_t length, std::string &out) {
                while (length > 0) {
                    const std::size_t at = offset % pattern.size();
                    const std::size_t n = std::min(length, pattern.size() - at);
                    out.append(pattern, at, n);
                    offset += n;
                    length -= n;
                }
            }};
}

FileBody slice(const FileBody &body, std::size_t first, std::size_t length)
{
    return {length,
            [body, first](std::size_t offset, std::size_t n, std::string &out) { body.read(first + offset, n, out); }};
}

// Bodies one after the other.
FileBody joined(std::vector<FileBody> parts)
{
    std::size_t size = 0;
    for (const FileBody &part : parts)
        size += part.size;
    return {size, [parts = std::move(parts)](std::size_t offset, std::size_t length, std::string &out) {
                for (const FileBody &part : parts) {
                    if (length == 0)
                        return;
                    if (offset >= part.size) {
                        offset -= part.size;
                        continue;
                    }
                    const std::size_t n = std::min(length, part.size - offset);
                    part.read(offset, n, out);
                    offset = 0;
                    length -= n;
                }
            }};
}

// A body as it is: in memory when small, streamed otherwise. With cutAt, the connection is closed once the
// body's first cutAt bytes are sent, under a Content-Length for all of it.
void sendBody(httplib::Response &response, const FileBody &body, const std::string &type, std::size_t cutAt = noCut)
{
    if (cutAt >= body.size && body.size <= inMemoryLimit) {
        std::string all;
        body.read(0, body.size, all);
        response.set_content(all, type.c_str());
        return;
    }
    const std::size_t end = std::min(cutAt, body.size);
    response.set_content_provider(body.size, type,
                                  [body, end](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                                      if (offset >= end)
                                          return false; // closes the connection
                                      std::string piece;
                                      body.read(offset, std::min({length, pieceSize, end - offset}), piece);
                                      return sink.write(piece.data(), piece.size());
                                  });
}

std::string contentRange(const ByteRange &range, std::size_t size)
{
    return "bytes " + std::to_string(range.first) + '-' + std::to_string(range.last) + '/' + std::to_string(size);
}

// A file the way a range request may ask for it again: its version (a strong ETag) and the request's Range and
// If-Range headers.
struct RangedFile
{
    FileBody body;
    std::string etag;
    std::string range;
    std::string ifRange;
    std::size_t cutAt = noCut; // the connection drops at this byte of the file
};

// The pieces of a file a Range header asks for, merged so that no byte is sent twice; several pieces as a
// multipart answer. An If-Range that does not name the file's version asks for the whole file (a date never
// does: the files have no Last-Modified).
void sendRanges(httplib::Response &response, const RangedFile &file, const std::string &type)
{
    const FileBody &body = file.body;
    response.set_header("Accept-Ranges", "bytes");
    response.set_header("ETag", file.etag);
    const bool sameVersion = file.ifRange.empty() || file.ifRange == file.etag;
    const RangeRequest request = parseRanges(sameVersion ? file.range : std::string(), body.size, maxRanges);
    switch (request.kind) {
    case RangeRequest::Kind::Whole:
        sendBody(response, body, type, file.cutAt);
        return;
    case RangeRequest::Kind::Unsatisfiable:
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(body.size));
        return;
    case RangeRequest::Kind::Partial:
        break;
    }
    response.status = 206;
    if (request.ranges.size() == 1) {
        const ByteRange &range = request.ranges.front();
        response.set_header("Content-Range", contentRange(range, body.size));
        const std::size_t cut = file.cutAt > range.first ? file.cutAt - range.first : noCut;
        sendBody(response, slice(body, range.first, range.length()), type, cut);
        return;
    }
    const std::string boundary = "qbx-portal-ranges-" + std::to_string(body.size);
    std::vector<FileBody> parts;
    for (const ByteRange &range : request.ranges) {
        parts.push_back(textBody("--" + boundary + "\r\nContent-Type: " + type +
                                 "\r\nContent-Range: " + contentRange(range, body.size) + "\r\n\r\n"));
        parts.push_back(slice(body, range.first, range.length()));
        parts.push_back(textBody("\r\n"));
    }
    parts.push_back(textBody("--" + boundary + "--\r\n"));
    sendBody(response, joined(std::move(parts)), "multipart/byteranges; boundary=" + boundary);
}

void putU32(std::string &out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + std::size_t(i)] = char(value >> (8 * i) & 0xFF);
}

// A playable movie of exactly size bytes: a small uncompressed movie whose End tag is preceded by one long
// padding tag of zeros. Only the head is held; the zeros (and the End tag, also zeros) are made as they are read.
std::optional<FileBody> paddedMovie(std::size_t size)
{
    swf::MovieSpec spec;
    spec.frameRate = 2;
    spec.frameColors = {0x455A64, 0xFF7043, 0x26A69A};
    const std::size_t natural = swf::minimumPaddedSize(spec);
    if (size < natural || size > 0xFFFFFFFFu)
        return std::nullopt;
    constexpr std::size_t endTag = 2, longTagHeader = 6;
    if (size < natural + longTagHeader) {
        spec.padTo = size;
        auto bytes = std::make_shared<std::string>(swf::writeSolidColourMovie(spec));
        return FileBody{bytes->size(), [bytes](std::size_t offset, std::size_t length, std::string &out) {
                            out.append(*bytes, offset, length);
                        }};
    }
    std::string head = swf::writeSolidColourMovie(spec);
    head.resize(head.size() - endTag);
    const std::size_t padding = size - head.size() - longTagHeader - endTag;
    putU32(head, 4, std::uint32_t(size));                       // the file length in the header
    const std::uint32_t tagHeader = paddingTagCode << 6 | 0x3F; // 0x3F announces a 32-bit length
    head.push_back(char(tagHeader & 0xFF));
    head.push_back(char(tagHeader >> 8));
    head.append(4, '\0');
    putU32(head, head.size() - 4, std::uint32_t(padding));
    auto shared = std::make_shared<const std::string>(std::move(head));
    return FileBody{size, [shared](std::size_t offset, std::size_t length, std::string &out) {
                        if (offset < shared->size()) {
                            const std::size_t n = std::min(length, shared->size() - offset);
                            out.append(*shared, offset, n);
                            offset += n;
                            length -= n;
                        }
                        out.append(length, '\0');
                    }};
}

enum class FaultKind
{
    None,
    Chunked,
    Short,
    NotFound,
    ServerError,
    Empty,
    Trickle,
    Endless, // the file's bytes again and again, chunked, until the client gives up
    Html,    // status 200 with an HTML page instead of the file
    Cut      // answered as without a fault, ranges included, but the connection drops at byte cutAt of the file
};

struct Fault
{
    FaultKind kind = FaultKind::None;
    long long trickleMs = 0;
    long long cutAt = 0;
};

std::optional<Fault> parseFault(const std::string &text)
{
    if (text.empty())
        return Fault{};
    if (startsWith(text, "trickle-")) {
        const auto ms = parseNumber(text.substr(8));
        return ms ? std::optional<Fault>(Fault{FaultKind::Trickle, *ms}) : std::nullopt;
    }
    if (startsWith(text, "cut-")) {
        const auto at = parseNumber(text.substr(4));
        return at ? std::optional<Fault>(Fault{FaultKind::Cut, 0, *at}) : std::nullopt;
    }
    static const std::map<std::string, FaultKind> kinds = {
        {"chunked", FaultKind::Chunked}, {"short", FaultKind::Short}, {"404", FaultKind::NotFound},
        {"500", FaultKind::ServerError}, {"empty", FaultKind::Empty}, {"endless", FaultKind::Endless},
        {"html", FaultKind::Html}};
    const auto it = kinds.find(text);
    return it == kinds.end() ? std::nullopt : std::optional<Fault>(Fault{it->second, 0, 0});
}

// A file as asked for: with a fault, or the pieces a Range header names (faults but the cut answer without
// ranges).
void sendFile(httplib::Response &response, RangedFile file, const std::string &type, const Fault &fault,
              const std::atomic<bool> &stopping)
{
    const FileBody &body = file.body;
    switch (fault.kind) {
    case FaultKind::None:
        sendRanges(response, file, type);
        return;
    case FaultKind::Cut:
        file.cutAt = std::size_t(fault.cutAt);
        sendRanges(response, file, type);
        return;
    case FaultKind::Chunked:
        response.set_chunked_content_provider(type, [body](std::size_t offset, httplib::DataSink &sink) {
            if (offset >= body.size) {
                sink.done();
                return true;
            }
            std::string piece;
            body.read(offset, std::min(body.size - offset, pieceSize), piece);
            return sink.write(piece.data(), piece.size());
        });
        return;
    case FaultKind::Short:
        sendBody(response, body, type, body.size / 2);
        return;
    case FaultKind::Trickle:
        response.set_content_provider(
            body.size, type,
            [body, ms = fault.trickleMs, &stopping](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                if (offset > 0)
                    sleepMs(ms, stopping);
                if (stopping || !sink.is_writable())
                    return false;
                std::string piece;
                body.read(offset, std::min(length, trickleStep), piece);
                return sink.write(piece.data(), piece.size());
            });
        return;
    case FaultKind::NotFound:
        answerError(response, 404, QStringLiteral("The file you asked for is not on this server."));
        return;
    case FaultKind::ServerError:
        answerError(response, 500, QStringLiteral("The server could not send this file."));
        return;
    case FaultKind::Empty:
        response.set_content(std::string(), type.c_str());
        return;
    case FaultKind::Endless:
        response.set_chunked_content_provider(type, [body, &stopping](std::size_t offset, httplib::DataSink &sink) {
            if (stopping || !sink.is_writable() || body.size == 0)
                return false;
            std::string piece;
            const std::size_t at = offset % body.size;
            body.read(at, std::min(body.size - at, pieceSize), piece);
            return sink.write(piece.data(), piece.size());
        });
        return;
    case FaultKind::Html:
        answerError(response, 200, QStringLiteral("This is a web page, not the file you asked for."));
        return;
    }
}

// A text answer that never ends: the same hex-coded text again and again, chunked.
void sendEndless(httplib::Response &response, const std::string &text, const std::atomic<bool> &stopping)
{
    response.set_chunked_content_provider(textType, [text, &stopping](std::size_t, httplib::DataSink &sink) {
        if (stopping || !sink.is_writable())
            return false;
        return sink.write(text.data(), text.size());
    });
}

// Movie and picture URLs a details answer can name instead of the real one, to test file-name handling.
std::optional<std::string> hostileUrl(const std::string &kind, const std::string &folderUrl)
{
    static const std::map<std::string, std::string> names = {
        {"slash", ""}, {"dot", "."}, {"dotdot", ".."}, {"backslash", "..\\..\\evil.swf"}, {"control", "evil\x01.swf"}};
    if (kind == "empty")
        return std::string();
    const auto it = names.find(kind);
    return it == names.end() ? std::nullopt : std::optional<std::string>(folderUrl + it->second);
}

const std::vector<std::string> &knownModes()
{
    static const std::vector<std::string> modes = {"upper", "blank",      "html",    "error",     "empty",
                                                   "bare",  "extra",      "noads",   "bigbanner", "endless",
                                                   "huge",  "endlessads", "slowads", "htmlads",   autoClickMode};
    return modes;
}

bool isKnownMode(const std::string &mode)
{
    if (mode.empty() || std::find(knownModes().begin(), knownModes().end(), mode) != knownModes().end())
        return true;
    if (startsWith(mode, "slow-"))
        return parseNumber(mode.substr(5)).has_value();
    return startsWith(mode, "bannersize-") || startsWith(mode, "adsize-");
}

} // namespace

// Where a request goes: the base URL it came through (with any mode prefix), the mode, a file fault and
// the route left under them.
struct PortalService::Target
{
    std::string base;
    std::string mode;
    std::string fault;
    std::string route;
};

PortalService::PortalService(const Catalogue &catalogue, std::size_t longWorkSlots)
    : m_catalogue(catalogue), m_freeSlots(longWorkSlots)
{
}

bool PortalService::takeSlot(Slot &slot)
{
    if (slot)
        return true;
    std::size_t free = m_freeSlots.load();
    do {
        if (free == 0)
            return false;
    } while (!m_freeSlots.compare_exchange_weak(free, free - 1));
    slot = Slot(this, [this](void *) { ++m_freeSlots; });
    return true;
}

bool PortalService::delay(long long ms, httplib::Response &response, Slot &slot)
{
    if (ms <= 0)
        return true;
    if (!takeSlot(slot)) {
        answerBusy(response);
        return false;
    }
    sleepMs(ms, m_stopping);
    return true;
}

void PortalService::install(BoundedServer &server)
{
    server.setHandler(
        [this](const httplib::Request &request, httplib::Response &response) { handle(request, response); });
}

void PortalService::handle(const httplib::Request &request, httplib::Response &response)
{
    if (request.path == "/stats" || request.path == "/stats/reset") {
        answerStats(request, response);
        return;
    }
    {
        // Bounded, so that clients asking for ever new paths cannot grow the server without end.
        const std::lock_guard<std::mutex> lock(m_countsMutex);
        if (m_counts.count(request.path) ||
            (m_counts.size() < maxCountedPaths && request.path.size() <= maxCountedPathLength))
            ++m_counts[request.path];
    }

    Slot slot;
    route(request, response, slot);
    const bool sendsLong =
        request.method != "HEAD" && (HttplibAdapter::streams(response) || response.body.size() > inMemoryLimit);
    if (!sendsLong)
        return;
    if (!takeSlot(slot)) {
        response = httplib::Response();
        answerBusy(response);
        return;
    }
    // The slot is held until the answer has been sent: the server drops the answer, and this with it, then.
    HttplibAdapter::holdUntilSent(response, slot);
}

void PortalService::route(const httplib::Request &request, httplib::Response &response, Slot &slot)
{
    Target target;
    std::string host = request.get_header_value("Host");
    target.base = "http://" + (host.empty() ? m_defaultHost : host) + "/";
    target.route = request.path.substr(std::min<std::size_t>(1, request.path.size()));
    if (startsWith(target.route, "mode/")) {
        takeSegment(target.route);
        target.mode = takeSegment(target.route);
        target.base += "mode/" + target.mode + "/";
        if (!isKnownMode(target.mode)) {
            answerError(response, 404, QStringLiteral("Unknown mode %1.").arg(QString::fromStdString(target.mode)));
            return;
        }
    }
    if (startsWith(target.route, "fault/")) {
        takeSegment(target.route);
        target.fault = takeSegment(target.route);
    }

    const std::string &route = target.route;
    if (route.empty() || route == "main.htm" || route == "index.htm")
        answerText(response, pages::main(m_catalogue, request.get_param_value("cat"), target.mode == autoClickMode),
                   htmlType);
    else if (route == "left.htm")
        answerText(response, pages::left(m_catalogue), htmlType);
    else if (route == "site.htm")
        answerText(response, pages::site(), htmlType);
    else if (route == "localgame.htm")
        answerText(response, pages::localGame(), htmlType);
    else if (route == "gg.asp")
        answerStartup(target, response, slot);
    else if (route == "game.asp")
        answerDetails(target, request, response, slot);
    else if (route == "echo")
        answerEcho(request, response);
    else
        answerFile(target, request, response);
}

void PortalService::answerStats(const httplib::Request &request, httplib::Response &response)
{
    const std::lock_guard<std::mutex> lock(m_countsMutex);
    std::string out;
    if (request.path == "/stats/reset") {
        m_counts.clear();
        out = "ok";
    } else if (request.has_param("path")) {
        const auto it = m_counts.find(request.get_param_value("path"));
        out = std::to_string(it == m_counts.end() ? 0 : it->second);
    } else {
        for (const auto &[path, count] : m_counts)
            out += std::to_string(count) + ' ' + path + '\n';
    }
    response.set_content(out, "text/plain; charset=utf-8");
}

void PortalService::answerEcho(const httplib::Request &request, httplib::Response &response)
{
    std::string out = request.method + '\n';
    for (const auto &[name, value] : request.headers)
        out += name + ": " + value + '\n';
    response.set_content(out + '\n' + request.body, "text/plain; charset=utf-8");
}

void PortalService::answerStartup(const Target &target, httplib::Response &response, Slot &slot)
{
    const std::string &mode = target.mode;
    if (startsWith(mode, "slow-") && !delay(*parseNumber(mode.substr(5)), response, slot))
        return;
    if (mode == "html" || mode == "error") {
        answerError(response, mode == "html" ? 200 : 500, QStringLiteral("The game server is being serviced."));
        return;
    }
    if (mode == "empty") {
        response.set_content(std::string(), textType);
        return;
    }
    if (mode == "bare") {
        response.set_content("ok", textType);
        return;
    }
    if (mode == "endless") {
        sendEndless(response, "ok|", m_stopping);
        return;
    }
    if (mode == "huge") {
        sendBody(response, joined({textBody("ok|"), repeated("x", 2 * 1024 * 1024)}), textType);
        return;
    }
    const std::size_t bannerSize = m_catalogue.asset(Catalogue::bannerPath)->bytes.size();
    const std::size_t adSize = m_catalogue.asset(Catalogue::downloadAdPath)->bytes.size();
    const bool noAds = mode == "noads";
    // Advertisements that never end, trickle for ever, or are web pages.
    const std::string adFault = mode == "endlessads" ? "fault/endless/"
                                : mode == "slowads"  ? "fault/trickle-500/"
                                : mode == "htmlads"  ? "fault/html/"
                                                     : "";
    std::vector<std::string> fields = {
        mode == "upper"   ? "OK"
        : mode == "blank" ? "ok "
                          : "ok",
        target.base + adFault + (noAds ? "ads/missing-banner.swf" : Catalogue::bannerPath),
        std::to_string(mode == "bigbanner" ? bannerSize + 1000 : bannerSize),
        target.base + adFault + (noAds ? "ads/missing-download.swf" : Catalogue::downloadAdPath),
        std::to_string(adSize),
        target.base + "site.htm",
    };
    if (startsWith(mode, "bannersize-"))
        fields[2] = mode.substr(11);
    if (startsWith(mode, "adsize-"))
        fields[4] = mode.substr(7);
    if (mode == "extra")
        fields.insert(fields.end(), {"more", "fields"});
    std::string answer = fields.front();
    for (std::size_t i = 1; i < fields.size(); ++i)
        answer += "|" + fields[i];
    answerText(response, QString::fromStdString(answer), textType);
}

void PortalService::answerDetails(const Target &target, const httplib::Request &request, httplib::Response &response,
                                  Slot &slot)
{
    const auto param = [&request](const char *name) { return request.get_param_value(name); };
    if (const auto ms = parseNumber(param("delay")); ms && !delay(*ms, response, slot))
        return;

    const std::string fault = param("fault");
    if (fault == "nothex") {
        answerError(response, 200, QStringLiteral("No such game."));
        return;
    }
    if (fault == "404" || fault == "500") {
        answerError(response, std::stoi(fault), QStringLiteral("The game server could not answer."));
        return;
    }
    if (fault == "empty") {
        response.set_content(std::string(), textType);
        return;
    }
    if (fault == "endless") {
        sendEndless(response, hexCoded(QStringLiteral("1|Endless|")), m_stopping);
        return;
    }
    if (!fault.empty()) {
        answerError(response, 400, QStringLiteral("Unknown fault %1.").arg(QString::fromStdString(fault)));
        return;
    }
    if (request.has_param("answer")) {
        response.set_content(hexCoded(QString::fromStdString(param("answer"))), textType);
        return;
    }

    const auto id = parseNumber(param("id"));
    const Game *game = id && *id <= std::numeric_limits<int>::max() ? m_catalogue.game(int(*id)) : nullptr;
    if (!game) {
        response.set_content(hexCoded(QStringLiteral("0")), textType);
        return;
    }

    const auto fileUrl = [&](const char *folder, const std::string &file, const char *faultParam,
                             const char *nameParam) -> std::optional<std::string> {
        const std::string folderUrl = target.base + folder + "/";
        // Any URL at all, as a hostile server may send it (file:///etc/passwd, a bare path).
        if (request.has_param(std::string(nameParam) + "url"))
            return param((std::string(nameParam) + "url").c_str());
        if (request.has_param(nameParam))
            return hostileUrl(param(nameParam), folderUrl);
        const std::string fileFault = param(faultParam);
        if (!fileFault.empty() && !parseFault(fileFault))
            return std::nullopt;
        return target.base + (fileFault.empty() ? "" : "fault/" + fileFault + "/") +
               pages::fileLink(folder, file).toStdString();
    };
    const auto movieUrl = fileUrl("movies", game->movieFile, "moviefault", "movie");
    const auto pictureUrl = fileUrl("pics", game->pictureFile, "picfault", "pic");
    if (!movieUrl || !pictureUrl) {
        answerError(response, 400, QStringLiteral("Unknown fault or name kind."));
        return;
    }

    const QString title = withCodes(game->title);
    QStringList fields = {QString::number(game->id), title, withCodes(game->description),
                          QString::fromStdString(*movieUrl), QString::fromStdString(*pictureUrl)};
    if (const auto count = parseNumber(param("fields")); count && *count >= 1 && *count <= maxFields) {
        while (fields.size() > *count)
            fields.removeLast();
        while (fields.size() < *count)
            fields << QStringLiteral("extra%1").arg(fields.size());
    }
    // A title padded with x to N characters, for answers and fields of any size; made as it is sent, so that
    // the largest costs no more memory than the smallest.
    std::size_t padding = 0;
    if (const auto length = parseNumber(param("titlelen"));
        length && fields.size() > 1 && *length > title.size() && *length <= maxTitleLength)
        padding = std::size_t(*length - title.size());
    const QString head = fields.mid(0, 2).join(QLatin1Char('|'));
    const QString tail = fields.size() > 2 ? QLatin1Char('|') + fields.mid(2).join(QLatin1Char('|')) : QString();
    const FileBody answer =
        joined({textBody(hexCoded(head)), repeated(hexCoded(QStringLiteral("x")), padding), textBody(hexCoded(tail))});
    sendBody(response, answer, textType);
}

void PortalService::answerFile(const Target &target, const httplib::Request &request, httplib::Response &response) const
{
    const std::string faultText = !target.fault.empty()          ? target.fault
                                  : request.has_param("trickle") ? "trickle-" + request.get_param_value("trickle")
                                                                 : request.get_param_value("fault");
    const auto fault = parseFault(faultText);
    if (!fault) {
        answerError(response, 400, QStringLiteral("Unknown fault %1.").arg(QString::fromStdString(faultText)));
        return;
    }

    const std::string &route = target.route;
    if (startsWith(route, "movies/size-") && route.size() > 16 && route.compare(route.size() - 4, 4, ".swf") == 0) {
        const auto size = parseNumber(route.substr(12, route.size() - 16));
        const auto body = size ? paddedMovie(std::size_t(*size)) : std::nullopt;
        // Its bytes follow from its size alone: the size names the version.
        if (body)
            sendFile(response,
                     {*body, "\"size-" + std::to_string(*size) + '"', request.get_header_value("Range"),
                      request.get_header_value("If-Range")},
                     swfType, *fault, m_stopping);
        else
            answerError(response, 404, QStringLiteral("No movie of that size."));
        return;
    }
    if (const Asset *asset = m_catalogue.asset(route)) {
        sendFile(response,
                 {bodyOf(&asset->bytes), asset->etag, request.get_header_value("Range"),
                  request.get_header_value("If-Range")},
                 asset->contentType, *fault, m_stopping);
        return;
    }
    // What a movie loads beside it: a relative request of movies/NAME.swf comes under movies/.
    if (startsWith(route, "movies/")) {
        if (const auto file = m_catalogue.besideFile(route.substr(7))) {
            sendFile(
                response,
                {bodyOf(*file), file->etag, request.get_header_value("Range"), request.get_header_value("If-Range")},
                file->contentType, *fault, m_stopping);
            return;
        }
    }
    answerError(response, 404, QStringLiteral("The page you asked for is not here."));
}

} // namespace portal
