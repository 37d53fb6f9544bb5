#include "platform/video-output/VideoPicturePresenter.h"

#include <cstdlib>
#include <utility>

#include "platform/dispatch/DispatchThread.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

constexpr const char* kPresentationQueueLabel = "Video View Presentation Queue";

// Turns and mirrors `source` by an axis-aligned matrix into `destination` (already of the turned
// size), pixel for pixel.
void turnInto(const QImage& source, QImage& destination, const std::array<int, 4>& turn) {
    const auto [a, b, c, d] = turn;
    const int width = source.width();
    const int height = source.height();
    const int turnedWidth = destination.width();
    const int turnedHeight = destination.height();
    auto* out = reinterpret_cast<QRgb*>(destination.bits());
    const qsizetype stride = destination.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        // Twice the offsets from the centre, so that they stay whole numbers.
        const int v = 2 * y + 1 - height;
        for (int x = 0; x < width; ++x) {
            const int u = 2 * x + 1 - width;
            const int turnedX = (a * u + c * v + turnedWidth - 1) / 2;
            const int turnedY = (b * u + d * v + turnedHeight - 1) / 2;
            out[turnedY * stride + turnedX] = line[x];
        }
    }
}

// Keeps the image's memory when its size stays.
void ensureSize(QImage& image, QSize size) {
    if (image.size() != size || image.format() != QImage::Format_RGB32) {
        image = QImage(size, QImage::Format_RGB32);
    }
}

}  // namespace

QSize VideoPictureLayout::turnedSize() const {
    return {std::abs(turn[0]) * size.width() + std::abs(turn[2]) * size.height(),
            std::abs(turn[1]) * size.width() + std::abs(turn[3]) * size.height()};
}

VideoPicturePresenter::VideoPicturePresenter(std::function<void()> pictureIsReady)
    : pictureIsReady_(std::move(pictureIsReady)), thread_([this] { run(); }) {}

VideoPicturePresenter::~VideoPicturePresenter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void VideoPicturePresenter::present(const CMSampleBufferRef& frame, std::uint64_t serial,
                                    const VideoPictureLayout& layout) {
    {
        std::lock_guard lock(mutex_);
        if (!frame) {
            removed_ = true;
            due_ = {};
            ahead_ = {};
            recycle(ready_);
            recycle(prepared_);
            return;
        }
        removed_ = false;
        due_ = {frame, serial, layout, true};
    }
    wake_.notify_one();
}

void VideoPicturePresenter::prepare(const CMSampleBufferRef& frame,
                                    const VideoPictureLayout& layout) {
    {
        std::lock_guard lock(mutex_);
        if (!frame || (prepared_ && prepared_->frame == frame && prepared_->layout == layout)) {
            return;
        }
        ahead_ = {frame, 0, layout, true};
    }
    wake_.notify_one();
}

VideoPicturePresenter::PictureRef VideoPicturePresenter::takePicture() {
    std::lock_guard lock(mutex_);
    if (removed_) {
        recycle(shown_);
        return nullptr;
    }
    if (ready_) {
        recycle(shown_);
        shown_ = std::move(ready_);
    }
    return shown_;
}

CMSampleBufferRef VideoPicturePresenter::newestFrame() {
    std::lock_guard lock(mutex_);
    if (removed_) {
        return nullptr;
    }
    const Picture& newest = ready_ ? ready_ : shown_;
    return newest ? newest->frame : nullptr;
}

VideoPicturePresenter::Picture VideoPicturePresenter::freePicture() {
    if (pool_.empty()) {
        return std::make_shared<VideoPicture>();
    }
    Picture picture = std::move(pool_.back());
    pool_.pop_back();
    return picture;
}

void VideoPicturePresenter::recycle(Picture& picture) {
    if (picture) {
        picture->frame = nullptr;
        pool_.push_back(std::move(picture));
        picture = nullptr;
    }
}

bool VideoPicturePresenter::make(const Request& request, VideoPicture& picture) {
    const CVPixelBufferRef source = CMSampleBufferGetImageBuffer(request.frame);
    if (!source || request.layout.size.isEmpty()) {
        return false;
    }
    const VideoPictureLayout& layout = request.layout;
    QImage& target = layout.turns() ? unturned_ : picture.image;
    ensureSize(target, layout.size);
    if (!converter_.convert(*source, target.bits(), layout.size.width(), layout.size.height(),
                            static_cast<int>(target.bytesPerLine()))) {
        logWarning("Failed to convert a video frame for the video view.");
        return false;
    }
    if (layout.turns()) {
        ensureSize(picture.image, layout.turnedSize());
        turnInto(unturned_, picture.image, layout.turn);
    }
    picture.frame = request.frame;
    picture.serial = request.serial;
    picture.layout = layout;
    return true;
}

void VideoPicturePresenter::run() {
    detail::prepareCurrentThread(kPresentationQueueLabel, DispatchQoS::userInteractive);
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || due_.pending || ahead_.pending; });
        if (stopping_) {
            return;
        }
        const bool isDue = due_.pending;
        Request request = std::exchange(isDue ? due_ : ahead_, Request{});
        if (isDue && prepared_ && prepared_->frame == request.frame &&
            prepared_->layout == request.layout) {
            // Made ahead: handed over at once.
            prepared_->serial = request.serial;
            recycle(ready_);
            ready_ = std::move(prepared_);
            lock.unlock();
            pictureIsReady_();
            lock.lock();
            continue;
        }
        Picture picture = freePicture();
        lock.unlock();
        const bool made = make(request, *picture);
        lock.lock();
        if (!made || (isDue && removed_)) {
            recycle(picture);
            continue;
        }
        if (!isDue) {
            recycle(prepared_);
            prepared_ = std::move(picture);
            continue;
        }
        recycle(ready_);
        ready_ = std::move(picture);
        lock.unlock();
        pictureIsReady_();
        lock.lock();
    }
}

}  // namespace platform
