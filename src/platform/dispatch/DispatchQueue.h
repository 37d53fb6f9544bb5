#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/dispatch/DispatchBlock.h"
#include "platform/dispatch/DispatchQoS.h"
#include "platform/dispatch/DispatchTime.h"
#include "platform/dispatch/QueueCore.h"

namespace platform {

class DispatchGroup;

// A queue of blocks, in three kinds:
// - serial queues (makeSerial): one block at a time, in submission order, on a thread named
//   after the label. When the last reference goes, queued blocks still run, then the thread ends.
// - global queues (global): concurrent; blocks run on a pool that grows when every worker is
//   busy, so blocks may wait for one another.
// - the main queue (main): run by the Qt event loop once bindMainQueueToQtEventLoop() was
//   called, and otherwise by whoever pumps it with drain() or runMainQueueUntil() (tests).
//
// sync() on a serial queue runs the block on the calling thread, after every block submitted
// before it and while holding the queue exclusively, as if it ran on the queue. On a global queue
// it runs inline. On the main queue the pumping thread runs it while the caller waits. A sync
// that could never be served -- onto a queue the caller is already running on, directly or
// through a chain of syncs -- stops the process with a message naming the queue.
//
// Queues are always owned by shared_ptr; functions that keep a queue for later (group notify,
// asyncAfter, DispatchIO) take a reference and retain it.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
    struct Passkey {};

public:
    static std::shared_ptr<DispatchQueue> makeSerial(std::string label,
                                                     DispatchQoS qos = DispatchQoS::defaultQoS);
    static DispatchQueue& global(DispatchQoS qos = DispatchQoS::defaultQoS);
    static DispatchQueue& main();

    DispatchQueue(Passkey, std::shared_ptr<detail::QueueCore> core);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return core_->label(); }
    DispatchQoS qos() const { return core_->qos(); }

    void async(DispatchBlock block);
    // Enters the group now and leaves it once the block has run.
    void async(const DispatchGroup& group, DispatchBlock block);
    void asyncAfter(DispatchTime deadline, DispatchBlock block);
    template <typename Rep, typename Period>
    void asyncAfter(std::chrono::duration<Rep, Period> delay, DispatchBlock block) {
        asyncAfter(dispatchDeadline(delay), std::move(block));
    }

    // Runs the block with the queue's guarantees (see above) and returns its result; an
    // exception it throws reaches the caller.
    template <typename F>
    std::invoke_result_t<F&> sync(F&& block);

    // True when the calling thread runs on this queue: inside one of its blocks or syncs,
    // including through nested syncs, or on the Qt event loop's thread for the bound main queue.
    bool isCurrent() const;

    // Main queue only: runs, on the calling thread, every block queued before the call.
    void drain();

private:
    void runSync(detail::SyncWork work);

    std::shared_ptr<detail::QueueCore> core_;
};

// Pumps the main queue on the calling thread until the predicate holds (true) or the timeout
// passes (false). For tests and command-line tools that run no Qt event loop.
bool runMainQueueUntil(const std::function<bool()>& predicate,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

template <typename F>
std::invoke_result_t<F&> DispatchQueue::sync(F&& block) {
    using Result = std::invoke_result_t<F&>;
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        auto call = [&] {
            try {
                std::invoke(block);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        runSync({[](void* context) { (*static_cast<decltype(call)*>(context))(); }, &call});
        if (failure) {
            std::rethrow_exception(failure);
        }
    } else {
        // References come back as references, values are moved out.
        using Stored = std::conditional_t<std::is_reference_v<Result>,
                                          std::add_pointer_t<std::remove_reference_t<Result>>,
                                          std::optional<Result>>;
        Stored result{};
        auto call = [&] {
            try {
                if constexpr (std::is_reference_v<Result>) {
                    result = &std::invoke(block);
                } else {
                    result.emplace(std::invoke(block));
                }
            } catch (...) {
                failure = std::current_exception();
            }
        };
        runSync({[](void* context) { (*static_cast<decltype(call)*>(context))(); }, &call});
        if (failure) {
            std::rethrow_exception(failure);
        }
        if constexpr (std::is_reference_v<Result>) {
            return static_cast<Result>(*result);
        } else {
            return std::move(*result);
        }
    }
}

}  // namespace platform
