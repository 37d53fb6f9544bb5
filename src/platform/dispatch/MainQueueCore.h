#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/dispatch/QueueCore.h"

namespace platform::detail {

// The main queue has no thread of its own: whoever pumps it runs its blocks. In the application
// the Qt event loop pumps it (see MainQueueEventLoopBinding); in tests the test thread does, with
// drain() or runUntil(). A sync from another thread queues the work and waits until the pump has
// run it, so main-queue work always runs on the pumping thread.
class MainQueueCore final : public QueueCore {
public:
    using QueueCore::QueueCore;

    static MainQueueCore& shared();

    void enqueue(DispatchBlock block) override;
    void runSync(SyncWork work) override;
    bool ownsCurrentThread() const override;

    void drain();
    bool runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

    // `requestDrain` is called (under the queue's lock, so it must not call back into the queue)
    // whenever blocks wait and no drain is requested yet; the drain it arranges must call
    // drainRequested() on `thread`.
    void bind(std::function<void()> requestDrain, std::thread::id thread);
    void unbind();
    void drainRequested();

private:
    void requestDrainIfNeeded();

    mutable std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<DispatchBlock> items_;
    std::function<void()> requestDrain_;
    std::optional<std::thread::id> boundThread_;
    bool drainPending_ = false;
};

}  // namespace platform::detail
