#include "platform/appkit/NSOperationQueue.h"

#include <pthread.h>

namespace platform {

NSOperationQueue::NSOperationQueue(std::string name)
    : name_(std::move(name)), thread_([this] { run(); }) {}

NSOperationQueue::~NSOperationQueue() {
    {
        std::lock_guard lock(mutex_);
        isStopping_ = true;
    }
    condition_.notify_all();
    thread_.join();
}

void NSOperationQueue::addOperation(std::function<void()> operation) {
    {
        std::lock_guard lock(mutex_);
        operations_.push_back(std::move(operation));
    }
    condition_.notify_all();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [this] { return operations_.empty() && !isRunningOperation_; });
}

void NSOperationQueue::run() {
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        condition_.wait(lock, [this] { return !operations_.empty() || isStopping_; });
        if (operations_.empty()) {
            return;
        }
        auto operation = std::move(operations_.front());
        operations_.pop_front();
        isRunningOperation_ = true;
        lock.unlock();
        operation();
        lock.lock();
        isRunningOperation_ = false;
        condition_.notify_all();
    }
}

}  // namespace platform
