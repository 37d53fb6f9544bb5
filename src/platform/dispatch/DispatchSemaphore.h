#pragma once

#include <chrono>
#include <memory>

#include "platform/dispatch/DispatchTime.h"

namespace platform {

// A counting semaphore. A handle: copies refer to the same semaphore, so blocks can capture it
// by value. Whoever is meant to signal owns the waits.
class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long value = 0);

    void signal() const;
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
