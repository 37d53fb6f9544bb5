#pragma once

#include <string>

#include "SyncAnalysis.h"

namespace quillon::bench {

struct ClipPlaybackOptions {
    std::string clipPath;
    double rate = 1;
    // How much of the clip to play; the whole clip when 0 or longer than it.
    double mediaSeconds = 0;
    // The server's sink the sound plays to; what it plays is recorded from its monitor.
    std::string sinkName;
};

// Plays the clip from its start through the player's render pipeline at one rate: the player's
// synchronizer, display layer (into a FrameCodeSink) and audio renderer (to PulseAudio on the
// given sink), fed by the player's decoders. Records what the sink played and what the layer
// showed. Throws std::runtime_error when something needed cannot be set up.
PlaybackRecord playClip(const ClipPlaybackOptions& options);

}  // namespace quillon::bench
