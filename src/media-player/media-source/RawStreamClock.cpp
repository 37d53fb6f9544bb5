#include "media-player/media-source/RawStreamClock.h"

#include <algorithm>
#include <limits>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

using platform::CMTime;

namespace {

constexpr const char* seekFunction = "seek(_:to:)";

// Looking back for a key frame starts with this much and doubles up to the last; a stream
// without one in that much is entered at the next key frame after the position instead.
constexpr std::int64_t kFirstLookBackBytes = std::int64_t{1} << 20;
constexpr std::int64_t kLastLookBackBytes = std::int64_t{64} << 20;

// FFmpeg's own rate for a raw stream that states none.
constexpr AVRational kDefaultFrameRate{25, 1};

// A damaged stream may claim any duration for a packet: the clock stops at the end of the range
// rather than wrap.
std::int64_t saturatingAdd(std::int64_t value, std::int64_t addend) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(value, addend, &sum)) {
        return addend > 0 ? std::numeric_limits<std::int64_t>::max()
                          : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

void moveToByte(AVFormatContext& context, std::int64_t position) {
    performFFmpegCall({}, true, CallSite(seekFunction),
                      [&] { return av_seek_frame(&context, -1, position, AVSEEK_FLAG_BYTE); });
}

// The next packet as FFmpeg gives it; false at the end of the file.
bool readRawPacket(AVFormatContext& context, AVPacket& packet) {
    av_packet_unref(&packet);
    try {
        performFFmpegCall({FFmpegError::eof()}, true, CallSite(seekFunction),
                          [&] { return av_read_frame(&context, &packet); });
    } catch (const FFmpegError& error) {
        if (error == FFmpegError::eof()) {
            return false;
        }
        throw;
    }
    return true;
}

}  // namespace

bool RawStreamClock::isNeeded(const AVFormatContext& context) {
    return context.nb_streams == 1 && context.start_time == AV_NOPTS_VALUE &&
           context.streams[0]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           context.streams[0]->time_base.num > 0 && context.streams[0]->time_base.den > 0;
}

RawStreamClock::RawStreamClock(const AVFormatContext& context, std::int64_t fileSize)
    : timeBase_(context.streams[0]->time_base), fileSize_(std::max<std::int64_t>(fileSize, 0)) {
    const AVStream& stream = *context.streams[0];
    AVRational rate = stream.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = stream.r_frame_rate;
    }
    if (rate.num <= 0 || rate.den <= 0) {
        rate = kDefaultFrameRate;
    }
    // A picture lasts at least one tick and at most a minute.
    const std::int64_t minute = std::max<std::int64_t>(av_rescale_q(60, {1, 1}, timeBase_), 1);
    frameDuration_ =
        std::clamp<std::int64_t>(av_rescale_q(1, av_inv_q(rate), timeBase_), 1, minute);
    delay_ = std::clamp(stream.codecpar->video_delay, 0, 16) * frameDuration_;
    rewind();
}

void RawStreamClock::rewind() {
    next_ = -delay_;
    exact_ = true;
    awaitingKeyFrame_ = false;
    stampedSinceSet_ = false;
}

bool RawStreamClock::stamp(AVPacket& packet) {
    const bool isKeyFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (awaitingKeyFrame_) {
        if (!isKeyFrame) {
            return false;
        }
        awaitingKeyFrame_ = false;
    }
    if (exact_ && isKeyFrame && packet.pos >= 0 &&
        (keyFrames_.empty() || packet.pos > keyFrames_.back().position)) {
        keyFrames_.push_back({packet.pos, next_});
    }
    // What FFmpeg counted (MPEG-2 video) starts again nowhere after a byte seek: the clock's
    // times replace it throughout, so that all of them are on one time line.
    packet.pts = AV_NOPTS_VALUE;
    packet.dts = next_;
    if (packet.duration <= 0) {
        packet.duration = frameDuration_;
    }
    next_ = saturatingAdd(next_, packet.duration);
    stampedSinceSet_ = true;
    if (exact_) {
        exactlyReadUntil_ = std::max(exactlyReadUntil_, saturatingAdd(next_, delay_));
    }
    return true;
}

std::optional<CMTime> RawStreamClock::endSinceSet() const {
    if (!stampedSinceSet_) {
        return std::nullopt;
    }
    return time(saturatingAdd(next_, delay_));
}

