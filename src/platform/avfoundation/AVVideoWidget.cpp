#include "platform/avfoundation/AVVideoWidget.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

#include <QMetaObject>
#include <QPainter>
#include <QTransform>

namespace platform {

namespace {

// Where a frame goes in the widget, and the shape its picture is prepared in.
struct Placement {
    bool valid = false;
    VideoPictureLayout layout;
    // The picture's size before turning, in the widget's coordinates.
    QSizeF logical;
    QTransform turn;
    // A turn by other than quarter turns is left to the painter.
    bool painterTurns = false;
};

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
    return std::array<int, 4>{static_cast<int>(std::lround(turn.m11())),
                              static_cast<int>(std::lround(turn.m12())),
                              static_cast<int>(std::lround(turn.m21())),
                              static_cast<int>(std::lround(turn.m22()))};
}

// The picture fills the layer's bounds (or its own display size while the layer has none),
// turned by the layer's transform; that shape is fitted into the view.
Placement placePicture(const CMSampleBufferRef& frame, const AVVideoLayerGeometry& geometry,
                       QSize view, double ratio) {
    Placement placement;
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
            placement.painterTurns = true;
        }
    }
    placement.valid = true;
    return placement;
}

}  // namespace

class AVVideoWidget::Sink final : public AVVideoSink {
public:
    explicit Sink(AVVideoWidget* widget) : widget_(widget) {}

    void attach(VideoPicturePresenter* presenter) {
        std::lock_guard lock(mutex_);
        presenter_ = presenter;
    }

    void displayFrame(const CMSampleBufferRef& frame, CMTime, CMTime) override {
        std::lock_guard lock(mutex_);
        if (frame != frame_) {
            frame_ = frame;
            if (frame) {
                ++serial_;
            }
        }
        present();
        if (!frame) {
            requestRepaint();
        }
    }

    void geometryDidChange(const AVVideoLayerGeometry& geometry) override {
        std::lock_guard lock(mutex_);
        geometry_ = geometry;
        present();
        prepare();
        requestRepaint();
    }

    void frameIsNext(const CMSampleBufferRef& frame) override {
        std::lock_guard lock(mutex_);
        next_ = frame;
        prepare();
    }

    void framesWereDroppedLate(std::size_t count) override {
        std::lock_guard lock(mutex_);
        sinceFlush_.droppedLate += count;
        totals_.droppedLate += count;
    }

    void layerWasFlushed() override {
        std::lock_guard lock(mutex_);
        sinceFlush_ = {};
        flushedAfterSerial_ = serial_;
    }

    // The widget's thread: the size pictures are made for.
    void setView(QSize size, double ratio) {
        std::lock_guard lock(mutex_);
        if (size == viewSize_ && ratio == ratio_) {
            return;
        }
        viewSize_ = size;
        ratio_ = ratio;
        present();
        prepare();
    }

    // The presentation thread.
    void pictureIsReady() {
        std::lock_guard lock(mutex_);
        requestRepaint();
    }

