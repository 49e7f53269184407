#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace swf {

// What a generated test movie looks like: one solid colour per frame, filling the stage (or all of it but a
// margin), looping.
struct MovieSpec
{
    int width = 550, height = 400; // stage size in pixels
    double frameRate = 12;
    std::vector<uint32_t> frameColors; // 0xRRGGBB, one solid full-stage colour per frame (>= 1 frame)
    // The stage's own colour, which shows wherever no frame draws: the first frame's colour unless given. A
    // movie without one leaves it to its player.
    std::optional<uint32_t> background;
    bool setsBackground = true;
    // How many ScriptLimits tags come before the background's: authoring tools put metadata, debugging and
    // limit tags there, and a player that looks only at the first few tags misses the colour.
    int tagsBeforeBackground = 0;
    int margin = 0;          // pixels of the stage that each frame's rectangle leaves around it
    bool compressed = false; // CWS (zlib) instead of FWS
    // If larger than the movie: pad the file to exactly this many bytes with a tag that players skip.
    // A compressed movie can only grow in steps once its zlib stream is split for the padding, so a
    // size within a few bytes above its natural size is rounded up to the smallest paddable one
    // (minimumPaddedSize); every other size is met exactly.
    std::size_t padTo = 0;
};

// The file's bytes. Throws std::invalid_argument for a spec no player could show (no frames, a stage
// of zero or negative size or larger than the format can describe, a frame rate outside 0 < r < 256, a
// margin that leaves no rectangle).
std::string writeSolidColourMovie(const MovieSpec &spec);

// The smallest padTo that a movie of this spec can be padded to exactly (its natural size for FWS).
std::size_t minimumPaddedSize(const MovieSpec &spec);

// Parses "RRGGBB" (an optional leading '#' is accepted); false when it is not six hex digits.
bool parseColour(const std::string &text, uint32_t &colour);

} // namespace swf
