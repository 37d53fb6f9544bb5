#include "platform/dispatch/ConcurrentQueueCore.h"

#include <thread>

#include "platform/dispatch/DispatchThread.h"

namespace platform::detail {

void ConcurrentQueueCore::enqueue(DispatchBlock block) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(block));
    if (items_.size() > idleWorkers_ && workers_ < maximumWorkers) {
        ++workers_;
        auto self = std::static_pointer_cast<ConcurrentQueueCore>(shared_from_this());
        // Detached: the global queues live as long as the process, and a worker keeps the core
        // alive by itself.
        std::thread([self = std::move(self)] { self->workerLoop(); }).detach();
    } else {
        condition_.notify_one();
    }
}

void ConcurrentQueueCore::workerLoop() {
    prepareCurrentThread(label(), qos());
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idleWorkers_;
        const bool hasWork =
            condition_.wait_for(lock, idleWorkerLifetime, [this] { return !items_.empty(); });
        --idleWorkers_;
        if (!hasWork) {
            --workers_;
            return;
        }
        DispatchBlock block = std::move(items_.front());
        items_.pop_front();
        lock.unlock();
        {
            ScopedExecution execution(this);
            invokeBlock(block);
            block = DispatchBlock();
        }
        lock.lock();
    }
}

void ConcurrentQueueCore::runSync(SyncWork work) {
    ScopedExecution execution(this);
    work();
}

}  // namespace platform::detail
