#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/clock/CMClock.h"
#include "platform/coremedia/CMTime.h"

namespace platform {

// Where a timebase stands: at host time `hostTime` its time was `time`, and it moves `rate`
// seconds of media time per second of host time from there. `generation` grows by one with
// every change, so a reader can tell a newer anchor from an older one.
struct CMTimebaseAnchor {
    double rate = 0;
    CMTime time = kCMTimeZero;
    CMTime hostTime = kCMTimeZero;
    std::uint64_t generation = 0;

    // The time at a host time by this anchor.
    CMTime timeAtHostTime(CMTime host) const;
    // The first host time (whole nanoseconds, rounded up) at which the anchor's time reaches
    // `target` moving in the rate's direction; invalid when the rate is 0. A target behind the
    // anchor in the direction of the rate gives a host time before the anchor's.
    CMTime hostTimeForTime(CMTime target) const;
};

// A media time line that follows a host clock at a rate (the platform's CMTimebase). Readers
// on any thread see each change whole: a time and rate from the same anchor.
class CMTimebase {
public:
    // Stopped (rate 0) at time zero.
    explicit CMTimebase(CMClockRef sourceClock);
    CMTimebase(const CMTimebase&) = delete;
    CMTimebase& operator=(const CMTimebase&) = delete;

    const CMClockRef& sourceClock() const { return sourceClock_; }

    CMTime time() const;
    double rate() const;
    CMTimebaseAnchor anchor() const;
    // The anchor without waiting for anyone: false, leaving `anchor` alone, in the moment a
    // change is being written (a render thread then keeps the anchor it read last).
    bool tryAnchor(CMTimebaseAnchor& anchor) const noexcept;
    // The time and the anchor it was read from, with the host time it was read at.
    CMTime timeAndAnchor(CMTimebaseAnchor* anchorOut, CMTime* hostTimeOut = nullptr) const;

    // The time line reads `time` at `hostTime` and moves at `rate` from there. Returns the new
    // anchor.
    CMTimebaseAnchor setRateAndAnchorTime(double rate, CMTime time, CMTime hostTime);

private:
    // Under the mutex.
    void publish();

    const CMClockRef sourceClock_;
    mutable std::mutex mutex_;
    CMTimebaseAnchor anchor_;
    // A copy of the anchor for readers that must not wait (a sequence lock): the sequence is odd
    // while a change is being written.
    static constexpr std::size_t kAnchorWords = sizeof(CMTimebaseAnchor) / sizeof(std::uint64_t);
    std::atomic<std::uint64_t> sequence_{0};
    std::array<std::atomic<std::uint64_t>, kAnchorWords> published_{};
};

using CMTimebaseRef = std::shared_ptr<CMTimebase>;
// Renderers read their synchronizer's timebase; only the synchronizer changes it.
using CMReadOnlyTimebaseRef = std::shared_ptr<const CMTimebase>;

inline CMTime CMTimebaseGetTime(const CMReadOnlyTimebaseRef& timebase) {
    return timebase->time();
}
inline double CMTimebaseGetRate(const CMReadOnlyTimebaseRef& timebase) {
    return timebase->rate();
}

}  // namespace platform
