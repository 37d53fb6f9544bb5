#include "platform/dispatch/DispatchSemaphore.h"

#include <condition_variable>
#include <mutex>

#include "platform/foundation/FatalError.h"

namespace platform {

struct DispatchSemaphore::State {
    std::mutex mutex;
    std::condition_variable condition;
    long value = 0;
};

DispatchSemaphore::DispatchSemaphore(long value) : state_(std::make_shared<State>()) {
    precondition(value >= 0, "A DispatchSemaphore starts with a value of zero or more");
    state_->value = value;
}

void DispatchSemaphore::signal() const {
    std::lock_guard lock(state_->mutex);
    ++state_->value;
    state_->condition.notify_one();
}

void DispatchSemaphore::wait() const {
    std::unique_lock lock(state_->mutex);
    state_->condition.wait(lock, [this] { return state_->value > 0; });
    --state_->value;
}

DispatchTimeoutResult DispatchSemaphore::wait(DispatchTime deadline) const {
    if (deadline == DispatchTime::max()) {
        wait();
        return DispatchTimeoutResult::success;
    }
    std::unique_lock lock(state_->mutex);
    if (!state_->condition.wait_until(lock, deadline, [this] { return state_->value > 0; })) {
        return DispatchTimeoutResult::timedOut;
    }
    --state_->value;
    return DispatchTimeoutResult::success;
}

}  // namespace platform
