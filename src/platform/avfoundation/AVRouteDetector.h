#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/audio-output/AudioRouteService.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

// Posted on the default notification centre, with the detector (as a pointer to
// AVRouteDetector) as object, when multipleRoutesDetected changed. Posted from any thread.
inline const std::string AVRouteDetectorMultipleRoutesDetectedDidChangeNotification =
    "AVRouteDetectorMultipleRoutesDetectedDidChangeNotification";

// Tells whether the sound could play somewhere else than where it plays now: true while route
// detection is enabled and the sound server offers more than one output device. Every member
// is safe from any thread.
class AVRouteDetector {
public:
    // Watches the user's sound server.
    AVRouteDetector();
    explicit AVRouteDetector(AudioRouteServiceRef routes);
    ~AVRouteDetector();
    AVRouteDetector(const AVRouteDetector&) = delete;
    AVRouteDetector& operator=(const AVRouteDetector&) = delete;

    // Off at creation: watching the server has a cost, so callers turn it on.
    bool isRouteDetectionEnabled() const;
    void setRouteDetectionEnabled(bool enabled);

    bool multipleRoutesDetected() const;

    const AudioRouteServiceRef& routeService() const { return routes_; }

private:
    void update();

    const AudioRouteServiceRef routes_;
    mutable std::mutex mutex_;
    bool routeDetectionEnabled_ = false;
    bool multipleRoutesDetected_ = false;
    // Dropped outside mutex_: removing an observer waits for its calls in flight.
    ObserverToken routesObservation_;
    std::mutex observationMutex_;
};

}  // namespace platform
