#pragma once

#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon {

// A timestamp or duration of the time base as a CMTime (value × num / den); none for
// AV_NOPTS_VALUE, a time base with a zero term, or a value whose product with the numerator does
// not fit in 64 bits.
std::optional<platform::CMTime> makeTime(std::int64_t value, AVRational timeBase);

// The sample buffer that shows the pixel buffer at the frame's time. The presentation time is
// the frame's best-effort timestamp, else presentationTimestampIfMissing, else the call throws
// FFmpegError noPresentationTimestamp; the duration is the frame's packet duration when positive,
// else invalid; there is no decode time. A failing format description or sample buffer creation
// is logged and thrown as NSError (NSOSStatusErrorDomain).
platform::CMSampleBufferRef makeSampleBuffer(
    const platform::CVPixelBufferRef& pixelBuffer, const AVFrame& ffmpegFrame,
    AVRational ffmpegStreamTimeBase,
    std::optional<platform::CMTime> presentationTimestampIfMissing);

}  // namespace quillon
