#include "platform/dispatch/DispatchGroup.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"

namespace platform {

struct DispatchGroup::State {
    struct Notification {
        std::shared_ptr<DispatchQueue> queue;
        DispatchBlock block;
    };

    std::mutex mutex;
    std::condition_variable condition;
    long count = 0;
    std::vector<Notification> notifications;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() const {
    std::lock_guard lock(state_->mutex);
    ++state_->count;
}

void DispatchGroup::leave() const {
    std::vector<State::Notification> notifications;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->count == 0) {
            fatalError("DispatchGroup::leave() called more often than enter()");
        }
        if (--state_->count > 0) {
            return;
        }
        state_->condition.notify_all();
        notifications.swap(state_->notifications);
    }
    for (auto& notification : notifications) {
        notification.queue->async(std::move(notification.block));
    }
}

void DispatchGroup::notify(DispatchQueue& queue, DispatchBlock block) const {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->count > 0) {
            state_->notifications.push_back({queue.shared_from_this(), std::move(block)});
            return;
        }
    }
    queue.async(std::move(block));
}

void DispatchGroup::wait() const {
    std::unique_lock lock(state_->mutex);
    state_->condition.wait(lock, [this] { return state_->count == 0; });
}

DispatchTimeoutResult DispatchGroup::wait(DispatchTime deadline) const {
    if (deadline == DispatchTime::max()) {
        wait();
        return DispatchTimeoutResult::success;
    }
    std::unique_lock lock(state_->mutex);
    const bool empty =
        state_->condition.wait_until(lock, deadline, [this] { return state_->count == 0; });
    return empty ? DispatchTimeoutResult::success : DispatchTimeoutResult::timedOut;
}

}  // namespace platform
