#pragma once

#include <memory>
#include <optional>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/media-source/RawStreamClock.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/URL.h"

namespace quillon {

// What could be learnt of the duration of a file that states none.
struct DurationSearchResult {
    // In media time (from the start time); none when nothing could be told.
    std::optional<platform::CMTime> duration;
    // Whether the duration is an estimate from the bit rate of what was read, rather than the end
    // of the file's last packets.
    bool isEstimate = true;
    // True when the file was read and holds no packet at all.
    bool isEmpty = false;
    // For a raw elementary stream: its clock, standing at the start, knowing the key frames that
    // were read from there and the duration.
    std::unique_ptr<RawStreamClock> clock;
};

// Looks for the duration of the file at `url`, of which `opened` is an opened and probed context
// that states no duration, the way FFmpeg's own tools can: the end of the last packets where the
// file's end can be read cheaply (a few MiB from its end, found by position), else an estimate
// from the bit rate of what its start and end hold. A raw elementary stream, whose packets carry
// no times, is timed by its clock. A small file is read whole, and its duration is exact.
//
// Reads through a context of its own; `opened` is only looked at. Failures to read leave the
// result empty and are not thrown.
DurationSearchResult searchDuration(const platform::URL& url, const AVFormatContext& opened);

}  // namespace quillon
