#include "media-player/subtitle-views/SubtitleImageRenderingView.h"

#include <QPainter>
#include <memory>

#include "libraries/calyxware/QtConversions.h"
#include "platform/corevideo/CVPixelFormatType.h"

namespace quillon {

SubtitleImageRenderingView::SubtitleImageRenderingView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void SubtitleImageRenderingView::setSubtitle(std::optional<ImageSubtitle> subtitle) {
    subtitle_ = std::move(subtitle);
    updateLayer();
    update();
}

void SubtitleImageRenderingView::updateLayer() {
    contents_ = QImage();
    scaled_ = QImage();
    if (!subtitle_ || !subtitle_->image) {
        return;
    }
    const platform::CVPixelBufferRef& buffer = subtitle_->image;
    if (buffer->pixelFormatType() != platform::kCVPixelFormatType_32BGRA || buffer->width() == 0 ||
        buffer->height() == 0) {
        return;
    }
    // The bitmap is never written after it is made, so the image reads it in place; the
    // buffer stays locked for reading and alive for as long as the image lasts. Its alpha is
    // straight, and its bytes B, G, R, A are Qt's ARGB32 words on this little-endian layout.
    if (buffer->lockBaseAddress(platform::kCVPixelBufferLock_ReadOnly) !=
        platform::kCVReturnSuccess) {
        return;
    }
    auto retained = std::make_unique<platform::CVPixelBufferRef>(buffer);
    contents_ = QImage(
        static_cast<const uchar*>(buffer->baseAddressOfPlane(0)), static_cast<int>(buffer->width()),
        static_cast<int>(buffer->height()),
        static_cast<qsizetype>(buffer->geometry().planes[0].bytesPerRow), QImage::Format_ARGB32,
        [](void* info) {
            std::unique_ptr<platform::CVPixelBufferRef> held(
                static_cast<platform::CVPixelBufferRef*>(info));
            (*held)->unlockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
        },
        retained.release());
}

void SubtitleImageRenderingView::paintEvent(QPaintEvent*) {
    if (contents_.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    QSizeF fitted = QSizeF(contents_.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2,
                        fitted.width(), fitted.height());
    // Scaled once per size: a repaint for the picture beneath only copies it.
    QPainter painter(this);
    const qreal ratio = calyxware::effectiveDevicePixelRatio(painter);
    const QSize pixels = (target.size() * ratio).toSize();
    if (pixels.isEmpty()) {
        return;
    }
    if (scaled_.size() != pixels || scaled_.devicePixelRatio() != ratio) {
        scaled_ = contents_.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                      .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(ratio);
    }
    painter.drawImage(target.topLeft(), scaled_);
}

}  // namespace quillon
