// Writes a solid-colour test movie; the build uses it for the placeholder movie, the server and the
// tests for movies of known colours and sizes.
#include "swfwriter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int usage(const std::string &problem)
{
    if (!problem.empty())
        std::cerr << "quillabrix-swfgen: " << problem << "\n";
    std::cerr << "usage: quillabrix-swfgen --out FILE --colors RRGGBB[,RRGGBB...] [--size WxH] [--fps N]"
                 " [--compressed] [--pad BYTES]\n";
    return 2;
}

bool parseColours(const std::string &list, std::vector<uint32_t> &colours)
{
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        uint32_t colour;
        if (!swf::parseColour(item, colour))
            return false;
        colours.push_back(colour);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !colours.empty();
}

// Whole-string unsigned number; std::stoull alone accepts "12abc" and "-1".
bool parseCount(const std::string &text, unsigned long long &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    try {
        value = std::stoull(text);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

bool parseSize(const std::string &text, int &w, int &h)
{
    const std::size_t x = text.find_first_of("xX");
    unsigned long long a, b;
    if (x == std::string::npos || !parseCount(text.substr(0, x), a) || !parseCount(text.substr(x + 1), b) ||
        a > 65535 || b > 65535)
        return false;
    w = int(a);
    h = int(b);
    return true;
}

bool parseRate(const std::string &text, double &rate)
{
    char *end = nullptr;
    rate = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0';
}

} // namespace

int main(int argc, char **argv)
{
    swf::MovieSpec spec;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : std::string();
        if (arg == "--compressed") {
            spec.compressed = true;
            continue;
        }
        if (arg != "--out" && arg != "--colors" && arg != "--size" && arg != "--fps" && arg != "--pad")
            return usage("unknown argument " + arg);
        if (!hasValue)
            return usage(arg + " needs a value");
        ++i;
        if (arg == "--out") {
            out = value;
        } else if (arg == "--colors") {
            spec.frameColors.clear();
            if (!parseColours(value, spec.frameColors))
                return usage("colours are RRGGBB hex values separated by commas: " + value);
        } else if (arg == "--size") {
            if (!parseSize(value, spec.width, spec.height))
                return usage("the size is WIDTHxHEIGHT in pixels: " + value);
        } else if (arg == "--fps") {
            if (!parseRate(value, spec.frameRate))
                return usage("the frame rate is a number: " + value);
        } else {
            unsigned long long pad;
            if (!parseCount(value, pad))
                return usage("the padded size is a number of bytes: " + value);
            spec.padTo = std::size_t(pad);
        }
    }
    if (out.empty())
        return usage("--out is required");
    if (spec.frameColors.empty())
        return usage("--colors is required");

    std::string bytes;
    try {
        bytes = swf::writeSolidColourMovie(spec);
    } catch (const std::exception &e) {
        return usage(e.what());
    }

    // Written beside the target and renamed, so a reader never sees half a movie.
    const std::string partial = out + ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), std::streamsize(bytes.size()));
        file.close();
        if (!file) {
            std::cerr << "quillabrix-swfgen: cannot write " << partial << "\n";
            std::remove(partial.c_str());
            return 1;
        }
    }
    if (std::rename(partial.c_str(), out.c_str()) != 0) {
        std::cerr << "quillabrix-swfgen: cannot write " << out << "\n";
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
