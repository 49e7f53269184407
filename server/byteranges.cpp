#include "byteranges.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

namespace portal {

namespace {

constexpr std::uint64_t unbounded = std::numeric_limits<std::uint64_t>::max();

std::string trimmed(const std::string &text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Digits as a number; a number past what a body can have saturates, so that it still reads as "beyond".
std::optional<std::uint64_t> number(const std::string &digits)
{
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (value > (unbounded - 9) / 10)
            return unbounded;
        value = value * 10 + std::uint64_t(c - '0');
    }
    return value;
}

} // namespace

RangeRequest parseRanges(const std::string &header, std::uint64_t size, std::size_t maxRanges)
{
    RangeRequest request;
    const std::string value = trimmed(header);
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos)
        return request;
    std::string unit = trimmed(value.substr(0, equals));
    std::transform(unit.begin(), unit.end(), unit.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (unit != "bytes")
        return request;

    std::vector<ByteRange> wanted;
    bool any = false;
    std::size_t start = equals + 1;
    while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const std::string spec = trimmed(value.substr(start, comma - start));
        start = comma + 1;
        if (spec.empty())
            continue; // empty list elements are allowed
        const std::size_t dash = spec.find('-');
        if (dash == std::string::npos)
            return {};
        const std::string from = trimmed(spec.substr(0, dash)), to = trimmed(spec.substr(dash + 1));
        const auto first = number(from), last = number(to);
        if ((!from.empty() && !first) || (!to.empty() && !last) || (!first && !last) ||
            (first && last && *last < *first))
            return {}; // not understood: the whole body
        any = true;
        if (!first) { // the last N bytes
            if (*last > 0 && size > 0)
                wanted.push_back({size - std::min(*last, size), size - 1});
        } else if (*first < size) {
            wanted.push_back({*first, std::min(last.value_or(unbounded), size - 1)});
        }
    }
    if (!any)
        return {};
    if (wanted.empty()) {
        request.kind = RangeRequest::Kind::Unsatisfiable;
        return request;
    }

    std::sort(wanted.begin(), wanted.end(), [](const ByteRange &a, const ByteRange &b) { return a.first < b.first; });
    for (const ByteRange &range : wanted) {
        if (!request.ranges.empty() && range.first <= request.ranges.back().last + 1)
            request.ranges.back().last = std::max(request.ranges.back().last, range.last);
        else
            request.ranges.push_back(range);
    }
    if (request.ranges.size() > maxRanges)
        return {};
    request.kind = RangeRequest::Kind::Partial;
    return request;
}

} // namespace portal
