#include "platform/avfoundation/AVRouteDetector.h"

#include "platform/foundation/NotificationCenter.h"

namespace platform {

AVRouteDetector::AVRouteDetector() : AVRouteDetector(AudioRouteService::shared()) {}

AVRouteDetector::AVRouteDetector(AudioRouteServiceRef routes) : routes_(std::move(routes)) {}

AVRouteDetector::~AVRouteDetector() {
    std::lock_guard observationLock(observationMutex_);
    routesObservation_.remove();
}

bool AVRouteDetector::isRouteDetectionEnabled() const {
    std::lock_guard lock(mutex_);
    return routeDetectionEnabled_;
}

void AVRouteDetector::setRouteDetectionEnabled(bool enabled) {
    std::lock_guard observationLock(observationMutex_);
    {
        std::lock_guard lock(mutex_);
        if (enabled == routeDetectionEnabled_) {
            return;
        }
        routeDetectionEnabled_ = enabled;
    }
    if (enabled) {
        // The detector outlives its observation: the destructor ends it first.
        routesObservation_ = NotificationCenter::defaultCenter().addObserver(
            AudioRouteServiceRoutesDidChangeNotification,
            static_cast<const AudioRouteService*>(routes_.get()),
            [this](const Notification&) { update(); });
    } else {
        routesObservation_.remove();
    }
    update();
}

bool AVRouteDetector::multipleRoutesDetected() const {
    std::lock_guard lock(mutex_);
    return multipleRoutesDetected_;
}

void AVRouteDetector::update() {
    {
        std::lock_guard lock(mutex_);
        // Read under the lock, so that two updates racing each other store the newer answer.
        const bool detected = routeDetectionEnabled_ && routes_->routes().size() > 1;
        if (detected == multipleRoutesDetected_) {
            return;
        }
        multipleRoutesDetected_ = detected;
    }
    NotificationCenter::defaultCenter().post(
        AVRouteDetectorMultipleRoutesDetectedDidChangeNotification, this);
}

}  // namespace platform
