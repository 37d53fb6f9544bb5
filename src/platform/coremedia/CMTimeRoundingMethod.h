#pragma once

#include <cstdint>

namespace platform {

// How a time value is rounded when it has to move to a coarser (or just different) timescale.
// The "fraction" below is the part of value × newTimescale / oldTimescale that the integer
// value cannot hold.
enum CMTimeRoundingMethod : uint32_t {
    // Toward zero below one half, away from zero from one half up.
    kCMTimeRoundingMethod_RoundHalfAwayFromZero = 1,
    kCMTimeRoundingMethod_RoundTowardZero = 2,
    kCMTimeRoundingMethod_RoundAwayFromZero = 3,
    // Toward zero when converting to a smaller timescale (losing precision), away from zero when
    // converting to a larger one; a negative time is never rounded up to zero but to
    // -1/newTimescale, so that a time before the origin stays before it.
    kCMTimeRoundingMethod_QuickTime = 4,
    kCMTimeRoundingMethod_RoundTowardPositiveInfinity = 5,
    kCMTimeRoundingMethod_RoundTowardNegativeInfinity = 6,

    kCMTimeRoundingMethod_Default = kCMTimeRoundingMethod_RoundHalfAwayFromZero,
};

}  // namespace platform
