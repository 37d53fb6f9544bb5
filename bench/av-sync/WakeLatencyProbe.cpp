#include "WakeLatencyProbe.h"

#include <algorithm>
#include <chrono>

namespace quillon::bench {

WakeLatencyProbe::WakeLatencyProbe() {
    // Several minutes of wake-ups, so that the probe does not allocate while a run plays.
    latenessMilliseconds_.reserve(1 << 18);
    thread_ = std::thread([this] { run(); });
}

WakeLatencyProbe::~WakeLatencyProbe() {
    stopping_.store(true);
    thread_.join();
}

void WakeLatencyProbe::run() {
    using Clock = std::chrono::steady_clock;
    // Sleeps of 1 to 4 ms in an uneven order, as the alarm waits between frames and renders.
    unsigned step = 0;
    while (!stopping_.load()) {
        step = (step + 37) % 3000;
        const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(1000 + step);
        std::this_thread::sleep_until(deadline);
        const double late =
            std::chrono::duration<double, std::milli>(Clock::now() - deadline).count();
        std::lock_guard lock(mutex_);
        if (latenessMilliseconds_.size() < latenessMilliseconds_.capacity()) {
            latenessMilliseconds_.push_back(late);
        }
    }
}

WakeLatencyProbe::Figures WakeLatencyProbe::figures() const {
    std::vector<double> lateness;
    {
        std::lock_guard lock(mutex_);
        lateness = latenessMilliseconds_;
    }
    Figures figures;
    if (lateness.empty()) {
        return figures;
    }
    std::sort(lateness.begin(), lateness.end());
    figures.wakeUps = lateness.size();
    figures.p999Milliseconds = lateness[std::min(lateness.size() - 1, lateness.size() * 999 / 1000)];
    figures.maxMilliseconds = lateness.back();
    figures.laterThan2Milliseconds = std::size_t(
        lateness.end() - std::upper_bound(lateness.begin(), lateness.end(), 2.0));
    return figures;
}

}  // namespace quillon::bench
