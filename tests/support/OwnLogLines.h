#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace quillon::test {

// The lines of a log capture that the program wrote in its own words: FFmpeg's lines, which it
// passes on prefixed "[ffmpeg", are left out. Their wording belongs to the FFmpeg version, and a
// line FFmpeg repeats is written only once per process.
inline std::vector<std::string> ownLogLines(std::vector<std::string> lines) {
    std::erase_if(lines, [](const std::string& line) { return line.starts_with("[ffmpeg"); });
    return lines;
}

}  // namespace quillon::test
