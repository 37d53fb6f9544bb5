#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/clock/CMTimebase.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"

namespace platform {

class AVSampleBufferRenderSynchronizer;

enum class AVQueuedSampleBufferRenderingStatus { unknown, rendering, failed };

// Base of the renderers a render synchronizer drives (the display layer, the audio renderer):
// a queue of sample buffers that a data source fills when the renderer asks for more, played
// out on the synchronizer's timebase.
//
// The synchronizer tells a renderer about its timebase through the protected hooks below; they
// are called on the thread that changes the synchronizer, outside the synchronizer's lock, one
// renderer after another in the synchronizer's order. A renderer must not call back into the
// synchronizer's setters from a hook; it may read the timebase. Two changes made at once on two
// threads may reach a renderer out of order: keep the anchor with the larger generation.
class AVQueuedSampleBufferRendering {
public:
    using MediaDataRequestBlock = std::function<void()>;

    AVQueuedSampleBufferRendering();
    virtual ~AVQueuedSampleBufferRendering();
    AVQueuedSampleBufferRendering(const AVQueuedSampleBufferRendering&) = delete;
    AVQueuedSampleBufferRendering& operator=(const AVQueuedSampleBufferRendering&) = delete;

    // The sample-buffer queue. Every call is safe from any thread and none blocks on playback.
    virtual void enqueueSampleBuffer(const CMSampleBufferRef& sampleBuffer) = 0;
    virtual void flush() = 0;
    virtual bool isReadyForMoreMediaData() const = 0;
    // Runs the block on the queue whenever the renderer can take more data, until
    // stopRequestingMediaData; a new request replaces the previous one.
    virtual void requestMediaDataWhenReadyOnQueue(std::shared_ptr<DispatchQueue> queue,
                                                  MediaDataRequestBlock block) = 0;
    // Returns at once, also when called from inside the block; a block already running goes
    // on, but none is started afterwards.
    virtual void stopRequestingMediaData() = 0;

    virtual AVQueuedSampleBufferRenderingStatus status() const = 0;
    virtual std::shared_ptr<const Error> error() const = 0;

    // The timebase of the synchronizer the renderer belongs to; null while it belongs to none.
    CMReadOnlyTimebaseRef timebase() const;

protected:
    // The renderer joined a synchronizer (timebase() answers its timebase from now on) or left
    // it (timebase() answers null from now on).
    virtual void timebaseWasAttached(const CMReadOnlyTimebaseRef& timebase);
    virtual void timebaseWasDetached();
    // The synchronizer's rate or time changed: a rate change keeps the time continuous, a
    // setRate with a time is a jump.
    virtual void timebaseDidChange(const CMTimebaseAnchor& anchor);

private:
    friend class AVSampleBufferRenderSynchronizer;

    // Called by the synchronizer. False when the renderer already belongs to another one.
    bool attach(const AVSampleBufferRenderSynchronizer* owner, CMReadOnlyTimebaseRef timebase);
    void detach(const AVSampleBufferRenderSynchronizer* owner);
    const AVSampleBufferRenderSynchronizer* owner() const;

    mutable std::mutex timebaseMutex_;
    const AVSampleBufferRenderSynchronizer* owner_ = nullptr;
    CMReadOnlyTimebaseRef timebase_;
};

using AVQueuedSampleBufferRenderingRef = std::shared_ptr<AVQueuedSampleBufferRendering>;

}  // namespace platform
