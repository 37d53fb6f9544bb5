#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"

namespace platform {

// How a layer fits its picture into its bounds (the platform's AVLayerVideoGravity values).
using AVLayerVideoGravity = std::string;
inline const AVLayerVideoGravity AVLayerVideoGravityResizeAspect =
    "AVLayerVideoGravityResizeAspect";
inline const AVLayerVideoGravity AVLayerVideoGravityResizeAspectFill =
    "AVLayerVideoGravityResizeAspectFill";
inline const AVLayerVideoGravity AVLayerVideoGravityResize = "AVLayerVideoGravityResize";

// The display layer's geometry as its view needs it: the picture fills `bounds` (whose size
// carries the picture's aspect, pixel aspect ratio included), turned by `transform` about its
// centre, and the result is fitted into the view by `videoGravity`.
struct AVVideoLayerGeometry {
    CGRect bounds = CGRectMake(0, 0, 0, 0);
    CGAffineTransform transform = CGAffineTransformIdentity;
    AVLayerVideoGravity videoGravity = AVLayerVideoGravityResizeAspect;
};

// Where a display layer puts its pictures: a view on screen, or a recorder in tests. The layer
// calls it from whichever thread moves playback (an enqueue, the clock, a rate change), one
// call at a time and with the layer's lock held: a sink stores what it is given and returns at
// once, and never calls back into the layer.
class AVVideoSink {
public:
    virtual ~AVVideoSink() = default;

    // From host time `hostTime`, when the layer's time line read `time`, the layer shows `frame`;
    // a null frame removes the picture.
    virtual void displayFrame(const CMSampleBufferRef& frame, CMTime time, CMTime hostTime) = 0;
    virtual void geometryDidChange(const AVVideoLayerGeometry& geometry) { (void)geometry; }
    // The frame that shows next, once its time comes (null when none waits): a sink may get it
    // ready meanwhile.
    virtual void frameIsNext(const CMSampleBufferRef& frame) { (void)frame; }
    // The layer passed over `count` frames whose time had come while a later one was due too.
    virtual void framesWereDroppedLate(std::size_t count) { (void)count; }
    // The layer let go of its queued frames; the picture on screen may stay.
    virtual void layerWasFlushed() {}
};

using AVVideoSinkRef = std::shared_ptr<AVVideoSink>;

}  // namespace platform
