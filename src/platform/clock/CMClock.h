#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/coremedia/CMTime.h"

namespace platform {

// Host times are nanoseconds of the clock, in this timescale.
inline constexpr CMTimeScale kCMClockHostTimeScale = 1'000'000'000;

// A one-shot alarm of a clock. It calls its handler once the clock reads the armed host time or
// later: on the clock's own thread for the host clock, on the thread that moves a manual clock
// forward for a manual clock; never on the thread that arms it, and never while it is armed
// twice. Arming again replaces the earlier deadline.
//
// cancel() and the destructor wait for a handler that is running on another thread, so that
// nothing the handler reaches is released under it; called from inside the handler they return
// at once. Never cancel or destroy an alarm while holding a lock its handler takes.
class CMClockAlarm {
public:
    virtual ~CMClockAlarm() = default;

    virtual void schedule(CMTime hostTime) = 0;
    virtual void cancel() = 0;
};

// A source of host time (the platform's CMClock): a monotonic time line that runs at rate 1 and
// never jumps backwards. The host time clock reads CLOCK_MONOTONIC; ManualClock is moved by hand
// (tests).
class CMClock {
public:
    using AlarmHandler = std::function<void()>;

    virtual ~CMClock() = default;

    // The clock's time, in kCMClockHostTimeScale.
    virtual CMTime time() const = 0;

    // An alarm that calls the handler on each arming that comes due.
    virtual std::unique_ptr<CMClockAlarm> makeAlarm(AlarmHandler handler) = 0;
};

using CMClockRef = std::shared_ptr<CMClock>;

// The process's host time clock, made on first use.
const CMClockRef& CMClockGetHostTimeClock();

inline CMTime CMClockGetTime(const CMClockRef& clock) {
    return clock->time();
}

// Host-time helpers: nanoseconds as a host time and back (a non-numeric time gives 0).
inline CMTime CMClockMakeHostTime(std::int64_t nanoseconds) {
    return CMTimeMake(nanoseconds, kCMClockHostTimeScale);
}
std::int64_t CMClockConvertHostTimeToNanoseconds(CMTime hostTime);

}  // namespace platform
