#pragma once

#include <memory>

#include "platform/clock/CMClock.h"

namespace platform {

// A clock that only moves when told to (tests). Moving it forward runs, on the calling thread,
// every alarm that comes due on the way, in deadline order, with the clock reading each alarm's
// deadline while its handler runs; so what happens at 40 ms happens with the clock at 40 ms even
// when the clock is moved a whole second at once. An alarm armed for a time already reached
// waits for the next move (or fireDueAlarms).
class ManualClock final : public CMClock {
public:
    explicit ManualClock(CMTime start = CMClockMakeHostTime(1'000'000'000));
    ~ManualClock() override;

    static std::shared_ptr<ManualClock> make(CMTime start = CMClockMakeHostTime(1'000'000'000)) {
        return std::make_shared<ManualClock>(start);
    }

    CMTime time() const override;
    std::unique_ptr<CMClockAlarm> makeAlarm(AlarmHandler handler) override;

    // Moves the clock forward by a duration, or to a host time (never backwards: an earlier time
    // stops the process).
    void advance(CMTime duration);
    void advanceSeconds(double seconds);
    void advanceTo(CMTime hostTime);
    // Runs the alarms that are due at the current time.
    void fireDueAlarms();

    // How many alarms are armed (tests use it to see that nothing is left waiting).
    std::size_t armedAlarmCount() const;

private:
    struct State;
    class Alarm;
    std::shared_ptr<State> state_;
};

}  // namespace platform
