#include "platform/appkit/NSImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace platform {

CGFloat NSImageSymbolConfiguration::symbolSide() const {
    switch (scale) {
        case Scale::small:
            return pointSize;
        case Scale::medium:
            return pointSize * 1.25;
        case Scale::large:
            return pointSize * 1.5;
    }
    return pointSize;
}

NSImageView::NSImageView(QWidget* parent) : QWidget(parent) {}

void NSImageView::setImage(std::shared_ptr<NSImage> image) {
    image_ = std::move(image);
    updateGeometry();
    update();
}

void NSImageView::setSymbolConfiguration(std::optional<NSImageSymbolConfiguration> configuration) {
    symbolConfiguration_ = configuration;
    updateGeometry();
    update();
}

CGSize NSImageView::intrinsicContentSize() const {
    if (!image_) {
        return {0, 0};
    }
    if (symbolConfiguration_) {
        const CGFloat side = symbolConfiguration_->symbolSide();
        return {side, side};
    }
    return image_->size();
}

CGRect NSImageView::imageRect() const {
    const CGSize size = intrinsicContentSize();
    if (size.width <= 0 || size.height <= 0) {
        return CGRectMake(0, 0, 0, 0);
    }
    const CGFloat scale = std::min({1.0, width() / size.width, height() / size.height});
    const CGFloat w = size.width * scale;
    const CGFloat h = size.height * scale;
    return CGRectMake((width() - w) / 2, (height() - h) / 2, w, h);
}

QSize NSImageView::sizeHint() const {
    const CGSize size = intrinsicContentSize();
    return {static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height))};
}

QSize NSImageView::minimumSizeHint() const {
    return sizeHint();
}

void NSImageView::paintEvent(QPaintEvent*) {
    if (!image_) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    image_->drawInRect(painter, imageRect());
}

void NSImageView::mousePressEvent(QMouseEvent* event) {
    if (mouseDownCanMoveWindow() && event->button() == Qt::LeftButton) {
        if (QWindow* handle = window()->windowHandle()) {
            // The window system moves the window while the button stays down.
            if (handle->startSystemMove()) {
                event->accept();
                return;
            }
        }
    }
    QWidget::mousePressEvent(event);
}

}  // namespace platform
