#include "platform/dispatch/SerialQueueCore.h"

#include "platform/dispatch/DispatchThread.h"

namespace platform::detail {

SerialQueueCore::~SerialQueueCore() {
    // shutdown() has taken the worker out: joined, or detached when the queue died on it.
}

void SerialQueueCore::startWorkerIfNeeded() {
    if (!worker_.joinable()) {
        auto self = std::static_pointer_cast<SerialQueueCore>(shared_from_this());
        worker_ = std::thread([self = std::move(self)] { self->workerLoop(); });
    }
}

void SerialQueueCore::enqueue(DispatchBlock block) {
    std::lock_guard lock(mutex_);
    items_.push_back(Item{std::move(block), nullptr});
    startWorkerIfNeeded();
    workerCondition_.notify_one();
}

void SerialQueueCore::workerLoop() {
    prepareCurrentThread(label(), qos());
    std::unique_lock lock(mutex_);
    for (;;) {
        workerCondition_.wait(lock, [this] { return !held_ && (!items_.empty() || stopping_); });
        if (items_.empty()) {
            return;  // stopping, and everything queued has run
        }
        Item item = std::move(items_.front());
        items_.pop_front();
        held_ = true;
        if (item.ticket != nullptr) {
            // The sync's turn: it runs on its own thread; wait here until it releases the queue.
            item.ticket->granted = true;
            syncCondition_.notify_all();
            continue;
        }
        lock.unlock();
        {
            ScopedExecution execution(this);
            invokeBlock(item.block);
            // Destroyed on the queue and outside the lock: it may release the last reference to
            // this very queue.
            item.block = DispatchBlock();
        }
        lock.lock();
        held_ = false;
    }
}

void SerialQueueCore::release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    workerCondition_.notify_one();
}

void SerialQueueCore::runSync(SyncWork work) {
    checkSyncWouldNotDeadlock();
    {
        std::unique_lock lock(mutex_);
        if (!held_ && items_.empty()) {
            held_ = true;
        } else {
            SyncTicket ticket;
            items_.push_back(Item{DispatchBlock(), &ticket});
            startWorkerIfNeeded();
            workerCondition_.notify_one();
            // The worker owns this wait: it grants the ticket once the blocks before it have run.
            syncCondition_.wait(lock, [&ticket] { return ticket.granted; });
        }
    }
    struct Release {
        SerialQueueCore* queue;
        ~Release() { queue->release(); }
    } release{this};
    ScopedExecution execution(this);
    work();
}

void SerialQueueCore::shutdown() {
    std::thread worker;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        workerCondition_.notify_one();
        worker = std::move(worker_);
    }
    if (!worker.joinable()) {
        return;
    }
    if (worker.get_id() == std::this_thread::get_id()) {
        // The last reference went away inside one of the queue's own blocks. The worker holds
        // the core alive, finishes what is queued and ends by itself.
        worker.detach();
    } else {
        worker.join();
    }
}

}  // namespace platform::detail
