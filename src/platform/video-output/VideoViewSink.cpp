#include "platform/video-output/VideoViewSink.h"

#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace platform {

namespace {

// The integer matrix of a transform that only turns by quarter turns and mirrors (entries 0 and
// ±1), as the display matrices of video files do; none for any other.
std::optional<std::array<int, 4>> axisAlignedTurn(const QTransform& turn) {
    auto unit = [](double value) {
        return std::abs(value) < 1e-9 || std::abs(std::abs(value) - 1) < 1e-9;
    };
    if (!(unit(turn.m11()) && unit(turn.m12()) && unit(turn.m21()) && unit(turn.m22()) &&
          std::abs(std::abs(turn.determinant()) - 1) < 1e-9)) {
        return std::nullopt;
    }
    return std::array<int, 4>{
        static_cast<int>(std::lround(turn.m11())), static_cast<int>(std::lround(turn.m12())),
        static_cast<int>(std::lround(turn.m21())), static_cast<int>(std::lround(turn.m22()))};
}

}  // namespace

VideoPlacement placeVideoPicture(const CMSampleBufferRef& frame,
                                 const AVVideoLayerGeometry& geometry, QSize view, double ratio) {
    VideoPlacement placement;
    const CVPixelBufferRef pixels = frame ? CMSampleBufferGetImageBuffer(frame) : nullptr;
    if (!pixels || view.isEmpty()) {
        return placement;
    }
    CGSize content = geometry.bounds.size;
    if (!(content.width > 0 && content.height > 0)) {
        content = CVImageBufferGetDisplaySize(pixels);
    }
    const CGAffineTransform& t = geometry.transform;
    placement.turn = QTransform(t.a, t.b, t.c, t.d, 0, 0);
    const QRectF turned = placement.turn.mapRect(
        QRectF(-content.width / 2, -content.height / 2, content.width, content.height));
    if (!(turned.width() > 0 && turned.height() > 0)) {
        return placement;
    }
    double scaleX = view.width() / turned.width();
    double scaleY = view.height() / turned.height();
    if (geometry.videoGravity == AVLayerVideoGravityResizeAspect) {
        scaleX = scaleY = std::min(scaleX, scaleY);
    } else if (geometry.videoGravity == AVLayerVideoGravityResizeAspectFill) {
        scaleX = scaleY = std::max(scaleX, scaleY);
    }
    // The scale applies on screen, after the turn: a quarter turn swaps the axes it scales.
    const bool quarterTurn = std::abs(t.b) > std::abs(t.a);
    placement.logical = QSizeF(content.width * (quarterTurn ? scaleY : scaleX),
                               content.height * (quarterTurn ? scaleX : scaleY));
    placement.layout.size =
        QSize(std::max(1, static_cast<int>(std::lround(placement.logical.width() * ratio))),
              std::max(1, static_cast<int>(std::lround(placement.logical.height() * ratio))));
    if (!placement.turn.isIdentity()) {
        if (const auto turn = axisAlignedTurn(placement.turn)) {
            placement.layout.turn = *turn;
        } else {
            placement.drawnTurned = true;
        }
    }
    placement.valid = true;
    return placement;
}

void VideoViewSink::attach(VideoPicturePresenter* presenter) {
    std::lock_guard lock(mutex_);
    presenter_ = presenter;
}

void VideoViewSink::displayFrame(const CMSampleBufferRef& frame, CMTime, CMTime) {
    std::lock_guard lock(mutex_);
    const bool changed = frame != frame_;
    if (changed) {
        frame_ = frame;
        if (frame) {
            ++serial_;
        }
    }
    present();
    // A view without presenter draws the frame itself: it is ready as soon as it is handed over.
    if (!frame || (presenter_ == nullptr && changed)) {
        requestRepaint();
    }
}

void VideoViewSink::geometryDidChange(const AVVideoLayerGeometry& geometry) {
    std::lock_guard lock(mutex_);
    geometry_ = geometry;
    present();
    prepare();
    requestRepaint();
}

void VideoViewSink::frameIsNext(const CMSampleBufferRef& frame) {
    std::lock_guard lock(mutex_);
    next_ = frame;
    prepare();
}

