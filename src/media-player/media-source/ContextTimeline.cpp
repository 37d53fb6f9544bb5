#include "media-player/media-source/ContextTimeline.h"

#include <algorithm>
#include <utility>

#include "media-player/media-source/StreamTimestamp.h"

namespace quillon {

using platform::CMTime;

ContextTimeline::ContextTimeline(std::shared_ptr<UnstatedDuration> duration,
                                 std::unique_ptr<RawStreamClock> clock)
    : duration_(std::move(duration)), clock_(std::move(clock)) {}

void ContextTimeline::attach(AVFormatContext& context) {
    context.opaque = this;
}

ContextTimeline* ContextTimeline::of(const AVFormatContext& context) {
    return static_cast<ContextTimeline*>(context.opaque);
}

bool ContextTimeline::admit(const AVFormatContext& context, AVPacket& packet) {
    std::optional<CMTime> end;
    if (clock_) {
        if (!clock_->stamp(packet)) {
            return false;
        }
        end = clock_->endSinceSet();
    } else if (packet.stream_index >= 0 &&
               static_cast<unsigned>(packet.stream_index) < context.nb_streams) {
        const std::int64_t start = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        std::int64_t timestamp = 0;
        // A time beyond the range tells nothing.
        if (start != AV_NOPTS_VALUE &&
            !__builtin_add_overflow(start, std::max<std::int64_t>(packet.duration, 0),
                                    &timestamp)) {
            end = cmTimeFromTimestamp(timestamp, context.streams[packet.stream_index]->time_base);
        }
    }
    if (end) {
        if (!endSincePositioned_ || platform::CMTimeCompare(*end, *endSincePositioned_) > 0) {
            endSincePositioned_ = end;
        }
        if (duration_) {
            duration_->packetWasRead(*end);
        }
    }
    return true;
}

void ContextTimeline::endOfFile() {
    if (duration_) {
        duration_->endOfFileWasRead(endSincePositioned_, !clock_ || clock_->isExact());
    }
}

bool ContextTimeline::seek(AVFormatContext& context, CMTime time) {
    if (!clock_) {
        return false;
    }
    if (duration_) {
        // Positions are spread over the best duration known, which reading may have improved
        // since the file was opened.
        clock_->setDuration(duration_->duration());
    }
    clock_->seek(context, time);
    positioned();
    if (duration_) {
        duration_->clockWasSet();
    }
    return true;
}

}  // namespace quillon
