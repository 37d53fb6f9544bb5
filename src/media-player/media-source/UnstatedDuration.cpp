#include "media-player/media-source/UnstatedDuration.h"

#include <algorithm>
#include <cstdlib>

namespace quillon {

using platform::CMTime;

namespace {

constexpr std::int32_t kMicroseconds = 1'000'000;
// Growth is announced a second at a time: the labels show whole seconds, and a scrubber that
// moves its range by less is not worth the redraw.
constexpr std::int64_t kAnnouncedStep = kMicroseconds;

std::optional<std::int64_t> microseconds(CMTime time) {
    const CMTime converted = platform::CMTimeConvertScale(time, kMicroseconds);
    if (!platform::CMTIME_IS_NUMERIC(converted)) {
        return std::nullopt;
    }
    return converted.value;
}

}  // namespace

UnstatedDuration::UnstatedDuration(CMTime startTime, std::optional<CMTime> estimate)
    : startTime_(startTime),
      estimate_(std::max<std::int64_t>(estimate ? microseconds(*estimate).value_or(0) : 0, 0)),
      announced_(estimate_) {}

CMTime UnstatedDuration::duration() const {
    std::lock_guard lock(mutex_);
    return platform::CMTimeMake(durationLocked(), kMicroseconds);
}

bool UnstatedDuration::isFinal() const {
    std::lock_guard lock(mutex_);
    return exactEnd_ || estimatedEnd_;
}

std::int64_t UnstatedDuration::mediaMicroseconds(CMTime time) const {
    const std::optional<std::int64_t> end = microseconds(time);
    const std::optional<std::int64_t> start = microseconds(startTime_);
    std::int64_t media = 0;
    if (!end || __builtin_sub_overflow(*end, start.value_or(0), &media)) {
        return 0;
    }
    return std::max<std::int64_t>(media, 0);
}

std::int64_t UnstatedDuration::durationLocked() const {
    if (exactEnd_) {
        return *exactEnd_;
    }
    if (estimatedEnd_) {
        return *estimatedEnd_;
    }
    return std::max(estimate_, furthestRead_);
}

bool UnstatedDuration::shouldAnnounceLocked() {
    const std::int64_t duration = durationLocked();
    const bool final = exactEnd_ || estimatedEnd_;
    // Where playing ends must be exact; a guess only needs to be shown now and then.
    const bool changed =
        final != announcedFinal_ ||
        (final ? duration != announced_ : std::llabs(duration - announced_) >= kAnnouncedStep);
    if (!changed) {
        return false;
    }
    announced_ = duration;
    announcedFinal_ = final;
    return true;
}

void UnstatedDuration::packetWasRead(CMTime end) {
    const std::int64_t media = mediaMicroseconds(end);
    bool announce = false;
    {
        std::lock_guard lock(mutex_);
        if (media <= furthestRead_) {
            return;
        }
        furthestRead_ = media;
        announce = shouldAnnounceLocked();
    }
    if (announce && didChange_) {
        didChange_();
    }
}

void UnstatedDuration::endOfFileWasRead(std::optional<CMTime> lastEnd, bool exact) {
    if (!lastEnd) {
        return;
    }
    const std::int64_t media = mediaMicroseconds(*lastEnd);
    bool announce = false;
    {
        std::lock_guard lock(mutex_);
        furthestRead_ = std::max(furthestRead_, media);
        // Each context ends with the streams it reads (pictures in one, sound in the other): the
        // media lasts as long as the longest of them.
        std::optional<std::int64_t>& end = exact ? exactEnd_ : estimatedEnd_;
        end = std::max(end.value_or(media), media);
        announce = shouldAnnounceLocked();
    }
    if (announce && didChange_) {
        didChange_();
    }
}

void UnstatedDuration::clockWasSet() {
    bool announce = false;
    {
        std::lock_guard lock(mutex_);
        if (!estimatedEnd_) {
            return;
        }
        estimatedEnd_.reset();
        announce = shouldAnnounceLocked();
    }
    if (announce && didChange_) {
        didChange_();
    }
}

}  // namespace quillon
