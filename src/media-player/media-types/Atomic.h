#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace quillon {

// A value shared across queues, guarded by a recursive lock. The lock is replaceable so that two
// boxes can be ordered by one lock (the player's primary and secondary subtitle selections).
template <typename T>
class Atomic {
public:
    using Lock = std::recursive_mutex;

    explicit Atomic(T initialValue)
        : lock_(std::make_shared<Lock>()), wrappedValue_(std::move(initialValue)) {}

    static std::shared_ptr<Atomic> make(T initialValue) {
        return std::make_shared<Atomic>(std::move(initialValue));
    }

    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

    T wrappedValue() const {
        std::lock_guard guard(*lock_);
        return wrappedValue_;
    }

    void setWrappedValue(T newValue) {
        T old = std::move(newValue);
        {
            std::lock_guard guard(*lock_);
            std::swap(wrappedValue_, old);
        }
        // The old value is released outside the lock: its destructor may take other locks.
    }

    // Runs body with mutable access to the value while the lock is held; returns body's result.
    template <typename Body>
    decltype(auto) modify(Body&& body) {
        std::lock_guard guard(*lock_);
        return std::forward<Body>(body)(wrappedValue_);
    }

    // The lock that guards the value; callers may hold it across several accesses.
    const std::shared_ptr<Lock>& lock() const { return lock_; }

    // Replaces the lock. Only valid before the box is shared across threads, as the player does
    // right after it creates its two subtitle selections.
    void setLock(std::shared_ptr<Lock> lock) { lock_ = std::move(lock); }

private:
    std::shared_ptr<Lock> lock_;
    T wrappedValue_;
};

}  // namespace quillon
