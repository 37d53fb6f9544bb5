#pragma once

#include <string>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// The 2-D affine transform
//   | a  b  0 |
//   | c  d  0 |
//   | tx ty 1 |
// applied to row vectors: x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct CGAffineTransform {
    CGFloat a = 1;
    CGFloat b = 0;
    CGFloat c = 0;
    CGFloat d = 1;
    CGFloat tx = 0;
    CGFloat ty = 0;

    static constexpr CGAffineTransform identity() { return {}; }
    static CGAffineTransform makeTranslation(CGFloat tx, CGFloat ty);
    static CGAffineTransform makeScale(CGFloat sx, CGFloat sy);
    // Counter-clockwise in a y-up coordinate space, angle in radians.
    static CGAffineTransform makeRotation(CGFloat angle);

    bool isIdentity() const;
    // This transform followed by other.
    CGAffineTransform concatenating(const CGAffineTransform& other) const;
    // The inverse; a singular transform is returned unchanged.
    CGAffineTransform inverted() const;
    bool isInvertible() const;
    // A translation, scale or rotation applied before this transform.
    CGAffineTransform translatedBy(CGFloat tx, CGFloat ty) const;
    CGAffineTransform scaledBy(CGFloat sx, CGFloat sy) const;
    CGAffineTransform rotated(CGFloat angle) const;

    friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

constexpr CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d,
                                                  CGFloat tx, CGFloat ty) {
    return {a, b, c, d, tx, ty};
}
inline CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
    return CGAffineTransform::makeTranslation(tx, ty);
}
inline CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
    return CGAffineTransform::makeScale(sx, sy);
}
inline CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
    return CGAffineTransform::makeRotation(angle);
}
inline bool CGAffineTransformIsIdentity(const CGAffineTransform& t) {
    return t.isIdentity();
}
inline bool CGAffineTransformEqualToTransform(const CGAffineTransform& a,
                                              const CGAffineTransform& b) {
    return a == b;
}
inline CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1,
                                                 const CGAffineTransform& t2) {
    return t1.concatenating(t2);
}
inline CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t) {
    return t.inverted();
}
inline CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, CGFloat tx,
                                                    CGFloat ty) {
    return t.translatedBy(tx, ty);
}
inline CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, CGFloat sx,
                                                CGFloat sy) {
    return t.scaledBy(sx, sy);
}
inline CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, CGFloat angle) {
    return t.rotated(angle);
}

CGPoint CGPointApplyAffineTransform(const CGPoint& point, const CGAffineTransform& t);
// Sizes are vectors: the translation does not apply.
CGSize CGSizeApplyAffineTransform(const CGSize& size, const CGAffineTransform& t);
// The smallest rectangle that holds the four transformed corners; null stays null.
CGRect CGRectApplyAffineTransform(const CGRect& rect, const CGAffineTransform& t);

inline CGPoint applying(const CGPoint& point, const CGAffineTransform& t) {
    return CGPointApplyAffineTransform(point, t);
}
inline CGSize applying(const CGSize& size, const CGAffineTransform& t) {
    return CGSizeApplyAffineTransform(size, t);
}
inline CGRect applying(const CGRect& rect, const CGAffineTransform& t) {
    return CGRectApplyAffineTransform(rect, t);
}

std::string description(const CGAffineTransform& t);

}  // namespace platform
