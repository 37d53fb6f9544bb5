#include "platform/avfoundation/MediaDataRequestScheduler.h"

#include <utility>

namespace platform {

struct MediaDataRequestScheduler::State {
    std::mutex mutex;
    // Every request and stop starts a new registration; runs of older ones do nothing.
    std::uint64_t registration = 0;
    std::shared_ptr<DispatchQueue> queue;
    std::shared_ptr<std::function<void()>> block;
    bool runWaiting = false;

    // Under the mutex.
    void submitRun(const std::shared_ptr<State>& self) {
        if (!block || runWaiting) {
            return;
        }
        runWaiting = true;
        queue->async([weakState = std::weak_ptr<State>(self), registrationOfRun = registration] {
            const auto state = weakState.lock();
            if (!state) {
                return;
            }
            std::shared_ptr<std::function<void()>> blockToRun;
            {
                std::lock_guard lock(state->mutex);
                if (state->registration != registrationOfRun) {
                    return;
                }
                state->runWaiting = false;
                blockToRun = state->block;
            }
            if (blockToRun) {
                (*blockToRun)();
            }
        });
    }
};

MediaDataRequestScheduler::MediaDataRequestScheduler() : state_(std::make_shared<State>()) {}

MediaDataRequestScheduler::~MediaDataRequestScheduler() {
    stop();
}

void MediaDataRequestScheduler::request(std::shared_ptr<DispatchQueue> queue,
                                        std::function<void()> block, bool readyNow) {
    std::shared_ptr<std::function<void()>> previous;
    {
        std::lock_guard lock(state_->mutex);
        ++state_->registration;
        state_->runWaiting = false;
        state_->queue = std::move(queue);
        previous =
            std::exchange(state_->block, std::make_shared<std::function<void()>>(std::move(block)));
        if (readyNow) {
            state_->submitRun(state_);
        }
    }
}

void MediaDataRequestScheduler::stop() {
    std::shared_ptr<std::function<void()>> previous;
    std::shared_ptr<DispatchQueue> previousQueue;
    {
        std::lock_guard lock(state_->mutex);
        ++state_->registration;
        state_->runWaiting = false;
        previous = std::move(state_->block);
        previousQueue = std::move(state_->queue);
    }
    // The block and queue are let go of outside the lock: the block may own what takes locks.
}

void MediaDataRequestScheduler::rendererIsReady() {
    std::lock_guard lock(state_->mutex);
    state_->submitRun(state_);
}

bool MediaDataRequestScheduler::isRequesting() const {
    std::lock_guard lock(state_->mutex);
    return state_->block != nullptr;
}

}  // namespace platform
