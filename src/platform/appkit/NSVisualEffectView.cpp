#include "platform/appkit/NSVisualEffectView.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "platform/appkit/NSAppearance.h"

namespace platform {

NSVisualEffectView::NSVisualEffectView(QWidget* parent) : QWidget(parent) {
    // Rounded corners need what lies outside them to show through.
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSVisualEffectView::setMaterial(NSVisualEffectMaterial material) {
    material_ = material;
    updateAppearance();
    update();
}

void NSVisualEffectView::updateAppearance() {
    const bool dark = material_ == NSVisualEffectMaterial::hudWindow;
    if (dark) {
        hasDarkAppearance_ = true;
        setPalette(darkAppearancePalette(QApplication::palette()));
    } else if (hasDarkAppearance_) {
        hasDarkAppearance_ = false;
        setPalette(QPalette());
    }
}

void NSVisualEffectView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The desktop's accent colour may have changed; the dark ground stays.
    if (event->type() == QEvent::ApplicationPaletteChange && hasDarkAppearance_) {
        updateAppearance();
    }
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
        // Dense enough that light controls keep their contrast over a bright picture.
        return QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.9f);
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
