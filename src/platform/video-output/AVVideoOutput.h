#pragma once

#include <functional>

#include "platform/video-output/AVVideoSink.h"
#include "platform/video-output/VideoOutputChoice.h"
#include "platform/video-output/VideoViewSink.h"

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
    AVVideoSinkRef sink() const { return sink_; }

    // The frame the last paint showed (null when it showed none).
    CMSampleBufferRef lastPaintedFrame() const { return paintedFrame_; }
    // Whether the last paint showed the layer's current frame in the shape the widget wants now.
    bool paintedCurrentPicture() const;
    // Whether a paint now would show the layer's current frame.
    virtual bool currentPictureIsReady() const = 0;

    // Since the layer's last flush, and over the widget's life.
    AVVideoFrameCounts frameCountsSinceFlush() const { return sink_->sinceFlush(); }
    AVVideoFrameCounts frameCountTotals() const { return sink_->totals(); }

protected:
    // `view` is the widget itself, which the sink asks to repaint.
    explicit AVVideoOutput(QWidget* view)
        : view_(view), sink_(std::make_shared<VideoViewSink>(view)) {}

    QWidget* const view_;
    const std::shared_ptr<VideoViewSink> sink_;
    // What the last paint showed, in what shape.
    CMSampleBufferRef paintedFrame_;
    VideoPictureLayout paintedLayout_;
};

// A widget of `path` (owned by `parent`).
AVVideoOutput* makeVideoOutput(VideoOutputPath path, QWidget* parent);

}  // namespace platform
