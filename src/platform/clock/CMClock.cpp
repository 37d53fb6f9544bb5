#include "platform/clock/CMClock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/clock/ClockAlarmScheduler.h"
#include "platform/dispatch/DispatchThread.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// steady_clock is CLOCK_MONOTONIC on Linux: it never jumps with the wall clock.
std::int64_t monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The host time clock. One thread waits for the earliest deadline of every alarm; it starts with
// the clock and lives as long as the process.
class HostTimeClock final : public CMClock {
public:
    HostTimeClock()
        : scheduler_(std::make_shared<detail::ClockAlarmScheduler>([this] { wake(); })) {
        std::thread([this] { run(); }).detach();
    }

    CMTime time() const override { return CMClockMakeHostTime(monotonicNanoseconds()); }

    std::unique_ptr<CMClockAlarm> makeAlarm(AlarmHandler handler) override {
        return scheduler_->makeAlarm(std::move(handler));
    }

private:
    void wake() {
        {
            std::lock_guard lock(mutex_);
            changed_ = true;
        }
        condition_.notify_one();
    }

    [[noreturn]] void run() {
        detail::prepareCurrentThread("Host Time Clock", DispatchQoS::userInteractive);
        for (;;) {
            while (scheduler_->runOneDue(monotonicNanoseconds())) {
            }
            std::unique_lock lock(mutex_);
            if (changed_) {
                changed_ = false;
                continue;
            }
            if (const auto deadline = scheduler_->earliestDeadline()) {
                const std::chrono::steady_clock::time_point wakeUp{
                    std::chrono::nanoseconds(*deadline)};
                condition_.wait_until(lock, wakeUp, [&] { return changed_; });
            } else {
                condition_.wait(lock, [&] { return changed_; });
            }
            changed_ = false;
        }
    }

    const std::shared_ptr<detail::ClockAlarmScheduler> scheduler_;
    std::mutex mutex_;
    std::condition_variable condition_;
    bool changed_ = false;
};

}  // namespace

const CMClockRef& CMClockGetHostTimeClock() {
    static NeverDestroyed<CMClockRef> clock(std::make_shared<HostTimeClock>());
    return clock.get();
}

std::int64_t CMClockConvertHostTimeToNanoseconds(CMTime hostTime) {
    if (!CMTIME_IS_NUMERIC(hostTime)) {
        return 0;
    }
    return CMTimeConvertScale(hostTime, kCMClockHostTimeScale,
                              kCMTimeRoundingMethod_RoundTowardPositiveInfinity)
        .value;
}

}  // namespace platform
