#pragma once

#include "media-player/decoders/subtitles/Subtitles.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// A decoded subtitle event: what to show from startTime until endTime. The decoder hands out
// only frames whose start is not after their end.
struct SubtitlesFrame {
    platform::CMTime startTime;
    platform::CMTime endTime;
    Subtitles subtitles;
};

}  // namespace quillon
