#include "platform/mediaplayer/MPRemoteCommand.h"

#include <algorithm>
#include <utility>

namespace platform {

MPRemoteCommand::MPRemoteCommand(std::string name) : name_(std::move(name)) {}

bool MPRemoteCommand::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void MPRemoteCommand::setEnabled(bool enabled) {
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(enabled_, enabled) == enabled) {
            return;
        }
    }
    didChange();
}

MPRemoteCommand::Target MPRemoteCommand::addTargetWithHandler(Handler handler) {
    Target target = 0;
    {
        std::lock_guard lock(mutex_);
        target = nextTarget_++;
        targets_.emplace_back(target, std::move(handler));
    }
    didChange();
    return target;
}

void MPRemoteCommand::removeTarget(Target target) {
    {
        std::lock_guard lock(mutex_);
        const auto removed =
            std::erase_if(targets_, [target](const auto& entry) { return entry.first == target; });
        if (removed == 0) {
            return;
        }
    }
    didChange();
}

bool MPRemoteCommand::hasTargets() const {
    std::lock_guard lock(mutex_);
    return !targets_.empty();
}

MPRemoteCommandHandlerStatus MPRemoteCommand::dispatch(const MPRemoteCommandEvent& event) const {
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_) {
            return MPRemoteCommandHandlerStatus::commandFailed;
        }
        for (const auto& [target, handler] : targets_) {
            handlers.push_back(handler);
        }
    }
    auto status = MPRemoteCommandHandlerStatus::commandFailed;
    for (const auto& handler : handlers) {
        status = handler(event);
    }
    return status;
}

void MPRemoteCommand::setChangeHandler(std::function<void()> changeHandler) {
    std::lock_guard lock(mutex_);
    changeHandler_ = std::move(changeHandler);
}

void MPRemoteCommand::didChange() const {
    std::function<void()> changeHandler;
    {
        std::lock_guard lock(mutex_);
        changeHandler = changeHandler_;
    }
    if (changeHandler) {
        changeHandler();
    }
}

std::vector<double> MPSkipIntervalCommand::preferredIntervals() const {
    std::lock_guard lock(mutex_);
    return preferredIntervals_;
}

void MPSkipIntervalCommand::setPreferredIntervals(std::vector<double> intervals) {
    {
        std::lock_guard lock(mutex_);
        preferredIntervals_ = std::move(intervals);
    }
    didChange();
}

std::vector<float> MPChangePlaybackRateCommand::supportedPlaybackRates() const {
    std::lock_guard lock(mutex_);
    return supportedPlaybackRates_;
}

void MPChangePlaybackRateCommand::setSupportedPlaybackRates(std::vector<float> rates) {
    {
        std::lock_guard lock(mutex_);
        supportedPlaybackRates_ = std::move(rates);
    }
    didChange();
}

}  // namespace platform
