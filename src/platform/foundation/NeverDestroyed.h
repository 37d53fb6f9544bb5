#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
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

namespace platform {

// A string constant for keys that threads may still read while the process exits.
inline const std::string& neverDestroyedString(const char* text) {
    static NeverDestroyed<std::mutex> mutex;
    static NeverDestroyed<std::deque<std::string>> strings;  // keeps every element in place
    std::lock_guard lock(mutex.get());
    return strings->emplace_back(text);
}

}  // namespace platform
