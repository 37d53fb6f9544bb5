#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/dispatch/QueueCore.h"

namespace platform::detail {

// The pool behind a global queue. Blocks may block (on a group whose work runs on the same
// pool, say), so a block never waits for a busy worker: when no worker is idle another one is
// started, up to a high cap. Workers idle for a few seconds end. A sync runs inline on the
// caller's thread: a concurrent queue promises no exclusivity.
class ConcurrentQueueCore final : public QueueCore {
public:
    static constexpr std::size_t maximumWorkers = 64;
    static constexpr std::chrono::seconds idleWorkerLifetime{5};

    using QueueCore::QueueCore;

    void enqueue(DispatchBlock block) override;
    void runSync(SyncWork work) override;

private:
    void workerLoop();

    std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<DispatchBlock> items_;
    std::size_t workers_ = 0;
    // Workers waiting for a block and not yet promised one.
    std::size_t idleWorkers_ = 0;
};

}  // namespace platform::detail
