#pragma once

#include <string>

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon::testing {

// A media file opened with libavformat, with the first picture of its first video stream decoded
// by libavcodec. Throws std::runtime_error when any step fails.
struct FirstDecodedFrame {
    explicit FirstDecodedFrame(const std::string& path);

    AVFormatContextPointer formatContext;
    AVStream* stream = nullptr;
    AVCodecContextPointer codecContext;
    AVFramePointer frame;
};

}  // namespace quillon::testing
