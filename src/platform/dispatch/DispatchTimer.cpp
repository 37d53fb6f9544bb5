#include "platform/dispatch/DispatchTimer.h"

#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchThread.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform::detail {

namespace {
constexpr std::chrono::seconds idleLifetime{5};
}

DispatchTimer& DispatchTimer::shared() {
    static NeverDestroyed<DispatchTimer> timer;
    return timer.get();
}

void DispatchTimer::schedule(DispatchTime deadline, std::shared_ptr<DispatchQueue> queue,
                             DispatchBlock block) {
    std::lock_guard lock(mutex_);
    entries_.emplace(deadline, Entry{std::move(queue), std::move(block)});
    if (!running_) {
        running_ = true;
        std::thread([this] { run(); }).detach();
    } else {
        condition_.notify_one();
    }
}

void DispatchTimer::run() {
    prepareCurrentThread("Dispatch Timers", DispatchQoS::defaultQoS);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (entries_.empty()) {
            if (!condition_.wait_for(lock, idleLifetime, [this] { return !entries_.empty(); })) {
                running_ = false;
                return;
            }
        }
        // Woken early by every new timer, so an earlier deadline is never missed.
        const DispatchTime next = entries_.begin()->first;
        if (DispatchClock::now() < next) {
            condition_.wait_until(lock, next);
            continue;
        }
        std::vector<Entry> due;
        const auto now = DispatchClock::now();
        while (!entries_.empty() && entries_.begin()->first <= now) {
            due.push_back(std::move(entries_.begin()->second));
            entries_.erase(entries_.begin());
        }
        lock.unlock();
        for (Entry& entry : due) {
            // The block keeps its queue alive until it has run, so the last reference is let go
            // on the queue itself rather than on this thread.
            DispatchQueue& queue = *entry.queue;
            queue.async([queue = std::move(entry.queue), block = std::move(entry.block)]() mutable {
                block();
            });
        }
        due.clear();
        lock.lock();
    }
}

}  // namespace platform::detail
