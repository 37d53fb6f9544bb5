#pragma once

#include <memory>

#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"

namespace quillon {

// The player's playback clock. Before macOS 11 the platform changed the audio renderer's output
// device on other threads while a rate change ran, so there a rate change with a time waits its
// turn with those changes
// (QLAirPlayAudioRenderer::executeSerializingWithAudioOutputDeviceUniqueID); elsewhere, this system
// included, it is the plain synchronizer's.
class QLSampleBufferRenderSynchronizer : public platform::AVSampleBufferRenderSynchronizer {
public:
    using platform::AVSampleBufferRenderSynchronizer::AVSampleBufferRenderSynchronizer;
    using platform::AVSampleBufferRenderSynchronizer::setRate;

    void setRate(float rate, platform::CMTime time) override;

    // The first of the renderers that is a QLAirPlayAudioRenderer, if any.
    QLAirPlayAudioRendererRef airPlayAudioRenderer() const;
};

using QLSampleBufferRenderSynchronizerRef = std::shared_ptr<QLSampleBufferRenderSynchronizer>;

}  // namespace quillon
