#pragma once

#include <cstddef>
#include <memory>

#include "platform/avfoundation/AVQueuedSampleBufferRendering.h"
#include "platform/foundation/AVError.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/video-output/AVVideoSink.h"

namespace platform {

// Shows decoded video frames (sample buffers holding a pixel buffer) at their presentation
// times on its synchronizer's timebase.
//
// Which frame shows: the newest queued frame whose presentation time has come; the frames it
// passes over are dropped. So while the time line stands still after a seek, the frame that
// covers that time shows. A flush keeps the picture on screen until new frames arrive; until a
// frame's time has come after a flush (or while the layer belongs to no synchronizer), the
// earliest queued frame stands in, so that a seek to before the first frame shows that frame
// rather than the old picture.
//
// Readiness: the layer is ready for more data while it holds fewer frames than its high-water
// mark; once it was full, it asks its data source again when playback has used it down to its
// low-water mark, and after every flush.
//
// enqueueSampleBuffer never waits for playback; every member is safe from any thread.
class AVSampleBufferDisplayLayer : public AVQueuedSampleBufferRendering {
public:
    // Each queued frame holds a decoded picture (12 MB at 2160p, twice that at 10 bits), on top
    // of those the decoder's threads hold; the presentation thread prepares the next frame
    // ahead from the queue, so a few frames cover the decoder's hiccups.
    static constexpr std::size_t kDefaultHighWaterMark = 4;
    static constexpr std::size_t kDefaultLowWaterMark = 2;

    AVSampleBufferDisplayLayer();
    // lowWaterMark < highWaterMark.
    AVSampleBufferDisplayLayer(std::size_t highWaterMark, std::size_t lowWaterMark);
    ~AVSampleBufferDisplayLayer() override;

    void enqueueSampleBuffer(const CMSampleBufferRef& sampleBuffer) override;
    void flush() override;
    // A flush that also takes the picture off the screen.
    void flushAndRemoveImage();
    bool isReadyForMoreMediaData() const override;
    void requestMediaDataWhenReadyOnQueue(std::shared_ptr<DispatchQueue> queue,
                                          MediaDataRequestBlock block) override;
    void stopRequestingMediaData() override;

    // Rendering once a frame was queued; failed (with an AVFoundationErrorDomain error) when a
    // sample buffer without a picture was queued. A flush clears a failure.
    AVQueuedSampleBufferRenderingStatus status() const override;
    std::shared_ptr<const Error> error() const override;

    CGRect bounds() const;
    void setBounds(CGRect bounds);
    CGAffineTransform affineTransform() const;
    void setAffineTransform(CGAffineTransform transform);
    AVLayerVideoGravity videoGravity() const;
    void setVideoGravity(AVLayerVideoGravity videoGravity);
    AVVideoLayerGeometry geometry() const;

    // Where the pictures go; the sink is told the current picture and geometry at once.
    void setVideoSink(AVVideoSinkRef sink);

    // The picture on screen (null for none), how many frames wait, and how many were passed over.
    CMSampleBufferRef displayedFrame() const;
    std::size_t queuedFrameCount() const;
    std::size_t droppedFrameCount() const;

protected:
    void timebaseWasAttached(const CMReadOnlyTimebaseRef& timebase) override;
    void timebaseWasDetached() override;
    void timebaseDidChange(const CMTimebaseAnchor& anchor) override;

private:
    struct State;
    std::shared_ptr<State> state_;
};

using AVSampleBufferDisplayLayerRef = std::shared_ptr<AVSampleBufferDisplayLayer>;

}  // namespace platform
