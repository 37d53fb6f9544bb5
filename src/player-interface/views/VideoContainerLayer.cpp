#include "player-interface/views/VideoContainerLayer.h"

#include "platform/video-output/AVVideoGLWidget.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace quillon {

using platform::CGFloat;
using platform::CGSize;

// Passes the layer's pictures on to the scaling layer and asks the container for a layout
// whenever the layer's geometry changes. The layer calls it on any thread with its lock held:
// it only posts, once per burst, to the main thread, and never calls back into the layer. It
// keeps what it passed on, so that a scaling layer that takes over from another starts with the
// frame on screen.
class VideoContainerLayer::GeometryRelay final
    : public platform::AVVideoSink,
      public std::enable_shared_from_this<GeometryRelay> {
public:
    explicit GeometryRelay(VideoContainerLayer* container) : container_(container) {}

    void displayFrame(const platform::CMSampleBufferRef& frame, platform::CMTime time,
                      platform::CMTime hostTime) override {
        std::lock_guard lock(mutex_);
        frame_ = frame;
        time_ = time;
        hostTime_ = hostTime;
        if (pictureSink_) {
            pictureSink_->displayFrame(frame, time, hostTime);
        }
    }

    void frameIsNext(const platform::CMSampleBufferRef& frame) override {
        std::lock_guard lock(mutex_);
        next_ = frame;
        if (pictureSink_) {
            pictureSink_->frameIsNext(frame);
        }
    }

    void framesWereDroppedLate(std::size_t count) override {
        std::lock_guard lock(mutex_);
        if (pictureSink_) {
            pictureSink_->framesWereDroppedLate(count);
        }
    }

    void layerWasFlushed() override {
        std::lock_guard lock(mutex_);
        if (pictureSink_) {
            pictureSink_->layerWasFlushed();
        }
    }

    void geometryDidChange(const platform::AVVideoLayerGeometry& geometry) override {
        std::lock_guard lock(mutex_);
        geometry_ = geometry;
        hasGeometry_ = true;
        if (pictureSink_) {
            pictureSink_->geometryDidChange(geometry);
        }
        if (container_ == nullptr || layoutPending_) {
            return;
        }
        layoutPending_ = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weakSelf = weak_from_this()] {
                const auto self = weakSelf.lock();
                if (!self) {
                    return;
                }
                VideoContainerLayer* container = nullptr;
                {
                    std::lock_guard lock(self->mutex_);
                    self->layoutPending_ = false;
                    container = self->container_;
                }
                if (container != nullptr) {
                    container->layoutSublayers();
                }
            },
            Qt::QueuedConnection);
    }

    // From now on the pictures go to `sink`, which gets the layer's state at once (main thread).
    void setPictureSink(platform::AVVideoSinkRef sink) {
        std::lock_guard lock(mutex_);
        pictureSink_ = std::move(sink);
        if (!pictureSink_) {
            return;
        }
        if (hasGeometry_) {
            pictureSink_->geometryDidChange(geometry_);
        }
        if (frame_) {
            pictureSink_->displayFrame(frame_, time_, hostTime_);
        }
        if (next_) {
            pictureSink_->frameIsNext(next_);
        }
    }

    // The container is going away (main thread).
    void detach() {
        std::lock_guard lock(mutex_);
        container_ = nullptr;
    }

private:
    std::mutex mutex_;
    VideoContainerLayer* container_;
    bool layoutPending_ = false;
    platform::AVVideoSinkRef pictureSink_;
    platform::CMSampleBufferRef frame_;
    platform::CMTime time_ = platform::kCMTimeInvalid;
    platform::CMTime hostTime_ = platform::kCMTimeInvalid;
    platform::CMSampleBufferRef next_;
    platform::AVVideoLayerGeometry geometry_;
    bool hasGeometry_ = false;
};

