#include "media-player/renderers/QLSampleBufferRenderSynchronizer.h"

#include "platform/foundation/ProcessInfo.h"

namespace quillon {

void QLSampleBufferRenderSynchronizer::setRate(float rate, platform::CMTime time) {
    if (!platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0)) {
        platform::AVSampleBufferRenderSynchronizer::setRate(rate, time);
        return;
    }
    const auto renderer = airPlayAudioRenderer();
    if (!renderer) {
        platform::AVSampleBufferRenderSynchronizer::setRate(rate, time);
        return;
    }
    renderer->executeSerializingWithAudioOutputDeviceUniqueID(
        [&] { platform::AVSampleBufferRenderSynchronizer::setRate(rate, time); });
}

QLAirPlayAudioRendererRef QLSampleBufferRenderSynchronizer::airPlayAudioRenderer() const {
    for (const auto& renderer : renderers()) {
        if (auto airPlay = std::dynamic_pointer_cast<QLAirPlayAudioRenderer>(renderer)) {
            return airPlay;
        }
    }
    return nullptr;
}

}  // namespace quillon
