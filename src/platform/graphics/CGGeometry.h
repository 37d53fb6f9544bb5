#pragma once

#include <string>

namespace platform {

using CGFloat = double;

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;

    static constexpr CGPoint zero() { return {}; }
    friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;

    static constexpr CGSize zero() { return {}; }
    friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGVector {
    CGFloat dx = 0;
    CGFloat dy = 0;

    friend bool operator==(const CGVector&, const CGVector&) = default;
};

// A rectangle as an origin and a size. The size may be negative (the rectangle then extends to
// the left or below its origin); every derived value works on the standardized form. The null
// rectangle (infinite origin) stands for "no rectangle", the result of an empty intersection.
struct CGRect {
    CGPoint origin;
    CGSize size;

    static CGRect zero() { return {}; }
    static CGRect null();
    static CGRect infinite();

    CGFloat width() const;
    CGFloat height() const;
    CGFloat minX() const;
    CGFloat midX() const;
    CGFloat maxX() const;
    CGFloat minY() const;
    CGFloat midY() const;
    CGFloat maxY() const;

    bool isNull() const;
    bool isEmpty() const;
    bool isInfinite() const;

    CGRect standardized() const;
    // Smallest rectangle with integral origin and size that contains this one.
    CGRect integral() const;
    // Shrinks (positive insets) or grows (negative) each side; null when nothing is left.
    CGRect insetBy(CGFloat dx, CGFloat dy) const;
    CGRect offsetBy(CGFloat dx, CGFloat dy) const;
    CGRect unionWith(const CGRect& other) const;
    CGRect intersection(const CGRect& other) const;
    bool intersects(const CGRect& other) const;
    bool contains(const CGPoint& point) const;
    bool contains(const CGRect& other) const;

    // Equal after standardizing; two null rectangles are equal.
    friend bool operator==(const CGRect& a, const CGRect& b);
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline const CGRect CGRectZero{};
extern const CGRect CGRectNull;
extern const CGRect CGRectInfinite;

constexpr CGPoint CGPointMake(CGFloat x, CGFloat y) {
    return {x, y};
}
constexpr CGSize CGSizeMake(CGFloat width, CGFloat height) {
    return {width, height};
}
constexpr CGVector CGVectorMake(CGFloat dx, CGFloat dy) {
    return {dx, dy};
}
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    return {{x, y}, {width, height}};
}

inline CGFloat CGRectGetWidth(const CGRect& r) {
    return r.width();
}
inline CGFloat CGRectGetHeight(const CGRect& r) {
    return r.height();
}
inline CGFloat CGRectGetMinX(const CGRect& r) {
    return r.minX();
}
inline CGFloat CGRectGetMidX(const CGRect& r) {
    return r.midX();
}
inline CGFloat CGRectGetMaxX(const CGRect& r) {
    return r.maxX();
}
inline CGFloat CGRectGetMinY(const CGRect& r) {
    return r.minY();
}
inline CGFloat CGRectGetMidY(const CGRect& r) {
    return r.midY();
}
inline CGFloat CGRectGetMaxY(const CGRect& r) {
    return r.maxY();
}
inline bool CGRectIsNull(const CGRect& r) {
    return r.isNull();
}
inline bool CGRectIsEmpty(const CGRect& r) {
    return r.isEmpty();
}
inline bool CGRectIsInfinite(const CGRect& r) {
    return r.isInfinite();
}
inline CGRect CGRectStandardize(const CGRect& r) {
    return r.standardized();
}
inline CGRect CGRectIntegral(const CGRect& r) {
    return r.integral();
}
inline CGRect CGRectInset(const CGRect& r, CGFloat dx, CGFloat dy) {
    return r.insetBy(dx, dy);
}
inline CGRect CGRectOffset(const CGRect& r, CGFloat dx, CGFloat dy) {
    return r.offsetBy(dx, dy);
}
inline CGRect CGRectUnion(const CGRect& a, const CGRect& b) {
    return a.unionWith(b);
}
inline CGRect CGRectIntersection(const CGRect& a, const CGRect& b) {
    return a.intersection(b);
}
inline bool CGRectIntersectsRect(const CGRect& a, const CGRect& b) {
    return a.intersects(b);
}
inline bool CGRectContainsPoint(const CGRect& r, const CGPoint& p) {
    return r.contains(p);
}
inline bool CGRectContainsRect(const CGRect& a, const CGRect& b) {
    return a.contains(b);
}
inline bool CGRectEqualToRect(const CGRect& a, const CGRect& b) {
    return a == b;
}
inline bool CGPointEqualToPoint(const CGPoint& a, const CGPoint& b) {
    return a == b;
}
inline bool CGSizeEqualToSize(const CGSize& a, const CGSize& b) {
    return a == b;
}

std::string description(const CGPoint& point);
std::string description(const CGSize& size);
std::string description(const CGRect& rect);

}  // namespace platform
