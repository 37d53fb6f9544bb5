#pragma once

#include <QWidget>
#include <memory>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/video-output/AVVideoOutput.h"

namespace quillon {

// Fits the display layer's picture into the container's bounds with its aspect kept, centred.
// The picture's own size is the display layer's frame: its bounds (set from the track's
// dimensions) turned by its transform. The scaling widget that shows the picture gets that size
// scaled by the largest factor that fits, rounded up to whole points but never past the
// container. Changes of the layer's geometry arrive from any thread and are laid out on the main
// thread; nothing animates. Main thread only otherwise.
//
// The scaling widget draws through OpenGL or on the raster path, as VideoOutputChoice decides;
// a GL widget that fails is replaced by a raster one, which takes over the frame on screen.
class VideoContainerLayer : public QWidget {
public:
    explicit VideoContainerLayer(std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer,
                                 QWidget* parent = nullptr);
    ~VideoContainerLayer() override;

    // The scale that fits a picture of `pictureSize` into `containerSize`: identity for an
    // empty picture.
    static platform::CGAffineTransform scalingTransform(platform::CGSize pictureSize,
                                                        platform::CGSize containerSize);

    const std::shared_ptr<platform::AVSampleBufferDisplayLayer>& displayLayer() const {
        return displayLayer_;
    }
    // Where the picture is shown: the scaling layer, and the output that draws in it.
    QWidget* scalingLayer() const { return output_->widget(); }
    platform::AVVideoOutput* videoOutput() const { return output_; }
    // The picture's size before scaling (the display layer's frame) at the last layout.
    platform::CGSize scalingLayerBoundsSize() const { return scalingBoundsSize_; }
    platform::CGAffineTransform scalingLayerTransform() const { return scalingTransform_; }

    // Reads the display layer's geometry and places the scaling layer.
    void layoutSublayers();

    platform::CGFloat contentsScale() const { return contentsScale_; }
    void setContentsScale(platform::CGFloat scale);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class GeometryRelay;

    // Makes the output of `path` and hands it the layer's pictures.
    void installOutput(platform::VideoOutputPath path);
    void glOutputDidFail();

    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer_;
    platform::AVVideoOutput* output_ = nullptr;
    std::shared_ptr<GeometryRelay> relay_;
    platform::CGSize scalingBoundsSize_{0, 0};
    platform::CGAffineTransform scalingTransform_ = platform::CGAffineTransformIdentity;
    platform::CGFloat contentsScale_ = 1.0;
};

}  // namespace quillon
