#include "support/FakeAudioRouteService.h"

#include <algorithm>

namespace platform {

FakeAudioRouteService::FakeAudioRouteService(std::vector<AVAudioRoute> routes,
                                             std::optional<std::string> defaultID)
    : routes_(std::move(routes)), defaultRouteID_(std::move(defaultID)) {}

std::vector<AVAudioRoute> FakeAudioRouteService::routes() const {
    std::lock_guard lock(mutex_);
    return routes_;
}

std::optional<std::string> FakeAudioRouteService::defaultRouteID() const {
    std::lock_guard lock(mutex_);
    return defaultRouteID_;
}

void FakeAudioRouteService::setRoutes(std::vector<AVAudioRoute> routes,
                                      std::optional<std::string> defaultID) {
    {
        std::lock_guard lock(mutex_);
        routes_ = std::move(routes);
        defaultRouteID_ = std::move(defaultID);
        ++changeCount_;
    }
    postRoutesDidChange();
}

void FakeAudioRouteService::addRoute(AVAudioRoute route) {
    {
        std::lock_guard lock(mutex_);
        routes_.push_back(std::move(route));
        ++changeCount_;
    }
    postRoutesDidChange();
}

void FakeAudioRouteService::removeRoute(const std::string& deviceUniqueID) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(routes_, [&](const AVAudioRoute& route) {
            return route.deviceUniqueID == deviceUniqueID;
        });
        if (defaultRouteID_ == deviceUniqueID) {
            defaultRouteID_.reset();
        }
        ++changeCount_;
    }
    postRoutesDidChange();
}

void FakeAudioRouteService::setDefaultRouteID(std::optional<std::string> defaultID) {
    {
        std::lock_guard lock(mutex_);
        defaultRouteID_ = std::move(defaultID);
        ++changeCount_;
    }
    postRoutesDidChange();
}

int FakeAudioRouteService::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}

}  // namespace platform