VideoContainerLayer::VideoContainerLayer(
    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer, QWidget* parent)
    : QWidget(parent),
      displayLayer_(std::move(displayLayer)),
      relay_(std::make_shared<GeometryRelay>(this)) {
    // Clicks go to the views behind the picture.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    installOutput(platform::VideoOutputChoice::current());
    if (displayLayer_) {
        displayLayer_->setVideoSink(relay_);
    }
    layoutSublayers();
}

VideoContainerLayer::~VideoContainerLayer() {
    relay_->detach();
}

void VideoContainerLayer::installOutput(platform::VideoOutputPath path) {
    platform::AVVideoOutput* previous = output_;
    output_ = platform::makeVideoOutput(path, this);
    QWidget* widget = output_->widget();
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (auto* gl = dynamic_cast<platform::AVVideoGLWidget*>(output_)) {
        gl->setFailureHandler([this](const std::string&) { glOutputDidFail(); });
    }
    if (previous != nullptr) {
        if (auto sink = std::dynamic_pointer_cast<platform::VideoViewSink>(output_->sink())) {
            sink->addToTotals(previous->frameCountTotals());
        }
        widget->setGeometry(previous->widget()->geometry());
        widget->show();
        previous->widget()->deleteLater();
    }
    relay_->setPictureSink(output_->sink());
}

void VideoContainerLayer::glOutputDidFail() {
    if (output_->path() == platform::VideoOutputPath::openGL) {
        installOutput(platform::VideoOutputPath::raster);
        layoutSublayers();
    }
}

platform::CGAffineTransform VideoContainerLayer::scalingTransform(CGSize pictureSize,
                                                                  CGSize containerSize) {
    const CGFloat w = pictureSize.width;
    const CGFloat h = pictureSize.height;
    if (w == 0 || h == 0) {
        return platform::CGAffineTransformIdentity;
    }
    const CGFloat W = containerSize.width;
    const CGFloat H = containerSize.height;
    const CGFloat s = std::min(W / w, H / h);
    // Whole points, so that no sliver of background shows beside the picture; never past the
    // container, which would crop it.
    const CGFloat sx = std::min(W, std::ceil(w * s)) / w;
    const CGFloat sy = std::min(H, std::ceil(h * s)) / h;
    return platform::CGAffineTransformMakeScale(sx, sy);
}

void VideoContainerLayer::layoutSublayers() {
    CGSize pictureSize{0, 0};
    if (displayLayer_) {
        const platform::AVVideoLayerGeometry geometry = displayLayer_->geometry();
        const platform::CGRect frame = platform::CGRectApplyAffineTransform(
            platform::CGRectMake(0, 0, geometry.bounds.size.width, geometry.bounds.size.height),
            geometry.transform);
        pictureSize = {std::abs(frame.size.width), std::abs(frame.size.height)};
    }
    scalingBoundsSize_ = pictureSize;
    const CGSize containerSize{static_cast<CGFloat>(width()), static_cast<CGFloat>(height())};
    scalingTransform_ = scalingTransform(pictureSize, containerSize);
    // Without a picture the scaling layer keeps its empty size at the centre.
    const CGFloat shownWidth = pictureSize.width * scalingTransform_.a;
    const CGFloat shownHeight = pictureSize.height * scalingTransform_.d;
    const CGFloat midX = containerSize.width / 2;
    const CGFloat midY = containerSize.height / 2;
    const int left = static_cast<int>(std::lround(midX - shownWidth / 2));
    const int top = static_cast<int>(std::lround(midY - shownHeight / 2));
    output_->widget()->setGeometry(left, top, static_cast<int>(std::lround(shownWidth)),
                                   static_cast<int>(std::lround(shownHeight)));
}

void VideoContainerLayer::setContentsScale(CGFloat scale) {
    // The scaling layer draws at the device pixel ratio of its screen by itself; the value is
    // kept for those who ask.
    contentsScale_ = scale;
}

void VideoContainerLayer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSublayers();
}

}  // namespace quillon