CMTime RawStreamClock::exactlyReadUntil() const {
    return time(exactlyReadUntil_);
}

std::optional<std::int64_t> RawStreamClock::ticks(CMTime time) const {
    const CMTime microseconds = platform::CMTimeConvertScale(
        time, AV_TIME_BASE, platform::kCMTimeRoundingMethod_RoundTowardNegativeInfinity);
    if (!platform::CMTIME_IS_NUMERIC(microseconds)) {
        return std::nullopt;
    }
    return av_rescale_q(microseconds.value, AV_TIME_BASE_Q, timeBase_);
}

CMTime RawStreamClock::time(std::int64_t ticks) const {
    return platform::CMTimeMake(av_rescale_q(ticks, timeBase_, AV_TIME_BASE_Q), AV_TIME_BASE);
}

std::int64_t RawStreamClock::durationTicks() const {
    return ticks(duration_).value_or(0);
}

void RawStreamClock::seek(AVFormatContext& context, CMTime time) {
    const std::optional<std::int64_t> target = ticks(time);
    if (!target) {
        reportFFmpegFailure(AVERROR(EINVAL), {}, CallSite(seekFunction));
    }

    // Within what was read from the start: the last key frame whose picture is not after the
    // target, exactly.
    if (!keyFrames_.empty() && *target < exactlyReadUntil_) {
        auto entry = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), *target,
                                      [&](std::int64_t value, const KeyFrame& key) {
                                          return value < saturatingAdd(key.timestamp, delay_);
                                      });
        if (entry != keyFrames_.begin()) {
            --entry;
        }
        moveToByte(context, entry->position);
        next_ = entry->timestamp;
        exact_ = true;
        awaitingKeyFrame_ = true;
        stampedSinceSet_ = false;
        return;
    }

    const std::int64_t duration = durationTicks();
    if (*target <= 0 || duration <= 0 || fileSize_ <= 0) {
        moveToByte(context, 0);
        rewind();
        awaitingKeyFrame_ = true;
        return;
    }

    // Further on, by position: the target's share of the duration is its share of the bytes.
    const std::int64_t guessed = std::min(av_rescale(*target, fileSize_, duration), fileSize_ - 1);
    const std::optional<std::int64_t> keyFrame = keyFrameBefore(context, guessed);
    const auto known = std::find_if(keyFrames_.begin(), keyFrames_.end(), [&](const KeyFrame& key) {
        return keyFrame && key.position == *keyFrame;
    });
    if (known != keyFrames_.end()) {
        moveToByte(context, known->position);
        next_ = known->timestamp;
        exact_ = true;
    } else {
        // The key frame lies before the guessed position by so many bytes' worth of time; one
        // found after it (none before) is taken as the target itself.
        const std::int64_t position = keyFrame.value_or(guessed);
        const std::int64_t before =
            std::max<std::int64_t>(av_rescale(guessed - position, duration, fileSize_), 0);
        moveToByte(context, position);
        next_ = *target - before - delay_;
        exact_ = false;
    }
    awaitingKeyFrame_ = true;
    stampedSinceSet_ = false;
}

std::optional<std::int64_t> RawStreamClock::keyFrameBefore(AVFormatContext& context,
                                                           std::int64_t position) {
    AVPacketPointer packet = makePacket(CallSite(seekFunction));
    for (std::int64_t lookBack = kFirstLookBackBytes;; lookBack *= 2) {
        const std::int64_t from = std::max<std::int64_t>(position - lookBack, 0);
        moveToByte(context, from);
        std::optional<std::int64_t> found;
        while (readRawPacket(context, *packet) && packet->pos < position) {
            // The first packet after a byte seek is whatever lay between the position and the
            // next start code; only whole packets after it (or at the very start) count.
            const bool isWhole = packet->pos > from || from == 0;
            if (isWhole && (packet->flags & AV_PKT_FLAG_KEY) != 0) {
                found = packet->pos;
            }
        }
        if (found) {
            return found;
        }
        if (from == 0 || lookBack >= kLastLookBackBytes) {
            break;
        }
    }
    moveToByte(context, position);
    while (readRawPacket(context, *packet)) {
        if ((packet->flags & AV_PKT_FLAG_KEY) != 0 && packet->pos > position) {
            return packet->pos;
        }
    }
    return std::nullopt;
}

}  // namespace quillon
