#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"

class QPaintDevice;
class QPainter;

namespace calyxware {

QColor toQColor(const platform::NSColor& color);
platform::NSColor toNSColor(const QColor& color);

// The Qt font for a font of the attributed-string model, resolved for the layout device so that
// one point of the model is one unit of the layout (see layoutPaintDevice).
QFont toQFont(const platform::NSFont& font);

// The device the text system measures on: 72 dots per inch, so a 12-point font is 12 units tall
// in layout coordinates whatever the screen's resolution. Main thread only.
const QPaintDevice& layoutPaintDevice();

// The device pixel ratio the painter really draws at. A widget rendered into an image paints
// through a redirection: the painter's device is the widget, its engine's device the image.
qreal effectiveDevicePixelRatio(const QPainter& painter);

inline QRectF toQRectF(const platform::CGRect& rect) {
    const platform::CGRect r = rect.standardized();
    return {r.origin.x, r.origin.y, r.size.width, r.size.height};
}
inline platform::CGRect toCGRect(const QRectF& rect) {
    return platform::CGRectMake(rect.x(), rect.y(), rect.width(), rect.height());
}
inline QPointF toQPointF(const platform::CGPoint& point) {
    return {point.x, point.y};
}
inline QSizeF toQSizeF(const platform::CGSize& size) {
    return {size.width, size.height};
}

}  // namespace calyxware
