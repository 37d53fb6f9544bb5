#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchBlock.h"
#include "platform/dispatch/DispatchTime.h"

namespace platform {
class DispatchQueue;
}

namespace platform::detail {

// The one thread behind every asyncAfter: it hands each block to its queue once the deadline has
// passed, in deadline order (submission order for equal deadlines). The thread starts with the
// first timer and ends after a few idle seconds.
class DispatchTimer {
public:
    static DispatchTimer& shared();

    void schedule(DispatchTime deadline, std::shared_ptr<DispatchQueue> queue, DispatchBlock block);

private:
    struct Entry {
        std::shared_ptr<DispatchQueue> queue;
        DispatchBlock block;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable condition_;
    std::multimap<DispatchTime, Entry> entries_;
    bool running_ = false;
};

}  // namespace platform::detail
