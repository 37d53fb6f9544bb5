#pragma once

#include <cstdint>
#include <string>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/foundation/URL.h"

namespace quillon {

// An opened and probed demuxer context for a URL. The stream search reads up to 32 s of media
// or 256 MiB of packets, whichever comes first. Throws the logged FFmpegError of a failed
// allocation, open or probe; nothing stays open then.
AVFormatContextPointer makeInputFormatContext(const platform::URL& url);

// What FFmpeg is given to open: "file://" and the plain (not percent-encoded) path of a file URL,
// the absolute string of any other.
std::string ffmpegLocation(const platform::URL& url);

// The container's duration measured from its start time, in FFmpeg's microseconds
// (AV_NOPTS_VALUE when it states none). Some files count their duration from zero on their
// time line (a Matroska file of FFmpeg's muxer, an MP4 whose edit list starts the media late),
// which for a file whose first timestamp is late is its end time; the others count it from the
// start time already.
std::int64_t durationFromStart(const AVFormatContext& context);

}  // namespace quillon
