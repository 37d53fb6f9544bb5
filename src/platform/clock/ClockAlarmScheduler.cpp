#include "platform/clock/ClockAlarmScheduler.h"

#include <utility>

namespace platform::detail {

class ClockAlarmScheduler::Alarm final : public CMClockAlarm {
public:
    Alarm(std::shared_ptr<ClockAlarmScheduler> scheduler, std::shared_ptr<AlarmCore> core)
        : scheduler_(std::move(scheduler)), core_(std::move(core)) {}

    ~Alarm() override { cancel(); }

    void schedule(CMTime hostTime) override {
        scheduler_->schedule(core_, CMClockConvertHostTimeToNanoseconds(hostTime));
    }

    void cancel() override {
        scheduler_->unschedule(core_);
        std::unique_lock lock(core_->mutex);
        if (core_->runner != std::this_thread::get_id()) {
            core_->finished.wait(lock, [&] { return !core_->running; });
        }
    }

private:
    const std::shared_ptr<ClockAlarmScheduler> scheduler_;
    const std::shared_ptr<AlarmCore> core_;
};

ClockAlarmScheduler::ClockAlarmScheduler(std::function<void()> deadlinesChanged)
    : deadlinesChanged_(std::move(deadlinesChanged)) {}

std::unique_ptr<CMClockAlarm> ClockAlarmScheduler::makeAlarm(CMClock::AlarmHandler handler) {
    return std::make_unique<Alarm>(shared_from_this(),
                                   std::make_shared<AlarmCore>(std::move(handler)));
}

void ClockAlarmScheduler::schedule(const std::shared_ptr<AlarmCore>& core, std::int64_t deadline) {
    {
        std::lock_guard lock(mutex_);
        std::lock_guard coreLock(core->mutex);
        ++core->arming;
        core->armed = true;
        if (core->entry) {
            entries_.erase(*core->entry);
        }
        core->entry = entries_.emplace(deadline, Entry{core, core->arming});
    }
    if (deadlinesChanged_) {
        deadlinesChanged_();
    }
}

void ClockAlarmScheduler::unschedule(const std::shared_ptr<AlarmCore>& core) {
    std::lock_guard lock(mutex_);
    std::lock_guard coreLock(core->mutex);
    ++core->arming;
    core->armed = false;
    if (core->entry) {
        entries_.erase(*core->entry);
        core->entry.reset();
    }
}

std::optional<std::int64_t> ClockAlarmScheduler::earliestDeadline() const {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) {
        return std::nullopt;
    }
    return entries_.begin()->first;
}

std::size_t ClockAlarmScheduler::armedCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

bool ClockAlarmScheduler::runOneDue(std::int64_t now) {
    std::shared_ptr<AlarmCore> core;
    {
        std::lock_guard lock(mutex_);
        if (entries_.empty() || entries_.begin()->first > now) {
            return false;
        }
        Entry entry = std::move(entries_.begin()->second);
        entries_.erase(entries_.begin());
        core = std::move(entry.core);
        std::lock_guard coreLock(core->mutex);
        core->entry.reset();
        // The entries of a clock are run by one thread at a time, so the arming taken here is
        // still the current one unless it is cancelled or re-armed before we run it.
        if (!core->armed || core->arming != entry.arming) {
            return true;
        }
        core->armed = false;
        core->running = true;
        core->runner = std::this_thread::get_id();
    }
    core->handler();
    {
        std::lock_guard coreLock(core->mutex);
        core->running = false;
        core->runner = {};
    }
    core->finished.notify_all();
    return true;
}

}  // namespace platform::detail
