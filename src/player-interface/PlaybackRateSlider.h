#pragma once

#include <memory>

#include "player-interface/DiscreteSlider.h"

namespace quillon {

using PlaybackRateSlider = DiscreteSlider<float>;

// The slowest and the fastest stop: a rate read back from a file must lie between them.
inline constexpr float kSlowestPlaybackRate = 0.5f;
inline constexpr float kFastestPlaybackRate = 2.0f;

// Whether `rate` is a number from the slowest stop to the fastest (NaN is not).
constexpr bool isPlaybackRateWithinStops(double rate) {
    return rate >= kSlowestPlaybackRate && rate <= kFastestPlaybackRate;
}

// The playback-rate slider of the Controls menu, the General preferences and the player: stops
// at 0.5×, 0.75×, 1×, 1.25×, 1.5×, 1.75× and 2×, titled at 0.5×, 1× and 2×, ticks and titles
// above, 1× selected. Callers set the action and select the stop nearest the rate they show.
std::unique_ptr<PlaybackRateSlider> makePlaybackRateSlider(QWidget* parent = nullptr);

}  // namespace quillon
