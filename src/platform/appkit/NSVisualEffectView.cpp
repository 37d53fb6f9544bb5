#include "platform/appkit/NSVisualEffectView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace platform {

NSVisualEffectView::NSVisualEffectView(QWidget* parent) : QWidget(parent) {
    // Rounded corners need what lies outside them to show through.
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSVisualEffectView::setMaterial(NSVisualEffectMaterial material) {
    material_ = material;
    update();
}

void NSVisualEffectView::setBlendingMode(NSVisualEffectBlendingMode mode) {
    blendingMode_ = mode;
    update();
}

void NSVisualEffectView::setState(NSVisualEffectState state) {
    state_ = state;
    update();
}

void NSVisualEffectView::setCornerRadius(CGFloat radius) {
    cornerRadius_ = radius;
    update();
}

QColor NSVisualEffectView::tintColor() const {
    if (material_ == NSVisualEffectMaterial::hudWindow) {
        return QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.82f);
    }
    return palette().color(QPalette::Window);
}

void NSVisualEffectView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const qreal radius =
        std::clamp<qreal>(cornerRadius_, 0.0, std::min(bounds.width(), bounds.height()) / 2);
    QPainterPath outline;
    outline.addRoundedRect(bounds, radius, radius);
    painter.fillPath(outline, tintColor());
}

}  // namespace platform
