#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/dispatch/QueueCore.h"

namespace platform::detail {

// Runs blocks one at a time, in submission order, on one thread of its own that starts with the
// first block. A sync runs on the caller's thread once every earlier block has run, while the
// queue is held exclusively: no other block of the queue runs meanwhile.
class SerialQueueCore final : public QueueCore {
public:
    using QueueCore::QueueCore;
    ~SerialQueueCore() override;

    void enqueue(DispatchBlock block) override;
    void runSync(SyncWork work) override;
    void shutdown() override;

private:
    // A sync waiting for its turn; lives on the stack of the thread in sync.
    struct SyncTicket {
        bool granted = false;
    };
    struct Item {
        DispatchBlock block;
        SyncTicket* ticket = nullptr;
    };

    void startWorkerIfNeeded();
    void workerLoop();
    void release();

    std::mutex mutex_;
    std::condition_variable workerCondition_;
    std::condition_variable syncCondition_;
    std::deque<Item> items_;
    // A block or a sync section is running: the queue is held.
    bool held_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace platform::detail
