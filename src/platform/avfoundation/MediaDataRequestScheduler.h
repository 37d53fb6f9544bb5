#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace platform {

// The requestMediaDataWhenReadyOnQueue half of a renderer: holds the registered block and runs
// it on its queue whenever the renderer says it can take more data. At most one run waits on
// the queue at a time. stop() never blocks: a run already going continues, but a run that has
// not started yet by then never calls the block, nor does any later one.
class MediaDataRequestScheduler {
public:
    MediaDataRequestScheduler();
    ~MediaDataRequestScheduler();
    MediaDataRequestScheduler(const MediaDataRequestScheduler&) = delete;
    MediaDataRequestScheduler& operator=(const MediaDataRequestScheduler&) = delete;

    // Replaces any earlier registration; runs the block soon when readyNow.
    void request(std::shared_ptr<DispatchQueue> queue, std::function<void()> block, bool readyNow);
    void stop();
    // The renderer can take more data (it consumed down to its low-water mark, or was flushed):
    // runs the block unless a run is already waiting.
    void rendererIsReady();
    bool isRequesting() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform
