#include "platform/graphics/CGAffineTransform.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace platform {

namespace {

// Quarter turns give exact zeros and ones rather than 6e-17, so that a rotated video frame keeps
// integral sizes.
CGFloat exactSin(CGFloat angle) {
    const CGFloat s = std::sin(angle);
    return std::fabs(s) < 1e-15 ? 0
                                : (std::fabs(std::fabs(s) - 1) < 1e-15 ? std::copysign(1, s) : s);
}

CGFloat exactCos(CGFloat angle) {
    const CGFloat c = std::cos(angle);
    return std::fabs(c) < 1e-15 ? 0
                                : (std::fabs(std::fabs(c) - 1) < 1e-15 ? std::copysign(1, c) : c);
}

}  // namespace

CGAffineTransform CGAffineTransform::makeTranslation(CGFloat tx, CGFloat ty) {
    return {1, 0, 0, 1, tx, ty};
}

CGAffineTransform CGAffineTransform::makeScale(CGFloat sx, CGFloat sy) {
    return {sx, 0, 0, sy, 0, 0};
}

CGAffineTransform CGAffineTransform::makeRotation(CGFloat angle) {
    const CGFloat s = exactSin(angle);
    const CGFloat c = exactCos(angle);
    return {c, s, -s, c, 0, 0};
}

bool CGAffineTransform::isIdentity() const {
    return *this == CGAffineTransform{};
}

CGAffineTransform CGAffineTransform::concatenating(const CGAffineTransform& t2) const {
    const CGAffineTransform& t1 = *this;
    return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
            t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
            t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

bool CGAffineTransform::isInvertible() const {
    const CGFloat determinant = a * d - b * c;
    return determinant != 0 && std::isfinite(determinant);
}

CGAffineTransform CGAffineTransform::inverted() const {
    if (!isInvertible()) {
        return *this;
    }
    const CGFloat determinant = a * d - b * c;
    return {d / determinant,
            -b / determinant,
            -c / determinant,
            a / determinant,
            (c * ty - d * tx) / determinant,
            (b * tx - a * ty) / determinant};
}

CGAffineTransform CGAffineTransform::translatedBy(CGFloat x, CGFloat y) const {
    return makeTranslation(x, y).concatenating(*this);
}

CGAffineTransform CGAffineTransform::scaledBy(CGFloat sx, CGFloat sy) const {
    return makeScale(sx, sy).concatenating(*this);
}

CGAffineTransform CGAffineTransform::rotated(CGFloat angle) const {
    return makeRotation(angle).concatenating(*this);
}

CGPoint CGPointApplyAffineTransform(const CGPoint& p, const CGAffineTransform& t) {
    return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

CGSize CGSizeApplyAffineTransform(const CGSize& s, const CGAffineTransform& t) {
    return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}

CGRect CGRectApplyAffineTransform(const CGRect& rect, const CGAffineTransform& t) {
    if (rect.isNull()) {
        return CGRectNull;
    }
    const CGRect r = rect.standardized();
    const CGPoint corners[] = {
        CGPointApplyAffineTransform({r.minX(), r.minY()}, t),
        CGPointApplyAffineTransform({r.maxX(), r.minY()}, t),
        CGPointApplyAffineTransform({r.minX(), r.maxY()}, t),
        CGPointApplyAffineTransform({r.maxX(), r.maxY()}, t),
    };
    CGFloat minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const CGPoint& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return {{minX, minY}, {maxX - minX, maxY - minY}};
}

std::string description(const CGAffineTransform& t) {
    return fmt::format("CGAffineTransform(a: {}, b: {}, c: {}, d: {}, tx: {}, ty: {})", t.a, t.b,
                       t.c, t.d, t.tx, t.ty);
}

}  // namespace platform
