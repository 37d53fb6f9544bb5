#pragma once

#include <memory>
#include <utility>

namespace platform {

// Holds a process-wide object that is never destroyed. Shared objects (queues, the timer thread,
// the default notification centre) are reached from detached threads that may still run while
// the process exits; destroying them during static destruction would pull the ground from under
// those threads.
template <typename T>
class NeverDestroyed {
public:
    template <typename... Args>
    explicit NeverDestroyed(Args&&... args) {
        std::construct_at(&value_, std::forward<Args>(args)...);
    }
    ~NeverDestroyed() {}
    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;

    T& get() { return value_; }
    T* operator->() { return &value_; }

private:
    union {
        T value_;
    };
};

}  // namespace platform
