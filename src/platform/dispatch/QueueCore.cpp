#include "platform/dispatch/QueueCore.h"

#include <exception>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"

namespace platform::detail {

namespace {

thread_local const ExecutionFrame* currentFrame = nullptr;

bool frameChainContains(const ExecutionFrame* frame, const QueueCore* queue) {
    for (; frame != nullptr; frame = frame->outer) {
        if (frame->queue == queue) {
            return true;
        }
        if (frame->waiter != nullptr && frameChainContains(frame->waiter, queue)) {
            return true;
        }
    }
    return false;
}

}  // namespace

const ExecutionFrame* currentExecutionFrame() {
    return currentFrame;
}

bool isExecutingOn(const QueueCore* queue) {
    return frameChainContains(currentFrame, queue);
}

ScopedExecution::ScopedExecution(const QueueCore* queue, const ExecutionFrame* waiter)
    : frame_{queue, currentFrame, waiter} {
    currentFrame = &frame_;
}

ScopedExecution::~ScopedExecution() {
    currentFrame = frame_.outer;
}

void QueueCore::invokeBlock(DispatchBlock& block) const {
    try {
        block();
    } catch (const std::exception& exception) {
        fatalError(fmt::format("A block on the queue \"{}\" threw an exception nobody catches: {}",
                               label_, exception.what()));
    } catch (...) {
        fatalError(fmt::format(
            "A block on the queue \"{}\" threw an exception of unknown type nobody catches",
            label_));
    }
}

void QueueCore::checkSyncWouldNotDeadlock() const {
    if (isExecutingOn(this) || ownsCurrentThread()) {
        fatalError(fmt::format(
            "Deadlock: sync onto the queue \"{}\" from code already running on that queue",
            label_));
    }
}

}  // namespace platform::detail
