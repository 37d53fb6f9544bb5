#pragma once

#include <functional>
#include <string>

#include "libraries/interposition/Interpose.h"

namespace interposition {

// A deferred hook: hooks for a class that is not there yet, built and applied when the class is
// registered with the runtime. A waiter is tried exactly once, on the thread that registers its
// class, and cannot be cancelled; one whose class never comes stays pending for the life of the
// process. Waiters whose class arrives together run in the order they were made, one after the
// other, and their builders may register further waiters or classes on their own thread (a
// builder must not wait for another thread that registers a class: that thread waits for the
// builder to finish first).
struct Interpose::Waiter {
    std::string className;
    Builder builder;
    // Run after the hooks were applied; none when empty.
    std::function<void()> completion;
};

}  // namespace interposition