    // The widget's thread: a paint showed frame number `serial`.
    void didPaint(std::uint64_t serial) {
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

    struct Snapshot {
        CMSampleBufferRef frame;
        std::uint64_t serial = 0;
        AVVideoLayerGeometry geometry;
    };

    Snapshot snapshot() {
        std::lock_guard lock(mutex_);
        return {frame_, serial_, geometry_};
    }

    AVVideoFrameCounts sinceFlush() {
        std::lock_guard lock(mutex_);
        return sinceFlush_;
    }

    AVVideoFrameCounts totals() {
        std::lock_guard lock(mutex_);
        return totals_;
    }

    // The widget is going away: nothing is posted to it or its presenter any more.
    void detach() {
        std::lock_guard lock(mutex_);
        widget_ = nullptr;
        presenter_ = nullptr;
    }

private:
    // Under `mutex_`: asks for the current frame in the shape the view wants, unless it was
    // asked for already.
    void present() {
        if (presenter_ == nullptr) {
            return;
        }
        if (!frame_) {
            presenter_->present(nullptr, 0, {});
            presentedSerial_ = 0;
            return;
        }
        const Placement placement = placePicture(frame_, geometry_, viewSize_, ratio_);
        if (!placement.valid ||
            (presentedSerial_ == serial_ && presentedLayout_ == placement.layout)) {
            return;
        }
        presentedSerial_ = serial_;
        presentedLayout_ = placement.layout;
        presenter_->present(frame_, serial_, placement.layout);
    }

    // Under `mutex_`.
    void prepare() {
        if (presenter_ == nullptr || !next_ || next_ == frame_) {
            return;
        }
        const Placement placement = placePicture(next_, geometry_, viewSize_, ratio_);
        if (placement.valid) {
            presenter_->prepare(next_, placement.layout);
        }
    }

    // Under `mutex_`. A repaint posted to a widget that is then destroyed is discarded with it,
    // and the widget detaches under the same lock before it goes.
    void requestRepaint() {
        if (widget_ == nullptr || repaintPending_) {
            return;
        }
        repaintPending_ = true;
        AVVideoWidget* widget = widget_;
        QMetaObject::invokeMethod(
            widget,
            [this, widget] {
                {
                    std::lock_guard lock(mutex_);
                    repaintPending_ = false;
                }
                widget->update();
            },
            Qt::QueuedConnection);
    }

    std::mutex mutex_;
    AVVideoWidget* widget_;
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

AVVideoWidget::AVVideoWidget(QWidget* parent)
    : QWidget(parent), sink_(std::make_shared<Sink>(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    Sink* sink = sink_.get();
    presenter_ = std::make_unique<VideoPicturePresenter>([sink] { sink->pictureIsReady(); });
    sink_->attach(presenter_.get());
}

AVVideoWidget::~AVVideoWidget() {
    sink_->detach();
    // The presenter's thread ends before the sink it reports to can go.
    presenter_.reset();
}

AVVideoSinkRef AVVideoWidget::sink() const {
    return sink_;
}

AVVideoFrameCounts AVVideoWidget::frameCountsSinceFlush() const {
    return sink_->sinceFlush();
}

AVVideoFrameCounts AVVideoWidget::frameCountTotals() const {
    return sink_->totals();
}

bool AVVideoWidget::paintedCurrentPicture() const {
    const Sink::Snapshot current = sink_->snapshot();
    if (current.frame != paintedFrame_) {
        return false;
    }
    if (!current.frame) {
        return true;
    }
    const Placement placement =
        placePicture(current.frame, current.geometry, size(), devicePixelRatioF());
    return placement.valid && placement.layout == paintedLayout_;
}

bool AVVideoWidget::currentPictureIsReady() const {
    return presenter_->newestFrame() == sink_->snapshot().frame;
}

void AVVideoWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    sink_->setView(size(), devicePixelRatioF());
}

void AVVideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const double ratio = devicePixelRatioF();
    sink_->setView(size(), ratio);
    const Sink::Snapshot current = sink_->snapshot();
    const VideoPicturePresenter::PictureRef picture = presenter_->takePicture();
    paintedFrame_ = nullptr;
    if (!current.frame || !picture) {
        return;
    }
    const Placement placement = placePicture(current.frame, current.geometry, size(), ratio);
    if (!placement.valid) {
        return;
    }
    sink_->didPaint(picture->serial);
    paintedFrame_ = picture->frame;
    paintedLayout_ = picture->layout;
    // While a picture of the wanted shape is on its way, the last one is stretched to it.
    const QPointF centre(width() / 2.0, height() / 2.0);
    if (placement.painterTurns) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(centre);
        painter.setTransform(placement.turn, true);
        painter.drawImage(QRectF(QPointF(-placement.logical.width() / 2,
                                         -placement.logical.height() / 2),
                                 placement.logical),
                          picture->image);
        return;
    }
    const QSizeF shown = QSizeF(placement.layout.turnedSize()) / ratio;
    const QRectF target(QPointF(std::round(centre.x() - shown.width() / 2),
                                std::round(centre.y() - shown.height() / 2)),
                        shown);
    if (picture->layout != placement.layout) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    painter.drawImage(target, picture->image);
}

}  // namespace platform
