#pragma once

#include <chrono>

namespace platform {

// Deadlines of the dispatch library are points on the monotonic clock, so that changes of the
// wall clock never fire or delay timers. DispatchTime::max() stands for "never".
using DispatchClock = std::chrono::steady_clock;
using DispatchTime = DispatchClock::time_point;

enum class DispatchTimeoutResult { success, timedOut };

inline DispatchTime dispatchNow() {
    return DispatchClock::now();
}

// A deadline that many milliseconds (or any duration) from now; saturates instead of overflowing.
template <typename Rep, typename Period>
DispatchTime dispatchDeadline(std::chrono::duration<Rep, Period> delay) {
    const auto now = DispatchClock::now();
    const auto converted = std::chrono::duration_cast<DispatchClock::duration>(delay);
    if (converted > DispatchTime::max() - now) {
        return DispatchTime::max();
    }
    return now + converted;
}

}  // namespace platform
