#include "platform/clock/CMTimebase.h"

#include <cmath>
#include <cstring>
#include <type_traits>
#include <limits>

namespace platform {

namespace {

std::int64_t saturatedNanoseconds(double nanoseconds) {
    constexpr double limit = 9.2e18;
    if (nanoseconds >= limit) {
        return static_cast<std::int64_t>(limit);
    }
    if (nanoseconds <= -limit) {
        return -static_cast<std::int64_t>(limit);
    }
    return static_cast<std::int64_t>(nanoseconds);
}

}  // namespace

CMTime CMTimebaseAnchor::timeAtHostTime(CMTime host) const {
    const std::int64_t delta =
        CMClockConvertHostTimeToNanoseconds(host) - CMClockConvertHostTimeToNanoseconds(hostTime);
    if (rate == 0 || delta == 0) {
        return time;
    }
    const std::int64_t moved =
        rate == 1 ? delta : saturatedNanoseconds(std::llround(static_cast<double>(delta) * rate));
    return CMTimeAdd(time, CMTimeMake(moved, kCMClockHostTimeScale));
}

CMTime CMTimebaseAnchor::hostTimeForTime(CMTime target) const {
    if (rate == 0 || !CMTIME_IS_NUMERIC(target) || !CMTIME_IS_NUMERIC(time)) {
        return kCMTimeInvalid;
    }
    const CMTime distance = CMTimeSubtract(target, time);
    if (!CMTIME_IS_NUMERIC(distance)) {
        return kCMTimeInvalid;
    }
    const double nanoseconds = CMTimeGetSeconds(distance) * 1e9 / rate;
    const std::int64_t host = CMClockConvertHostTimeToNanoseconds(hostTime);
    return CMClockMakeHostTime(host + saturatedNanoseconds(std::ceil(nanoseconds)));
}

static_assert(sizeof(CMTimebaseAnchor) % sizeof(std::uint64_t) == 0 &&
              std::is_trivially_copyable_v<CMTimebaseAnchor>);

CMTimebase::CMTimebase(CMClockRef sourceClock) : sourceClock_(std::move(sourceClock)) {
    anchor_.hostTime = sourceClock_->time();
    publish();
}

void CMTimebase::publish() {
    std::uint64_t words[kAnchorWords];
    std::memcpy(words, &anchor_, sizeof anchor_);
    // Each word a release store: none of them comes before the sequence turns odd, and a reader
    // that sees one sees the sequence odd or moved on.
    const std::uint64_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    for (std::size_t index = 0; index < kAnchorWords; ++index) {
        published_[index].store(words[index], std::memory_order_release);
    }
    sequence_.store(sequence + 2, std::memory_order_release);
}

bool CMTimebase::tryAnchor(CMTimebaseAnchor& anchor) const noexcept {
    // A writer holds the sequence odd only while it copies a few words: a handful of tries
    // nearly always get past it, and a reader that may not wait gives up after them.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint64_t before = sequence_.load(std::memory_order_acquire);
        if ((before & 1) != 0) {
            continue;
        }
        std::uint64_t words[kAnchorWords];
        for (std::size_t index = 0; index < kAnchorWords; ++index) {
            words[index] = published_[index].load(std::memory_order_acquire);
        }
        if (sequence_.load(std::memory_order_relaxed) == before) {
            std::memcpy(&anchor, words, sizeof anchor);
            return true;
        }
    }
    return false;
}

CMTime CMTimebase::time() const {
    return timeAndAnchor(nullptr);
}

double CMTimebase::rate() const {
    std::lock_guard lock(mutex_);
    return anchor_.rate;
}

CMTimebaseAnchor CMTimebase::anchor() const {
    std::lock_guard lock(mutex_);
    return anchor_;
}

CMTime CMTimebase::timeAndAnchor(CMTimebaseAnchor* anchorOut, CMTime* hostTimeOut) const {
    std::lock_guard lock(mutex_);
    // The clock is read under the lock, so that a change made at the same moment is either
    // wholly before this read or wholly after it.
    const CMTime host = sourceClock_->time();
    if (anchorOut != nullptr) {
        *anchorOut = anchor_;
    }
    if (hostTimeOut != nullptr) {
        *hostTimeOut = host;
    }
    return anchor_.timeAtHostTime(host);
}

CMTimebaseAnchor CMTimebase::setRateAndAnchorTime(double rate, CMTime time, CMTime hostTime) {
    std::lock_guard lock(mutex_);
    anchor_.rate = rate;
    anchor_.time = time;
    anchor_.hostTime = hostTime;
    ++anchor_.generation;
    publish();
    return anchor_;
}

}  // namespace platform
