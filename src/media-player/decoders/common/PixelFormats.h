#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "platform/corefoundation/CFBase.h"

namespace quillon {

// One pairing of a Core Video pixel format with the FFmpeg format and colour range whose frames
// have exactly its memory layout.
struct PixelFormatRow {
    platform::OSType coreVideoPixelFormat;
    AVPixelFormat ffmpegPixelFormat;
    AVColorRange colorRange;
};

// The fixed table of pairings.
std::span<const PixelFormatRow> pixelFormatRows();

// Core Video code → (FFmpeg format, range); a later row with the same code wins.
const std::map<platform::OSType, std::pair<AVPixelFormat, AVColorRange>>&
coreVideoToFFmpegPixelFormatMap();

// FFmpeg format → (range → Core Video code). Video-range rows also answer for an unspecified
// range, so an untagged frame maps like a video-range one.
const std::map<AVPixelFormat, std::map<AVColorRange, platform::OSType>>&
ffmpegToCoreVideoPixelFormatMap();

// The formats that output pixel buffers may have.
const std::set<platform::OSType>& supportedCoreVideoPixelFormats();

// Formats whose buffers are not handed on as they are: the decoder copies them into
// replacementPixelFormatForBlacklistedPixelFormats buffers.
const std::set<platform::OSType>& blacklistedPixelFormats();
platform::OSType replacementPixelFormatForBlacklistedPixelFormats();

// The FFmpeg formats that the decoder asks libavcodec for, best first, without repeats.
const std::vector<AVPixelFormat>& preferredFFmpegPixelFormats();

struct PixelFormatDescriptor {
    bool isYCbCr = false;
};

// Core Video code → what its format description says, for every format that has one.
const std::map<platform::OSType, PixelFormatDescriptor>& pixelFormatDescriptors();

// The supported Core Video format whose memory is the FFmpeg format's at that range; none when
// frames of that format must be converted.
std::optional<platform::OSType> coreVideoPixelFormat(AVPixelFormat format, AVColorRange colorRange);

// The target of a conversion: packed 4:2:2 for 8-bit YCbCr, 10-bit 4:2:0 bi-planar for deeper
// YCbCr (full-range variants for full-range sources), 'BGRA' for everything else.
std::pair<platform::OSType, AVPixelFormat> fallbackPixelFormat(AVPixelFormat format,
                                                               AVColorRange colorRange);

}  // namespace quillon
