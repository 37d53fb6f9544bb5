#pragma once

#include <string>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/foundation/URL.h"

namespace quillon {

// An opened and probed demuxer context for a URL. Probing may read as far into the file as it
// needs. Throws the logged FFmpegError of a failed allocation, open or probe; nothing stays
// open then.
AVFormatContextPointer makeInputFormatContext(const platform::URL& url);

// What FFmpeg is given to open: "file://" and the plain (not percent-encoded) path of a file URL,
// the absolute string of any other.
std::string ffmpegLocation(const platform::URL& url);

}  // namespace quillon
