#pragma once

#include <cstddef>
#include <memory>

#include <QWidget>

#include "platform/avfoundation/AVVideoSink.h"
#include "platform/avfoundation/VideoPicturePresenter.h"

namespace platform {

// What reached the screen: frames painted, frames the display layer passed over as late, and
// frames that were replaced before a paint showed them.
struct AVVideoFrameCounts {
    std::size_t presented = 0;
    std::size_t droppedLate = 0;
    std::size_t unpainted = 0;

    friend bool operator==(const AVVideoFrameCounts&, const AVVideoFrameCounts&) = default;
};

// A Qt widget that shows a display layer's pictures: hand sink() to the layer. It paints the
// current frame fitted into its rectangle by the layer's geometry (aspect kept for the default
// gravity, black bars around), converted to RGB with the frame's own matrix, range and colours
// (HDR tone-mapped) and scaled to the size on screen.
//
// The pictures are made on a presentation thread (VideoPicturePresenter), the next one ahead of
// its time, so that a paint only copies a finished picture (turned by the layer's transform when
// it has one). The sink may be called from any thread; it only passes the frame on.
class AVVideoWidget : public QWidget {
public:
    explicit AVVideoWidget(QWidget* parent = nullptr);
    ~AVVideoWidget() override;

    AVVideoSinkRef sink() const;

    // The frame the last paint showed (null when it showed none).
    CMSampleBufferRef lastPaintedFrame() const { return paintedFrame_; }
    // Whether the last paint showed the layer's current frame in the shape the widget wants now.
    bool paintedCurrentPicture() const;
    // Whether a paint now would show the layer's current frame.
    bool currentPictureIsReady() const;

    // Since the layer's last flush, and over the widget's life.
    AVVideoFrameCounts frameCountsSinceFlush() const;
    AVVideoFrameCounts frameCountTotals() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Sink;

    std::shared_ptr<Sink> sink_;
    std::unique_ptr<VideoPicturePresenter> presenter_;
    CMSampleBufferRef paintedFrame_;
    VideoPictureLayout paintedLayout_;
};

}  // namespace platform
