#include "platform/audio-output/AudioRouteService.h"

#include <mutex>

#include "platform/audio-output/PulseAudioRouteService.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

// What is left when no sound server answers: nothing to route to, so no route to pick.
class UnavailableAudioRouteService final : public AudioRouteService {
public:
    std::vector<AVAudioRoute> routes() const override { return {}; }
    std::optional<std::string> defaultRouteID() const override { return std::nullopt; }
};

}  // namespace

std::shared_ptr<AudioRouteService> AudioRouteService::shared() {
    static std::once_flag once;
    static std::shared_ptr<AudioRouteService> service;
    std::call_once(once, [] {
        std::string failure;
        if (auto pulse = PulseAudioRouteService::connect(&failure)) {
            service = std::move(pulse);
            return;
        }
        logWarning("No output devices can be offered, as the sound server did not answer: {}.",
                   failure);
        service = std::make_shared<UnavailableAudioRouteService>();
    });
    return service;
}

void AudioRouteService::postRoutesDidChange() {
    NotificationCenter::defaultCenter().post(AudioRouteServiceRoutesDidChangeNotification,
                                             static_cast<const AudioRouteService*>(this));
}

}  // namespace platform
