#include "platform/dispatch/MainQueueCore.h"

#include <algorithm>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/FatalError.h"

namespace platform::detail {

MainQueueCore& MainQueueCore::shared() {
    static NeverDestroyed<std::shared_ptr<MainQueueCore>> core(
        std::make_shared<MainQueueCore>("Main Queue", DispatchQoS::userInteractive));
    return *core.get();
}

void MainQueueCore::enqueue(DispatchBlock block) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(block));
    condition_.notify_all();
    requestDrainIfNeeded();
}

void MainQueueCore::requestDrainIfNeeded() {
    if (requestDrain_ && !drainPending_ && !items_.empty()) {
        drainPending_ = true;
        requestDrain_();
    }
}

bool MainQueueCore::ownsCurrentThread() const {
    std::lock_guard lock(mutex_);
    return boundThread_ == std::this_thread::get_id();
}

void MainQueueCore::runSync(SyncWork work) {
    checkSyncWouldNotDeadlock();
    struct Completion {
        std::mutex mutex;
        std::condition_variable condition;
        bool done = false;
    } completion;
    // The pumping thread runs the work on behalf of this thread, so whatever this thread holds
    // counts as held there too: a sync back onto one of those queues is caught.
    const ExecutionFrame* waiter = currentExecutionFrame();
    enqueue([this, work, waiter, &completion] {
        {
            ScopedExecution execution(this, waiter);
            work();
        }
        std::lock_guard lock(completion.mutex);
        completion.done = true;
        // Notified under the lock: the waiter may destroy `completion` as soon as it sees done.
        completion.condition.notify_one();
    });
    // The pump owns this wait: the Qt event loop in the application, the test's pumping thread.
    std::unique_lock lock(completion.mutex);
    completion.condition.wait(lock, [&completion] { return completion.done; });
}

void MainQueueCore::drain() {
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        precondition(!boundThread_ || *boundThread_ == std::this_thread::get_id(),
                     "The main queue is bound to the Qt event loop: only its thread may drain it");
        count = items_.size();
    }
    // Only what was queued before the drain began: a block that queues another does not keep
    // the pump spinning.
    for (; count > 0; --count) {
        DispatchBlock block;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                break;  // a nested drain (from a modal loop) took them
            }
            block = std::move(items_.front());
            items_.pop_front();
        }
        ScopedExecution execution(this);
        invokeBlock(block);
    }
}

bool MainQueueCore::runUntil(const std::function<bool()>& predicate,
                             std::chrono::milliseconds timeout) {
    // The predicate may turn true through other threads without any block arriving, so the
    // wait is sliced.
    constexpr std::chrono::milliseconds slice{5};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        if (predicate()) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        std::unique_lock lock(mutex_);
        condition_.wait_until(lock, std::min(deadline, now + slice),
                              [this] { return !items_.empty(); });
    }
}

void MainQueueCore::bind(std::function<void()> requestDrain, std::thread::id thread) {
    std::lock_guard lock(mutex_);
    precondition(!requestDrain_, "The main queue is already bound to an event loop");
    requestDrain_ = std::move(requestDrain);
    boundThread_ = thread;
    drainPending_ = false;
    requestDrainIfNeeded();
}

void MainQueueCore::unbind() {
    std::lock_guard lock(mutex_);
    requestDrain_ = nullptr;
    boundThread_.reset();
    drainPending_ = false;
}

void MainQueueCore::drainRequested() {
    {
        std::lock_guard lock(mutex_);
        drainPending_ = false;
    }
    drain();
}

}  // namespace platform::detail
