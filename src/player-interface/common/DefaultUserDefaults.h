#pragma once

#include <cstdint>

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

// The registered values of the two numbers.
inline constexpr std::int64_t kRegisteredDefaultPlaybackRate = 1;
inline constexpr double kRegisteredJumpIntervalInSeconds = 15.0;

// Registers the values every preference has until the user changes it (the one registration
// of the application, made at launch), then drops stored numbers that can't be used (see
// below), so that a bad value in the file is met once and not at every launch.
void registerDefaultUserDefaults(platform::UserDefaults& userDefaults);

// The numbers as the player can use them. A stored value that is no number (text, a truth
// value), not finite, or out of range (a rate beyond the playback-rate slider's stops, a jump
// interval that is not positive) is removed, so that the registered value answers again, and
// the log names the key once. The jump interval is not clamped here.
float defaultPlaybackRate(platform::UserDefaults& userDefaults);
double jumpIntervalInSeconds(platform::UserDefaults& userDefaults);

}  // namespace quillon
