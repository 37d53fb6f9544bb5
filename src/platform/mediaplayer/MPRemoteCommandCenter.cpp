#include "platform/mediaplayer/MPRemoteCommandCenter.h"

#include <utility>

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

MPRemoteCommandCenter::MPRemoteCommandCenter() {
    for (MPRemoteCommand* command : allCommands()) {
        command->setChangeHandler([this] { commandDidChange(); });
    }
}

MPRemoteCommandCenter& MPRemoteCommandCenter::sharedCommandCenter() {
    static NeverDestroyed<MPRemoteCommandCenter> center;
    return center.get();
}

std::vector<MPRemoteCommand*> MPRemoteCommandCenter::allCommands() {
    return {&pauseCommand,
            &playCommand,
            &stopCommand,
            &togglePlayPauseCommand,
            &nextTrackCommand,
            &previousTrackCommand,
            &changeRepeatModeCommand,
            &changeShuffleModeCommand,
            &changePlaybackRateCommand,
            &seekBackwardCommand,
            &seekForwardCommand,
            &skipBackwardCommand,
            &skipForwardCommand,
            &changePlaybackPositionCommand,
            &ratingCommand,
            &likeCommand,
            &dislikeCommand,
            &bookmarkCommand,
            &enableLanguageOptionCommand,
            &disableLanguageOptionCommand};
}

ObserverToken MPRemoteCommandCenter::addChangeObserver(std::function<void()> observer) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(observers_->mutex);
        id = observers_->nextID++;
        observers_->observers.emplace(
            id, std::make_shared<const std::function<void()>>(std::move(observer)));
    }
    return ObserverToken([weakObservers = std::weak_ptr<Observers>(observers_), id] {
        if (const auto observers = weakObservers.lock()) {
            std::lock_guard lock(observers->mutex);
            observers->observers.erase(id);
        }
    });
}

void MPRemoteCommandCenter::commandDidChange() {
    std::vector<std::shared_ptr<const std::function<void()>>> observers;
    {
        std::lock_guard lock(observers_->mutex);
        for (const auto& [id, observer] : observers_->observers) {
            observers.push_back(observer);
        }
    }
    for (const auto& observer : observers) {
        (*observer)();
    }
}

}  // namespace platform
