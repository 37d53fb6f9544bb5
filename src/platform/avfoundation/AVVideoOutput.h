#pragma once

#include <functional>

#include "platform/avfoundation/AVVideoSink.h"
#include "platform/avfoundation/VideoOutputChoice.h"
#include "platform/avfoundation/VideoViewSink.h"

class QWidget;

namespace platform {

// A widget that shows a display layer's pictures, whichever path draws them: hand sink() to the
// layer. Both paths fit the current frame into the widget by the layer's geometry, with the
// frame's own matrix, range and colours (HDR tone-mapped), and count what they painted.
class AVVideoOutput {
public:
    virtual ~AVVideoOutput() = default;

    virtual QWidget* widget() = 0;
    virtual VideoOutputPath path() const = 0;
    virtual AVVideoSinkRef sink() const = 0;

    // The frame the last paint showed (null when it showed none).
    virtual CMSampleBufferRef lastPaintedFrame() const = 0;
    // Whether the last paint showed the layer's current frame in the shape the widget wants now.
    virtual bool paintedCurrentPicture() const = 0;
    // Whether a paint now would show the layer's current frame.
    virtual bool currentPictureIsReady() const = 0;

    // Since the layer's last flush, and over the widget's life.
    virtual AVVideoFrameCounts frameCountsSinceFlush() const = 0;
    virtual AVVideoFrameCounts frameCountTotals() const = 0;
};

// A widget of `path` (owned by `parent`).
AVVideoOutput* makeVideoOutput(VideoOutputPath path, QWidget* parent);

}  // namespace platform
