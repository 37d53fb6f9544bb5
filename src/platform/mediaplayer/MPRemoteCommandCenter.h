#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/ObserverToken.h"
#include "platform/mediaplayer/MPRemoteCommand.h"

namespace platform {

// The remote commands the system may send to the application (media keys, the desktop's media
// controls, headsets). Every command starts enabled and without handlers. Any thread.
class MPRemoteCommandCenter {
public:
    MPRemoteCommandCenter();
    MPRemoteCommandCenter(const MPRemoteCommandCenter&) = delete;
    MPRemoteCommandCenter& operator=(const MPRemoteCommandCenter&) = delete;

    // The process-wide centre that the desktop's media controls reach; never destroyed.
    static MPRemoteCommandCenter& sharedCommandCenter();

    MPRemoteCommand pauseCommand{"pause"};
    MPRemoteCommand playCommand{"play"};
    MPRemoteCommand stopCommand{"stop"};
    MPRemoteCommand togglePlayPauseCommand{"togglePlayPause"};
    MPRemoteCommand nextTrackCommand{"nextTrack"};
    MPRemoteCommand previousTrackCommand{"previousTrack"};
    MPRemoteCommand changeRepeatModeCommand{"changeRepeatMode"};
    MPRemoteCommand changeShuffleModeCommand{"changeShuffleMode"};
    MPChangePlaybackRateCommand changePlaybackRateCommand{"changePlaybackRate"};
    MPRemoteCommand seekBackwardCommand{"seekBackward"};
    MPRemoteCommand seekForwardCommand{"seekForward"};
    MPSkipIntervalCommand skipBackwardCommand{"skipBackward"};
    MPSkipIntervalCommand skipForwardCommand{"skipForward"};
    MPChangePlaybackPositionCommand changePlaybackPositionCommand{"changePlaybackPosition"};
    MPRemoteCommand ratingCommand{"rating"};
    MPRemoteCommand likeCommand{"like"};
    MPRemoteCommand dislikeCommand{"dislike"};
    MPRemoteCommand bookmarkCommand{"bookmark"};
    MPRemoteCommand enableLanguageOptionCommand{"enableLanguageOption"};
    MPRemoteCommand disableLanguageOptionCommand{"disableLanguageOption"};

    // The twenty commands above, in declaration order.
    std::vector<MPRemoteCommand*> allCommands();

    // `observer` runs, on the changing thread, after any command changed its enabled state,
    // handlers or options, until the token is dropped.
    ObserverToken addChangeObserver(std::function<void()> observer);

private:
    struct Observers {
        std::mutex mutex;
        std::uint64_t nextID = 1;
        std::map<std::uint64_t, std::shared_ptr<const std::function<void()>>> observers;
    };

    void commandDidChange();

    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace platform
