#pragma once

namespace platform {
class UserDefaults;
}

namespace quillon {

// The user's preferences of the player interface. QPAllowAudioSpatialization and
// QPUseUserSpecifiedSubtitleTextStyle are declared with the engine parts that read them.
inline constexpr const char* QPEnterFullScreenAutomaticallyOnOpen =
    "QPEnterFullScreenAutomaticallyOnOpen";
inline constexpr const char* QPPlayAutomaticallyOnOpen = "QPPlayAutomaticallyOnOpen";
// Registered as an integer; read and written as a float.
inline constexpr const char* QPDefaultPlaybackRate = "QPDefaultPlaybackRate";
// Seconds, used clamped to 1...300.
inline constexpr const char* QPJumpIntervalInSeconds = "QPJumpIntervalInSeconds";
inline constexpr const char* QPShowEndTimeInsteadOfRemainingTime =
    "QPShowEndTimeInsteadOfRemainingTime";
inline constexpr const char* QPShowDebugPreferencePane = "QPShowDebugPreferencePane";

// The shortest and the longest jump.
inline constexpr double kMinimumJumpIntervalInSeconds = 1.0;
inline constexpr double kMaximumJumpIntervalInSeconds = 300.0;

// Registers the values every preference has until the user changes it (the one registration
// of the application, made at launch).
void registerDefaultUserDefaults(platform::UserDefaults& userDefaults);

}  // namespace quillon
