#pragma once

#include <string>

#include "SyncAnalysis.h"

namespace quillon::bench {

// The interface a sound server is played or recorded through.
enum class SoundInterface { pulseAudio, pipeWire };

struct ClipPlaybackOptions {
    std::string clipPath;
    double rate = 1;
    // How much of the clip to play; the whole clip when 0 or longer than it.
    double mediaSeconds = 0;
    // The server's sink the sound plays to; what it plays is recorded from its monitor.
    std::string sinkName;
    // How the player plays to it (PulseAudio's interface is PipeWire's PulseAudio server on a
    // PipeWire server), and how its monitor is recorded.
    SoundInterface player = SoundInterface::pulseAudio;
    SoundInterface recorder = SoundInterface::pulseAudio;
};

// Plays the clip from its start through the player's render pipeline at one rate: the player's
// synchronizer, display layer (into a FrameCodeSink) and audio renderer (to the given sink of
// the sound server), fed by the player's decoders. Records what the sink played and what the layer
// showed. Throws std::runtime_error when something needed cannot be set up.
PlaybackRecord playClip(const ClipPlaybackOptions& options);

}  // namespace quillon::bench
