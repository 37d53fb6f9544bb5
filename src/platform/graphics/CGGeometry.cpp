#include "platform/graphics/CGGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace platform {

namespace {

constexpr CGFloat infinity = std::numeric_limits<CGFloat>::infinity();
// The infinite rectangle is as large as can be represented, centred on the origin.
constexpr CGFloat halfMaximum = std::numeric_limits<CGFloat>::max() / 2;

}  // namespace

const CGRect CGRectNull{{infinity, infinity}, {0, 0}};
const CGRect CGRectInfinite{
    {-halfMaximum, -halfMaximum},
    {std::numeric_limits<CGFloat>::max(), std::numeric_limits<CGFloat>::max()}};

CGRect CGRect::null() {
    return CGRectNull;
}
CGRect CGRect::infinite() {
    return CGRectInfinite;
}

CGFloat CGRect::width() const {
    return isNull() ? 0 : std::fabs(size.width);
}
CGFloat CGRect::height() const {
    return isNull() ? 0 : std::fabs(size.height);
}

CGFloat CGRect::minX() const {
    return isNull() ? infinity : std::min(origin.x, origin.x + size.width);
}
CGFloat CGRect::maxX() const {
    return isNull() ? infinity : std::max(origin.x, origin.x + size.width);
}
CGFloat CGRect::midX() const {
    return isNull() ? infinity : origin.x + size.width / 2;
}
CGFloat CGRect::minY() const {
    return isNull() ? infinity : std::min(origin.y, origin.y + size.height);
}
CGFloat CGRect::maxY() const {
    return isNull() ? infinity : std::max(origin.y, origin.y + size.height);
}
CGFloat CGRect::midY() const {
    return isNull() ? infinity : origin.y + size.height / 2;
}

bool CGRect::isNull() const {
    return std::isinf(origin.x) || std::isinf(origin.y);
}

bool CGRect::isEmpty() const {
    return isNull() || size.width == 0 || size.height == 0;
}

bool CGRect::isInfinite() const {
    return *this == CGRectInfinite;
}

CGRect CGRect::standardized() const {
    if (isNull()) {
        return CGRectNull;
    }
    return {{minX(), minY()}, {width(), height()}};
}

CGRect CGRect::integral() const {
    if (isNull()) {
        return CGRectNull;
    }
    const CGRect r = standardized();
    const CGFloat x = std::floor(r.origin.x);
    const CGFloat y = std::floor(r.origin.y);
    return {{x, y}, {std::ceil(r.maxX()) - x, std::ceil(r.maxY()) - y}};
}

CGRect CGRect::insetBy(CGFloat dx, CGFloat dy) const {
    if (isNull()) {
        return CGRectNull;
    }
    const CGRect r = standardized();
    const CGRect inset{{r.origin.x + dx, r.origin.y + dy},
                       {r.size.width - 2 * dx, r.size.height - 2 * dy}};
    if (inset.size.width < 0 || inset.size.height < 0) {
        return CGRectNull;
    }
    return inset;
}

CGRect CGRect::offsetBy(CGFloat dx, CGFloat dy) const {
    if (isNull()) {
        return CGRectNull;
    }
    const CGRect r = standardized();
    return {{r.origin.x + dx, r.origin.y + dy}, r.size};
}

CGRect CGRect::unionWith(const CGRect& other) const {
    if (isNull()) {
        return other.standardized();
    }
    if (other.isNull()) {
        return standardized();
    }
    const CGFloat x = std::min(minX(), other.minX());
    const CGFloat y = std::min(minY(), other.minY());
    return {{x, y}, {std::max(maxX(), other.maxX()) - x, std::max(maxY(), other.maxY()) - y}};
}

CGRect CGRect::intersection(const CGRect& other) const {
    if (isNull() || other.isNull()) {
        return CGRectNull;
    }
    const CGFloat x = std::max(minX(), other.minX());
    const CGFloat y = std::max(minY(), other.minY());
    const CGFloat right = std::min(maxX(), other.maxX());
    const CGFloat top = std::min(maxY(), other.maxY());
    if (right < x || top < y) {
        return CGRectNull;
    }
    return {{x, y}, {right - x, top - y}};
}

bool CGRect::intersects(const CGRect& other) const {
    const CGRect common = intersection(other);
    return !common.isNull() && !common.isEmpty();
}

bool CGRect::contains(const CGPoint& point) const {
    if (isNull()) {
        return false;
    }
    return point.x >= minX() && point.x < maxX() && point.y >= minY() && point.y < maxY();
}

bool CGRect::contains(const CGRect& other) const {
    if (isNull() || other.isNull()) {
        return false;
    }
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
}

bool operator==(const CGRect& a, const CGRect& b) {
    if (a.isNull() || b.isNull()) {
        return a.isNull() && b.isNull();
    }
    const CGRect left = a.standardized();
    const CGRect right = b.standardized();
    return left.origin == right.origin && left.size == right.size;
}

std::string description(const CGPoint& point) {
    return fmt::format("({}, {})", point.x, point.y);
}

std::string description(const CGSize& size) {
    return fmt::format("({}, {})", size.width, size.height);
}

std::string description(const CGRect& rect) {
    if (rect.isNull()) {
        return "null";
    }
    return fmt::format("({}, {}, {}, {})", rect.origin.x, rect.origin.y, rect.size.width,
                       rect.size.height);
}

}  // namespace platform
