#pragma once

namespace quillon {

// The slowest and the fastest stop: a rate read back from a file must lie between them.
inline constexpr float kSlowestPlaybackRate = 0.5f;
inline constexpr float kFastestPlaybackRate = 2.0f;

// Whether `rate` is a number from the slowest stop to the fastest (NaN is not).
constexpr bool isPlaybackRateWithinStops(double rate) {
    return rate >= kSlowestPlaybackRate && rate <= kFastestPlaybackRate;
}

}  // namespace quillon
