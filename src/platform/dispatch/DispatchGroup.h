#pragma once

#include <chrono>
#include <memory>

#include "platform/dispatch/DispatchBlock.h"
#include "platform/dispatch/DispatchTime.h"

namespace platform {

class DispatchQueue;

// Counts outstanding work. A handle: copies refer to the same group, and blocks submitted with
// DispatchQueue::async(group, ...) keep it alive.
class DispatchGroup {
public:
    DispatchGroup();

    void enter() const;
    // Leaving more often than entering is a fault of the caller and stops the process.
    void leave() const;

    // Submits the block to the queue once the count is zero: at once if it is zero now. A
    // notification fires once, for the first time the count reaches zero after it was set.
    void notify(DispatchQueue& queue, DispatchBlock block) const;

    // Blocks until the count is zero. The work that holds the group owns this wait.
    void wait() const;
    DispatchTimeoutResult wait(DispatchTime deadline) const;
    template <typename Rep, typename Period>
    DispatchTimeoutResult wait(std::chrono::duration<Rep, Period> timeout) const {
        return wait(dispatchDeadline(timeout));
    }

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform
