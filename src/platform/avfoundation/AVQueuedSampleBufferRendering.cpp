#include "platform/avfoundation/AVQueuedSampleBufferRendering.h"

namespace platform {

AVQueuedSampleBufferRendering::AVQueuedSampleBufferRendering() = default;
AVQueuedSampleBufferRendering::~AVQueuedSampleBufferRendering() = default;

CMReadOnlyTimebaseRef AVQueuedSampleBufferRendering::timebase() const {
    std::lock_guard lock(timebaseMutex_);
    return timebase_;
}

void AVQueuedSampleBufferRendering::timebaseWasAttached(const CMReadOnlyTimebaseRef&) {}
void AVQueuedSampleBufferRendering::timebaseWasDetached() {}
void AVQueuedSampleBufferRendering::timebaseDidChange(const CMTimebaseAnchor&) {}

bool AVQueuedSampleBufferRendering::attach(const AVSampleBufferRenderSynchronizer* owner,
                                           CMReadOnlyTimebaseRef timebase) {
    {
        std::lock_guard lock(timebaseMutex_);
        if (owner_ != nullptr) {
            return false;
        }
        owner_ = owner;
        timebase_ = timebase;
    }
    timebaseWasAttached(timebase);
    return true;
}

void AVQueuedSampleBufferRendering::detach(const AVSampleBufferRenderSynchronizer* owner) {
    {
        std::lock_guard lock(timebaseMutex_);
        if (owner_ != owner) {
            return;
        }
        owner_ = nullptr;
        timebase_.reset();
    }
    timebaseWasDetached();
}

const AVSampleBufferRenderSynchronizer* AVQueuedSampleBufferRendering::owner() const {
    std::lock_guard lock(timebaseMutex_);
    return owner_;
}

}  // namespace platform
