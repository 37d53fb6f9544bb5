#include "platform/appkit/NSImage.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

QRectF qtRect(const CGRect& rect) {
    const CGRect r = rect.standardized();
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

class NSImageIconEngine final : public QIconEngine {
public:
    explicit NSImageIconEngine(std::shared_ptr<const NSImage> image) : image_(std::move(image)) {}

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const CGSize imageSize = image_->size();
        if (imageSize.width <= 0 || imageSize.height <= 0) {
            return {};
        }
        const double scale =
            std::min(size.width() / imageSize.width, size.height() / imageSize.height);
        return QSize(std::max(1, static_cast<int>(std::lround(imageSize.width * scale))),
                     std::max(1, static_cast<int>(std::lround(imageSize.height * scale))));
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const QSize size = actualSize(rect.size(), mode, state);
        const QRect target(rect.x() + (rect.width() - size.width()) / 2,
                           rect.y() + (rect.height() - size.height()) / 2, size.width(),
                           size.height());
        image_->drawInRect(
            *painter,
            CGRect{{static_cast<CGFloat>(target.x()), static_cast<CGFloat>(target.y())},
                   {static_cast<CGFloat>(target.width()), static_cast<CGFloat>(target.height())}});
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const QSize pixelSize = actualSize(size, mode, state);
        if (pixelSize.isEmpty()) {
            return {};
        }
        QImage canvas(pixelSize, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            paint(&painter, QRect(QPoint(0, 0), pixelSize), mode, state);
        }
        QPixmap pixmap = QPixmap::fromImage(std::move(canvas));
        if (mode == QIcon::Disabled && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        return pixmap;
    }

    QIconEngine* clone() const override { return new NSImageIconEngine(image_); }
    QString key() const override { return QStringLiteral("NSImage"); }

private:
    std::shared_ptr<const NSImage> image_;
};

}  // namespace

NSImage::NSImage(QImage bitmap) : bitmap_(std::move(bitmap)) {
    precondition(!bitmap_.isNull(), "an image needs pixels");
    const QSizeF size = bitmap_.deviceIndependentSize();
    size_ = {size.width(), size.height()};
}

NSImage::NSImage(CGSize size, DrawingHandler drawingHandler)
    : size_(size), drawingHandler_(std::move(drawingHandler)) {
    precondition(static_cast<bool>(drawingHandler_), "a drawn image needs a drawing handler");
}

std::shared_ptr<NSImage> NSImage::imageWithData(std::span<const std::byte> data, double scale) {
    QImage bitmap;
    if (data.empty() || data.size() > static_cast<std::size_t>(INT_MAX) ||
        !bitmap.loadFromData(reinterpret_cast<const uchar*>(data.data()),
                             static_cast<int>(data.size()))) {
        return nullptr;
    }
    bitmap.setDevicePixelRatio(scale);
    return std::make_shared<NSImage>(std::move(bitmap));
}

void NSImage::drawInRect(QPainter& painter, const CGRect& destination) const {
    if (drawingHandler_) {
        drawingHandler_(painter, destination);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(qtRect(destination), bitmap_, QRectF(bitmap_.rect()));
    painter.restore();
}

QIcon makeIcon(std::shared_ptr<const NSImage> image) {
    precondition(image != nullptr, "an icon needs an image");
    return QIcon(new NSImageIconEngine(std::move(image)));
}

}  // namespace platform
