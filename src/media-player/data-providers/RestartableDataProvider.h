#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// What every data provider does the same way: all its work runs on one serial queue of its own,
// and new work can cut short the loop that runs there. `Provider` derives from it, so that the
// blocks it submits hold a Provider weakly.
template <typename Provider>
class RestartableDataProvider : public std::enable_shared_from_this<Provider> {
public:
    using Work = std::function<void()>;
    using Completion = std::function<void()>;

    RestartableDataProvider(const RestartableDataProvider&) = delete;
    RestartableDataProvider& operator=(const RestartableDataProvider&) = delete;

    // Submits `work` to the queue. With cancellingCurrentWork, every loop of work submitted
    // before this call sees isCancelled() from now on and stops: the one running now, and those
    // of work still queued, which are superseded before they start. `work` itself, and work
    // submitted later, run uncancelled until the next cancelling restart. `work` runs even when
    // the provider is gone by then: it must hold the provider weakly.
    void restart(bool cancellingCurrentWork, Work work) {
        // Each cancel starts a generation; work belongs to the one current when it was submitted
        // and is cancelled once a later one has started. A flag lowered by each piece of work as
        // it began would let superseded work undo the cancel issued against it. The generation
        // and the place in the queue are taken together, so that their orders agree.
        std::lock_guard lock(submissionMutex_);
        const std::uint64_t generation =
            cancellingCurrentWork ? cancelGeneration_.fetch_add(1) + 1 : cancelGeneration_.load();
        queue_->async([weakProvider = this->weak_from_this(), generation, work = std::move(work)] {
            if (const auto self = weakProvider.lock()) {
                self->runningGeneration_.store(generation);
            }
            work();
        });
    }

    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

protected:
    explicit RestartableDataProvider(const char* queueLabel)
        : queue_(platform::DispatchQueue::makeSerial(queueLabel,
                                                     platform::DispatchQoS::userInitiated)) {}
    ~RestartableDataProvider() = default;

    // Whether a restart asked the loop running now to stop: on the queue, by work that a later
    // cancelling restart has superseded.
    bool isCancelled() const { return runningGeneration_.load() != cancelGeneration_.load(); }

private:
    std::shared_ptr<platform::DispatchQueue> queue_;
    std::mutex submissionMutex_;
    // The generation of the last cancelling restart, and the one of the work on the queue (set
    // there; blocks that do not come through restart run in the generation of the last work).
    std::atomic<std::uint64_t> cancelGeneration_{0};
    std::atomic<std::uint64_t> runningGeneration_{0};
};

}  // namespace quillon
