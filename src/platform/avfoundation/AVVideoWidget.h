#pragma once

#include <memory>

#include <QImage>
#include <QWidget>

#include "platform/avfoundation/AVVideoSink.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/videotoolbox/VTPixelTransferSession.h"

namespace platform {

// A Qt widget that shows a display layer's pictures: hand sink() to the layer. It paints the
// current frame fitted into its rectangle by the layer's geometry (aspect kept for the default
// gravity, black bars around), converting YCbCr to RGB with the frame's own matrix and range.
// The conversion also scales to the size on screen, so painting is a plain copy (turned by the
// layer's transform when it has one).
//
// The sink may be called from any thread; it only stores the frame and asks the widget's thread
// for a repaint, once per burst of frames.
class AVVideoWidget : public QWidget {
public:
    explicit AVVideoWidget(QWidget* parent = nullptr);
    ~AVVideoWidget() override;

    AVVideoSinkRef sink() const;

    // The frame the last paint showed (null when it showed none).
    CMSampleBufferRef lastPaintedFrame() const { return convertedFrame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Sink;

    bool convert(const CMSampleBufferRef& frame, QSize size);

    std::shared_ptr<Sink> sink_;
    VTPixelTransferSessionRef transferSession_;
    CVPixelBufferRef rgbBuffer_;
    CMSampleBufferRef convertedFrame_;
    QSize convertedSize_;
    QImage image_;
};

}  // namespace platform
