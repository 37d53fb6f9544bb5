#pragma once

#include <QRectF>

namespace quillon {

// Snaps a rect to whole device pixels: the top and left edges move inwards (or the left edge
// outwards when asked), the width and height grow to whole pixels, so a thin shape never
// blurs across two pixel rows.
QRectF backingAlignedRect(const QRectF& rect, double pixelRatio, bool minXOutward = false);

}  // namespace quillon
