#pragma once

#include <memory>

#include <QWidget>

#include "platform/video-output/AVVideoOutput.h"
#include "platform/video-output/VideoPicturePresenter.h"
#include "platform/video-output/VideoViewSink.h"

namespace platform {

// The raster path: a Qt widget that shows a display layer's pictures, hand sink() to the layer.
// It paints the current frame fitted into its rectangle by the layer's geometry (aspect kept for
// the default gravity, black bars around), converted to RGB with the frame's own matrix, range
// and colours (HDR tone-mapped) and scaled to the size on screen.
//
// The pictures are made on a presentation thread (VideoPicturePresenter), the next one ahead of
// its time, so that a paint only copies a finished picture (turned by the layer's transform when
// it has one). The sink may be called from any thread; it only passes the frame on.
class AVVideoWidget : public QWidget, public AVVideoOutput {
public:
    explicit AVVideoWidget(QWidget* parent = nullptr);
    ~AVVideoWidget() override;

    QWidget* widget() override { return this; }
    VideoOutputPath path() const override { return VideoOutputPath::raster; }
    bool currentPictureIsReady() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<VideoPicturePresenter> presenter_;
};

}  // namespace platform
