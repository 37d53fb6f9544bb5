#include "player-interface/style/BackingAlignment.h"

#include <cmath>

namespace quillon {

namespace {

// Rounding slack: an edge a rounding error past a pixel boundary stays on that boundary.
constexpr double slack = 1e-6;

double roundUp(double points, double ratio) {
    return std::ceil(points * ratio - slack) / ratio;
}
double roundDown(double points, double ratio) {
    return std::floor(points * ratio + slack) / ratio;
}

}  // namespace

QRectF backingAlignedRect(const QRectF& rect, double pixelRatio, bool minXOutward) {
    const double ratio = pixelRatio > 0 ? pixelRatio : 1.0;
    const double x = minXOutward ? roundDown(rect.x(), ratio) : roundUp(rect.x(), ratio);
    const double y = roundUp(rect.y(), ratio);
    return {x, y, roundUp(rect.width(), ratio), roundUp(rect.height(), ratio)};
}

}  // namespace quillon
