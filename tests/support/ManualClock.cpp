#include "support/ManualClock.h"

#include <atomic>

#include "platform/clock/ClockAlarmScheduler.h"
#include "platform/foundation/FatalError.h"

namespace platform {

struct ManualClock::State {
    std::atomic<std::int64_t> now{0};
    std::shared_ptr<detail::ClockAlarmScheduler> scheduler =
        std::make_shared<detail::ClockAlarmScheduler>();
};

ManualClock::ManualClock(CMTime start) : state_(std::make_shared<State>()) {
    state_->now = CMClockConvertHostTimeToNanoseconds(start);
}

ManualClock::~ManualClock() = default;

CMTime ManualClock::time() const {
    return CMClockMakeHostTime(state_->now.load());
}

std::unique_ptr<CMClockAlarm> ManualClock::makeAlarm(AlarmHandler handler) {
    return state_->scheduler->makeAlarm(std::move(handler));
}

void ManualClock::advance(CMTime duration) {
    advanceTo(
        CMClockMakeHostTime(state_->now.load() + CMClockConvertHostTimeToNanoseconds(duration)));
}

void ManualClock::advanceSeconds(double seconds) {
    advance(CMTimeMakeWithSeconds(seconds, kCMClockHostTimeScale));
}

void ManualClock::advanceTo(CMTime hostTime) {
    const std::int64_t target = CMClockConvertHostTimeToNanoseconds(hostTime);
    precondition(target >= state_->now.load(), "A manual clock cannot move backwards.");
    // Step from deadline to deadline so that every handler sees the clock at its own deadline.
    for (;;) {
        const auto deadline = state_->scheduler->earliestDeadline();
        if (!deadline || *deadline > target) {
            break;
        }
        if (*deadline > state_->now.load()) {
            state_->now = *deadline;
        }
        state_->scheduler->runOneDue(state_->now.load());
    }
    state_->now = target;
}

void ManualClock::fireDueAlarms() {
    advanceTo(time());
}

std::size_t ManualClock::armedAlarmCount() const {
    return state_->scheduler->armedCount();
}

}  // namespace platform