void VideoViewSink::framesWereDroppedLate(std::size_t count) {
    std::lock_guard lock(mutex_);
    sinceFlush_.droppedLate += count;
    totals_.droppedLate += count;
}

void VideoViewSink::layerWasFlushed() {
    std::lock_guard lock(mutex_);
    sinceFlush_ = {};
    flushedAfterSerial_ = serial_;
}

void VideoViewSink::setView(QSize size, double ratio) {
    std::lock_guard lock(mutex_);
    if (size == viewSize_ && ratio == ratio_) {
        return;
    }
    viewSize_ = size;
    ratio_ = ratio;
    present();
    prepare();
}

void VideoViewSink::pictureIsReady() {
    std::lock_guard lock(mutex_);
    requestRepaint();
}

void VideoViewSink::didPaint(std::uint64_t serial) {
    std::lock_guard lock(mutex_);
    if (serial <= paintedSerial_) {
        return;
    }
    ++sinceFlush_.presented;
    ++totals_.presented;
    totals_.unpainted += serial - paintedSerial_ - 1;
    const std::uint64_t since = std::max(paintedSerial_, flushedAfterSerial_);
    if (serial > since) {
        sinceFlush_.unpainted += serial - since - 1;
    }
    paintedSerial_ = serial;
}

bool VideoViewSink::isShownBy(const CMSampleBufferRef& frame, const VideoPictureLayout& layout,
                              QSize size, double ratio) {
    const Snapshot current = snapshot();
    if (current.frame != frame) {
        return false;
    }
    if (!current.frame) {
        return true;
    }
    const VideoPlacement placement =
        placeVideoPicture(current.frame, current.geometry, size, ratio);
    return placement.valid && placement.layout == layout;
}

VideoViewSink::Snapshot VideoViewSink::snapshot() {
    std::lock_guard lock(mutex_);
    return {frame_, serial_, geometry_, next_};
}

AVVideoFrameCounts VideoViewSink::sinceFlush() {
    std::lock_guard lock(mutex_);
    return sinceFlush_;
}

AVVideoFrameCounts VideoViewSink::totals() {
    std::lock_guard lock(mutex_);
    return totals_;
}

void VideoViewSink::addToTotals(const AVVideoFrameCounts& counts) {
    std::lock_guard lock(mutex_);
    totals_.presented += counts.presented;
    totals_.droppedLate += counts.droppedLate;
    totals_.unpainted += counts.unpainted;
}

void VideoViewSink::detach() {
    std::lock_guard lock(mutex_);
    view_ = nullptr;
    presenter_ = nullptr;
}

// Under `mutex_`: asks for the current frame in the shape the view wants, unless it was asked
// for already.
void VideoViewSink::present() {
    if (presenter_ == nullptr) {
        return;
    }
    if (!frame_) {
        presenter_->present(nullptr, 0, {});
        presentedSerial_ = 0;
        return;
    }
    const VideoPlacement placement = placeVideoPicture(frame_, geometry_, viewSize_, ratio_);
    if (!placement.valid || (presentedSerial_ == serial_ && presentedLayout_ == placement.layout)) {
        return;
    }
    presentedSerial_ = serial_;
    presentedLayout_ = placement.layout;
    presenter_->present(frame_, serial_, placement.layout);
}

// Under `mutex_`.
void VideoViewSink::prepare() {
    if (presenter_ == nullptr || !next_ || next_ == frame_) {
        return;
    }
    const VideoPlacement placement = placeVideoPicture(next_, geometry_, viewSize_, ratio_);
    if (placement.valid) {
        presenter_->prepare(next_, placement.layout);
    }
}

// Under `mutex_`. A repaint posted to a view that is then destroyed is discarded with it, and the
// view detaches under the same lock before it goes.
void VideoViewSink::requestRepaint() {
    if (view_ == nullptr || repaintPending_) {
        return;
    }
    repaintPending_ = true;
    QWidget* view = view_;
    QMetaObject::invokeMethod(
        view,
        [this, view] {
            {
                std::lock_guard lock(mutex_);
                repaintPending_ = false;
            }
            view->update();
        },
        Qt::QueuedConnection);
}

}  // namespace platform
