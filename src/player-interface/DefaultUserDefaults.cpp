#include "player-interface/DefaultUserDefaults.h"

#include <cstdint>

#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/foundation/UserDefaults.h"

namespace quillon {

void registerDefaultUserDefaults(platform::UserDefaults& userDefaults) {
    userDefaults.registerDefaults({
        {QPEnterFullScreenAutomaticallyOnOpen, false},
        {QPPlayAutomaticallyOnOpen, false},
        {QPDefaultPlaybackRate, std::int64_t{1}},
        {QPJumpIntervalInSeconds, 15.0},
        {QPUseUserSpecifiedSubtitleTextStyle, false},
        {QPShowEndTimeInsteadOfRemainingTime, false},
        {QPAllowAudioSpatialization, true},
        {QPShowDebugPreferencePane, false},
    });
}

}  // namespace quillon
