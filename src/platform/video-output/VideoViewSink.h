#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include <QSize>
#include <QSizeF>
#include <QTransform>

#include "platform/video-output/AVVideoSink.h"
#include "platform/video-output/VideoPicturePresenter.h"

class QWidget;

namespace platform {

// What reached the screen: frames painted, frames the display layer passed over as late, and
// frames that were replaced before a paint showed them.
struct AVVideoFrameCounts {
    std::size_t presented = 0;
    std::size_t droppedLate = 0;
    std::size_t unpainted = 0;

    friend bool operator==(const AVVideoFrameCounts&, const AVVideoFrameCounts&) = default;
};

// Where a frame goes in a view, and the shape its picture is made in.
struct VideoPlacement {
    bool valid = false;
    // In device pixels, before the quarter turn `layout.turn`.
    VideoPictureLayout layout;
    // The picture's size before turning, in the view's coordinates.
    QSizeF logical;
    QTransform turn;
    // A turn by other than quarter turns: the picture is drawn turned rather than made turned.
    bool drawnTurned = false;
};

// The picture fills the layer's bounds (or its own display size while the layer has none),
// turned by the layer's transform; that shape is fitted into a view of `view` points at `ratio`
// pixels per point.
VideoPlacement placeVideoPicture(const CMSampleBufferRef& frame,
                                 const AVVideoLayerGeometry& geometry, QSize view, double ratio);

// The display layer's side of a video view: keeps the current and the next frame and the
// layer's geometry, counts what was painted, asks the view to repaint, and, where the view has
// one, asks its presenter for the pictures in the shape the view wants. The layer calls it from
// any thread; it only stores, posts and hands on.
class VideoViewSink final : public AVVideoSink {
public:
    explicit VideoViewSink(QWidget* view) : view_(view) {}

    // Without a presenter the view draws the frames themselves: each new frame asks for a paint.
    void attach(VideoPicturePresenter* presenter);

    void displayFrame(const CMSampleBufferRef& frame, CMTime, CMTime) override;
    void geometryDidChange(const AVVideoLayerGeometry& geometry) override;
    void frameIsNext(const CMSampleBufferRef& frame) override;
    void framesWereDroppedLate(std::size_t count) override;
    void layerWasFlushed() override;

    // The view's thread: the size pictures are made for.
    void setView(QSize size, double ratio);
    // The presentation thread.
    void pictureIsReady();
    // The view's thread: a paint showed frame number `serial`.
    void didPaint(std::uint64_t serial);

    struct Snapshot {
        CMSampleBufferRef frame;
        std::uint64_t serial = 0;
        AVVideoLayerGeometry geometry;
        CMSampleBufferRef next;
    };
    Snapshot snapshot();
    // Whether a view of `size` at `ratio` that last painted `frame` laid out as `layout` still
    // shows the current frame in the shape the view wants now.
    bool isShownBy(const CMSampleBufferRef& frame, const VideoPictureLayout& layout, QSize size,
                   double ratio);
    AVVideoFrameCounts sinceFlush();
    AVVideoFrameCounts totals();
    // Counts carried over from a view that this one replaces.
    void addToTotals(const AVVideoFrameCounts& counts);

    // The view is going away: nothing is posted to it or its presenter any more.
    void detach();

private:
    void present();
    void prepare();
    void requestRepaint();

    std::mutex mutex_;
    QWidget* view_;
    VideoPicturePresenter* presenter_ = nullptr;
    bool repaintPending_ = false;
    CMSampleBufferRef frame_;
    CMSampleBufferRef next_;
    // Frames handed over are numbered from 1.
    std::uint64_t serial_ = 0;
    std::uint64_t presentedSerial_ = 0;
    VideoPictureLayout presentedLayout_;
    std::uint64_t paintedSerial_ = 0;
    std::uint64_t flushedAfterSerial_ = 0;
    AVVideoLayerGeometry geometry_;
    QSize viewSize_;
    double ratio_ = 1;
    AVVideoFrameCounts sinceFlush_;
    AVVideoFrameCounts totals_;
};

}  // namespace platform
