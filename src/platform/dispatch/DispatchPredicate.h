#pragma once

#include <source_location>

namespace platform {

class DispatchQueue;

// What dispatchPrecondition checks: that the calling code runs on a queue, or not on it.
struct DispatchPredicate {
    enum class Kind { onQueue, notOnQueue };
    Kind kind;
    const DispatchQueue* queue;

    static DispatchPredicate onQueue(const DispatchQueue& queue) { return {Kind::onQueue, &queue}; }
    static DispatchPredicate notOnQueue(const DispatchQueue& queue) {
        return {Kind::notOnQueue, &queue};
    }
};

// Stops the process, naming the queue, unless the predicate holds for the calling code.
void dispatchPrecondition(DispatchPredicate predicate,
                          std::source_location location = std::source_location::current());

}  // namespace platform
