#pragma once

#include <string>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// A colour as sRGB components and an alpha, each usually in 0...1 (extended values outside that
// range are kept as given). A plain value: two colours are equal when their components are.
class NSColor {
public:
    constexpr NSColor() = default;

    static constexpr NSColor colorWithSRGBRed(CGFloat red, CGFloat green, CGFloat blue,
                                              CGFloat alpha) {
        return NSColor(red, green, blue, alpha);
    }
    static constexpr NSColor colorWithWhite(CGFloat white, CGFloat alpha) {
        return NSColor(white, white, white, alpha);
    }
    static constexpr NSColor blackColor() { return NSColor(0, 0, 0, 1); }
    static constexpr NSColor whiteColor() { return NSColor(1, 1, 1, 1); }
    // Black with alpha 0.
    static constexpr NSColor clearColor() { return NSColor(0, 0, 0, 0); }

    constexpr CGFloat redComponent() const { return red_; }
    constexpr CGFloat greenComponent() const { return green_; }
    constexpr CGFloat blueComponent() const { return blue_; }
    constexpr CGFloat alphaComponent() const { return alpha_; }

    // The same colour with another alpha.
    constexpr NSColor colorWithAlphaComponent(CGFloat alpha) const {
        return NSColor(red_, green_, blue_, alpha);
    }

    // "sRGB 1 0.5 0 1".
    std::string description() const;

    friend constexpr bool operator==(const NSColor&, const NSColor&) = default;

private:
    constexpr NSColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
        : red_(red), green_(green), blue_(blue), alpha_(alpha) {}

    CGFloat red_ = 0;
    CGFloat green_ = 0;
    CGFloat blue_ = 0;
    CGFloat alpha_ = 1;
};

}  // namespace platform
