#include "media-player/decoders/video/CMSampleBufferFFmpegVideo.h"

extern "C" {
#include <libavutil/avutil.h>
}

#include "media-player/decoders/common/DarwinCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/coremedia/CMVideoFormatDescription.h"

namespace quillon {

using namespace platform;

std::optional<CMTime> makeTime(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || timeBase.num == 0 || timeBase.den == 0) {
        return std::nullopt;
    }
    std::int64_t numerator = timeBase.num;
    std::int64_t timescale = timeBase.den;
    if (timescale < 0) {
        numerator = -numerator;
        timescale = -timescale;
    }
    std::int64_t scaled = 0;
    if (__builtin_mul_overflow(value, numerator, &scaled) || timescale > kCMTimeMaxTimescale) {
        return std::nullopt;
    }
    return CMTimeMake(scaled, static_cast<CMTimeScale>(timescale));
}

CMSampleBufferRef makeSampleBuffer(const CVPixelBufferRef& pixelBuffer, const AVFrame& ffmpegFrame,
                                   AVRational ffmpegStreamTimeBase,
                                   std::optional<CMTime> presentationTimestampIfMissing) {
    constexpr const char* function =
        "make(pixelBuffer:ffmpegFrame:ffmpegStreamTimeBase:presentationTimestampIfMissing:)";
    std::optional<CMTime> presentationTime =
        makeTime(ffmpegFrame.best_effort_timestamp, ffmpegStreamTimeBase);
    if (!presentationTime) {
        presentationTime = presentationTimestampIfMissing;
    }
    if (!presentationTime) {
        throw FFmpegError::noPresentationTimestamp();
    }
    CMTime duration = kCMTimeInvalid;
    if (auto packetDuration = makeTime(ffmpegFrame.pkt_duration, ffmpegStreamTimeBase);
        packetDuration && CMTimeCompare(*packetDuration, kCMTimeZero) > 0) {
        duration = *packetDuration;
    }

    CMVideoFormatDescriptionRef formatDescription;
    performDarwinCall({}, CallSite(function), [&] {
        return CMVideoFormatDescriptionCreateForImageBuffer(pixelBuffer, &formatDescription);
    });
    const CMSampleTimingInfo timing{duration, *presentationTime, kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    performDarwinCall({}, CallSite(function), [&] {
        return CMSampleBufferCreateReadyWithImageBuffer(pixelBuffer, formatDescription, &timing,
                                                        &sampleBuffer);
    });
    return sampleBuffer;
}

}  // namespace quillon
