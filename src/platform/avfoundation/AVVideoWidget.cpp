#include "platform/avfoundation/AVVideoWidget.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <QMetaObject>
#include <QPainter>
#include <QTransform>

#include "platform/foundation/Log.h"

namespace platform {

namespace {

// Whether the transform only turns by quarter turns and mirrors (entries 0 and ±1), as the
// display matrices of video files do.
bool isAxisAligned(const QTransform& turn) {
    auto unit = [](double value) {
        return std::abs(value) < 1e-9 || std::abs(std::abs(value) - 1) < 1e-9;
    };
    return unit(turn.m11()) && unit(turn.m12()) && unit(turn.m21()) && unit(turn.m22()) &&
           std::abs(std::abs(turn.determinant()) - 1) < 1e-9;
}

// The image turned and mirrored by an axis-aligned transform, pixel for pixel.
QImage turnedImage(const QImage& source, const QTransform& turn) {
    const int a = static_cast<int>(std::lround(turn.m11()));
    const int b = static_cast<int>(std::lround(turn.m12()));
    const int c = static_cast<int>(std::lround(turn.m21()));
    const int d = static_cast<int>(std::lround(turn.m22()));
    const int width = source.width();
    const int height = source.height();
    const int turnedWidth = std::abs(a) * width + std::abs(c) * height;
    const int turnedHeight = std::abs(b) * width + std::abs(d) * height;
    QImage turned(turnedWidth, turnedHeight, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        // Twice the offsets from the centre, so that they stay whole numbers.
        const int v = 2 * y + 1 - height;
        for (int x = 0; x < width; ++x) {
            const int u = 2 * x + 1 - width;
            const int turnedX = (a * u + c * v + turnedWidth - 1) / 2;
            const int turnedY = (b * u + d * v + turnedHeight - 1) / 2;
            reinterpret_cast<QRgb*>(turned.scanLine(turnedY))[turnedX] = line[x];
        }
    }
    return turned;
}

}  // namespace

class AVVideoWidget::Sink final : public AVVideoSink {
public:
    explicit Sink(AVVideoWidget* widget) : widget_(widget) {}

    void displayFrame(const CMSampleBufferRef& frame, CMTime, CMTime) override {
        std::lock_guard lock(mutex_);
        frame_ = frame;
        requestRepaint();
    }

    void geometryDidChange(const AVVideoLayerGeometry& geometry) override {
        std::lock_guard lock(mutex_);
        geometry_ = geometry;
        requestRepaint();
    }

    void snapshot(CMSampleBufferRef* frame, AVVideoLayerGeometry* geometry) {
        std::lock_guard lock(mutex_);
        *frame = frame_;
        *geometry = geometry_;
    }

