#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/AudioRouteService.h"

namespace platform {

// A sound server's devices as a test sets them: each change is posted on the calling thread,
// which stands in for the server's. Safe from any thread.
class FakeAudioRouteService final : public AudioRouteService {
public:
    FakeAudioRouteService() = default;
    FakeAudioRouteService(std::vector<AVAudioRoute> routes, std::optional<std::string> defaultID);

    std::vector<AVAudioRoute> routes() const override;
    std::optional<std::string> defaultRouteID() const override;

    void setRoutes(std::vector<AVAudioRoute> routes, std::optional<std::string> defaultID);
    // A device appears at the end of the list, or goes away (the default with it, when it was).
    void addRoute(AVAudioRoute route);
    void removeRoute(const std::string& deviceUniqueID);
    void setDefaultRouteID(std::optional<std::string> defaultID);

    // How many changes were posted.
    int changeCount() const;

private:
    mutable std::mutex mutex_;
    std::vector<AVAudioRoute> routes_;
    std::optional<std::string> defaultRouteID_;
    int changeCount_ = 0;
};

}  // namespace platform
