#pragma once

#include <memory>

#include "player-interface/common/PlaybackRates.h"
#include "player-interface/widgets/DiscreteSlider.h"

namespace quillon {

using PlaybackRateSlider = DiscreteSlider<float>;

// The playback-rate slider of the Controls menu, the General preferences and the player: stops
// at 0.5×, 0.75×, 1×, 1.25×, 1.5×, 1.75× and 2×, titled at 0.5×, 1× and 2×, ticks and titles
// above, 1× selected. Callers set the action and select the stop nearest the rate they show.
std::unique_ptr<PlaybackRateSlider> makePlaybackRateSlider(QWidget* parent = nullptr);

}  // namespace quillon