    // The widget is going away: nothing is posted to it any more.
    void detach() {
        std::lock_guard lock(mutex_);
        widget_ = nullptr;
    }

private:
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
    bool repaintPending_ = false;
    CMSampleBufferRef frame_;
    AVVideoLayerGeometry geometry_;
};

AVVideoWidget::AVVideoWidget(QWidget* parent)
    : QWidget(parent), sink_(std::make_shared<Sink>(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    VTPixelTransferSessionCreate(&transferSession_);
}

AVVideoWidget::~AVVideoWidget() {
    sink_->detach();
}

AVVideoSinkRef AVVideoWidget::sink() const {
    return sink_;
}

bool AVVideoWidget::convert(const CMSampleBufferRef& frame, QSize size) {
    const CVPixelBufferRef source = CMSampleBufferGetImageBuffer(frame);
    if (!source || size.isEmpty()) {
        return false;
    }
    const auto width = static_cast<std::size_t>(size.width());
    const auto height = static_cast<std::size_t>(size.height());
    if (!rgbBuffer_ || CVPixelBufferGetWidth(rgbBuffer_) != width ||
        CVPixelBufferGetHeight(rgbBuffer_) != height) {
        image_ = QImage();
        rgbBuffer_.reset();
        if (CVPixelBufferCreate(width, height, kCVPixelFormatType_32BGRA, nullptr, &rgbBuffer_) !=
            kCVReturnSuccess) {
            log("Failed to create a {}×{} picture for the video view.", width, height);
            return false;
        }
    }
    const OSStatus status =
        VTPixelTransferSessionTransferImage(transferSession_, source, rgbBuffer_);
    if (status != noErr) {
        log("Failed to convert a video frame for the video view (status {}).", status);
        return false;
    }
    if (image_.isNull()) {
        // BGRA in memory is 0xAARRGGBB in a little-endian word: Qt's RGB32. The image refers to
        // the buffer's memory, which lives as long as rgbBuffer_.
        image_ =
            QImage(static_cast<const uchar*>(CVPixelBufferGetBaseAddress(rgbBuffer_)), size.width(),
                   size.height(), static_cast<qsizetype>(CVPixelBufferGetBytesPerRow(rgbBuffer_)),
                   QImage::Format_RGB32);
    }
    return true;
}

void AVVideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    CMSampleBufferRef frame;
    AVVideoLayerGeometry geometry;
    sink_->snapshot(&frame, &geometry);
    if (!frame) {
        convertedFrame_ = nullptr;
        return;
    }
    // The picture fills the layer's bounds (or its own display size while the layer has none),
    // turned by the layer's transform; that shape is fitted into the widget.
    CGSize content = geometry.bounds.size;
    if (!(content.width > 0 && content.height > 0)) {
        content = CVImageBufferGetDisplaySize(CMSampleBufferGetImageBuffer(frame));
    }
    const CGAffineTransform& t = geometry.transform;
    const QTransform turn(t.a, t.b, t.c, t.d, 0, 0);
    const QRectF turned = turn.mapRect(
        QRectF(-content.width / 2, -content.height / 2, content.width, content.height));
    if (!(turned.width() > 0 && turned.height() > 0)) {
        return;
    }
    double scaleX = width() / turned.width();
    double scaleY = height() / turned.height();
    if (geometry.videoGravity == AVLayerVideoGravityResizeAspect) {
        scaleX = scaleY = std::min(scaleX, scaleY);
    } else if (geometry.videoGravity == AVLayerVideoGravityResizeAspectFill) {
        scaleX = scaleY = std::max(scaleX, scaleY);
    }
    // The scale applies on screen, after the turn: a quarter turn swaps the axes it scales.
    const bool quarterTurn = std::abs(t.b) > std::abs(t.a);
    const double ratio = devicePixelRatioF();
    const QSizeF logical(content.width * (quarterTurn ? scaleY : scaleX),
                         content.height * (quarterTurn ? scaleX : scaleY));
    const QSize pixels(std::max(1, static_cast<int>(std::lround(logical.width() * ratio))),
                       std::max(1, static_cast<int>(std::lround(logical.height() * ratio))));
    if (frame != convertedFrame_ || pixels != convertedSize_) {
        convertedFrame_ = frame;
        convertedSize_ = pixels;
        if (!convert(frame, pixels)) {
            image_ = QImage();
            rgbBuffer_.reset();
        }
    }
    if (image_.isNull()) {
        return;
    }
    image_.setDevicePixelRatio(ratio);
    const QPointF centre(width() / 2.0, height() / 2.0);
    // Drawn without scaling (and turned by hand when it can be): a plain copy on screen.
    const QImage* shown = &image_;
    QImage turnedByHand;
    if (!turn.isIdentity() && isAxisAligned(turn)) {
        turnedByHand = turnedImage(image_, turn);
        turnedByHand.setDevicePixelRatio(ratio);
        shown = &turnedByHand;
    }
    if (shown != &image_ || turn.isIdentity()) {
        const QSizeF size = shown->deviceIndependentSize();
        painter.drawImage(QPointF(std::round(centre.x() - size.width() / 2),
                                  std::round(centre.y() - size.height() / 2)),
                          *shown);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(centre);
    painter.setTransform(turn, true);
    painter.drawImage(QPointF(-logical.width() / 2, -logical.height() / 2), image_);
}

}  // namespace platform
