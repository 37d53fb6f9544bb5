#pragma once

#include <string>
#include <vector>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-types/Packet.h"

namespace quillon::testing {

// Path of a short H.264 (or, without libx264, MPEG-2) file with B-frames and a key frame at
// regular intervals: the shared generated gop file when it is there, else one made once per
// test process in a temporary folder. Empty when no ffmpeg CLI can make one.
std::string smallVideoFilePath();

// An opened file with its first video stream.
struct TestVideoFile {
    explicit TestVideoFile(const std::string& path);

    // Every packet of the video stream from the current read position on, in file order.
    std::vector<PacketRef> readVideoPackets();
    // Moves the read position back to the key frame at or before pts.
    void seek(std::int64_t pts);

    AVFormatContextPointer context;
    AVStream* stream = nullptr;
};

}  // namespace quillon::testing
