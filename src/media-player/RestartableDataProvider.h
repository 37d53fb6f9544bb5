#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "media-player/media-source/Atomic.h"
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

    // Submits `work` to the queue. With cancellingCurrentWork a loop running there sees
    // isCancelled() at once and stops; the flag is lowered on the queue just before `work`, so
    // the work it starts runs uncancelled. `work` runs even when the provider is gone by then: it
    // must hold the provider weakly.
    void restart(bool cancellingCurrentWork, Work work) {
        if (cancellingCurrentWork) {
            shouldCancelProvideFunction_.setWrappedValue(true);
        }
        queue_->async([weakProvider = this->weak_from_this(), work = std::move(work)] {
            if (const auto self = weakProvider.lock()) {
                self->shouldCancelProvideFunction_.setWrappedValue(false);
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

    // Whether a restart asked the loop running now to stop.
    bool isCancelled() const { return shouldCancelProvideFunction_.wrappedValue(); }

private:
    std::shared_ptr<platform::DispatchQueue> queue_;
    Atomic<bool> shouldCancelProvideFunction_{false};
};

}  // namespace quillon
