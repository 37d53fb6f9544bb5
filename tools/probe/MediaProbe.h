#pragma once

#include <filesystem>
#include <string>

#include "FFmpegHandles.h"

namespace quillon::probe {

// Opens one media file with libavformat and describes what a player would find in it: the
// container, every stream, and the first decoded video and audio frames.
class MediaProbe {
public:
    // Throws an error value with FFmpeg's text when the file cannot be opened or probed.
    explicit MediaProbe(const std::filesystem::path& path);

    // Container format, duration, start time and one block per stream.
    std::string describeStreams() const;

    // Decodes until the first video frame and the first audio frame (of the streams a player
    // would pick) and describes their timestamps. Reads from the start of the file; call once.
    std::string describeFirstFrames();

private:
    std::string describeStream(const AVStream& stream) const;

    std::filesystem::path path_;
    FormatContextPtr format_;
};

}  // namespace quillon::probe
