#pragma once

#include "platform/graphics/CGGeometry.h"

namespace platform {

// Distances inward from the four edges of a rectangle.
struct NSEdgeInsets {
    CGFloat top = 0;
    CGFloat left = 0;
    CGFloat bottom = 0;
    CGFloat right = 0;

    friend bool operator==(const NSEdgeInsets&, const NSEdgeInsets&) = default;
};

constexpr NSEdgeInsets NSEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
    return {top, left, bottom, right};
}

inline constexpr NSEdgeInsets NSEdgeInsetsZero{};

}  // namespace platform
