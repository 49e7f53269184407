#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace portal {

// One piece of a body, first and last byte included.
struct ByteRange
{
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t length() const { return last - first + 1; }
};

// What a Range header asks of a body: the whole of it (no header, one not understood, or too many pieces),
// some pieces of it, or nothing it has.
struct RangeRequest
{
    enum class Kind
    {
        Whole,
        Partial,
        Unsatisfiable
    };
    Kind kind = Kind::Whole;
    // Sorted, without overlap: pieces that overlap or touch are one piece, so a body is never sent twice.
    std::vector<ByteRange> ranges;
};

// Reads a Range header ("bytes=0-99,200-,-50") against a body of size bytes. More than maxRanges pieces
// left after merging ask for the whole body.
RangeRequest parseRanges(const std::string &header, std::uint64_t size, std::size_t maxRanges);

} // namespace portal
