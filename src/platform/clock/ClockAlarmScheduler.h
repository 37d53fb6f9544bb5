#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/clock/CMClock.h"

namespace platform::detail {

// The deadlines of one clock's alarms, shared by the host clock (whose thread waits for them) and
// the manual clock (whose advance runs them).
class ClockAlarmScheduler : public std::enable_shared_from_this<ClockAlarmScheduler> {
public:
    struct AlarmCore;
    struct Entry {
        std::shared_ptr<AlarmCore> core;
        std::uint64_t arming = 0;
    };
    using Entries = std::multimap<std::int64_t, Entry>;

    // The state of one alarm. Its own mutex guards the arming and the running handler; the
    // scheduler's mutex guards its place among the deadlines. Lock order: scheduler, then alarm.
    struct AlarmCore {
        explicit AlarmCore(CMClock::AlarmHandler handler) : handler(std::move(handler)) {}

        const CMClock::AlarmHandler handler;
        std::mutex mutex;
        std::condition_variable finished;
        std::uint64_t arming = 0;
        bool armed = false;
        bool running = false;
        std::thread::id runner;
        // Guarded by the scheduler's mutex.
        std::optional<Entries::iterator> entry;
    };

    // Alarms keep their scheduler alive, so it is always shared.
    // `deadlinesChanged` is called, without the scheduler's lock, when the earliest deadline may
    // have changed.
    explicit ClockAlarmScheduler(std::function<void()> deadlinesChanged = {});

    std::unique_ptr<CMClockAlarm> makeAlarm(CMClock::AlarmHandler handler);

    // The earliest armed deadline, if any.
    std::optional<std::int64_t> earliestDeadline() const;
    // Takes the earliest alarm due at `now` and runs its handler on this thread; false when none
    // was due.
    bool runOneDue(std::int64_t now);
    std::size_t armedCount() const;

private:
    class Alarm;

    void schedule(const std::shared_ptr<AlarmCore>& core, std::int64_t deadline);
    void unschedule(const std::shared_ptr<AlarmCore>& core);

    const std::function<void()> deadlinesChanged_;
    mutable std::mutex mutex_;
    Entries entries_;
};

}  // namespace platform::detail
