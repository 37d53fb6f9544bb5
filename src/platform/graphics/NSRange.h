#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace platform {

using NSUInteger = std::size_t;

inline constexpr NSUInteger NSNotFound = std::numeric_limits<NSUInteger>::max() / 2;

// A range of a string in UTF-16 code units.
struct NSRange {
    NSUInteger location = 0;
    NSUInteger length = 0;

    friend bool operator==(const NSRange&, const NSRange&) = default;
};

constexpr NSRange NSMakeRange(NSUInteger location, NSUInteger length) {
    return {location, length};
}
constexpr NSUInteger NSMaxRange(NSRange range) {
    return range.location + range.length;
}
constexpr bool NSLocationInRange(NSUInteger location, NSRange range) {
    return location >= range.location && location - range.location < range.length;
}
// The overlap; an empty range at location 0 when there is none.
constexpr NSRange NSIntersectionRange(NSRange a, NSRange b) {
    const NSUInteger start = a.location > b.location ? a.location : b.location;
    const NSUInteger endA = NSMaxRange(a);
    const NSUInteger endB = NSMaxRange(b);
    const NSUInteger end = endA < endB ? endA : endB;
    return end > start ? NSRange{start, end - start} : NSRange{0, 0};
}
constexpr NSRange NSUnionRange(NSRange a, NSRange b) {
    const NSUInteger start = a.location < b.location ? a.location : b.location;
    const NSUInteger endA = NSMaxRange(a);
    const NSUInteger endB = NSMaxRange(b);
    return {start, (endA > endB ? endA : endB) - start};
}

// "{2, 5}".
std::string NSStringFromRange(NSRange range);

}  // namespace platform
