#include "player-interface/common/DefaultUserDefaults.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <fmt/format.h>

#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/PlaybackRates.h"

namespace quillon {

namespace {

using Value = platform::UserDefaults::Value;

// Only numbers count: text that reads as one would have been read back as a number already.
std::optional<double> finiteNumber(const Value& value) {
    std::optional<double> number;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        number = static_cast<double>(*integer);
    } else if (const auto* floating = std::get_if<double>(&value)) {
        number = *floating;
    }
    if (number && !std::isfinite(*number)) {
        return std::nullopt;
    }
    return number;
}

std::string describe(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return fmt::format("\"{}\"", v);
            } else {
                return fmt::format("{}", v);
            }
        },
        value);
}

// The stored number under `key` when `isUsable` accepts it; otherwise none, and the stored
// value is gone.
template <typename IsUsable>
std::optional<double> usableNumber(platform::UserDefaults& userDefaults, const char* key,
                                   IsUsable isUsable, std::string_view needed,
                                   std::string_view fallback) {
    const auto value = userDefaults.objectForKey(key);
    if (!value) {
        return std::nullopt;
    }
    if (const auto number = finiteNumber(*value); number && isUsable(*number)) {
        return number;
    }
    platform::logWarning("Ignoring the user default {} ({}): {} is needed; using {}.", key,
                         describe(*value), needed, fallback);
    userDefaults.removeObject(key);
    return std::nullopt;
}

}  // namespace

void registerDefaultUserDefaults(platform::UserDefaults& userDefaults) {
    userDefaults.registerDefaults({
        {QPEnterFullScreenAutomaticallyOnOpen, false},
        {QPPlayAutomaticallyOnOpen, false},
        {QPDefaultPlaybackRate, kRegisteredDefaultPlaybackRate},
        {QPJumpIntervalInSeconds, kRegisteredJumpIntervalInSeconds},
        {QPUseUserSpecifiedSubtitleTextStyle, false},
        {QPShowEndTimeInsteadOfRemainingTime, false},
        {QPAllowAudioSpatialization, true},
        {QPShowDebugPreferencePane, false},
    });
    defaultPlaybackRate(userDefaults);
    jumpIntervalInSeconds(userDefaults);
}

float defaultPlaybackRate(platform::UserDefaults& userDefaults) {
    const auto rate = usableNumber(
        userDefaults, QPDefaultPlaybackRate,
        [](double rate) { return isPlaybackRateWithinStops(rate); },
        fmt::format("a rate from {} to {}", kSlowestPlaybackRate, kFastestPlaybackRate),
        fmt::format("{}", kRegisteredDefaultPlaybackRate));
    return static_cast<float>(rate.value_or(static_cast<double>(kRegisteredDefaultPlaybackRate)));
}

double jumpIntervalInSeconds(platform::UserDefaults& userDefaults) {
    const auto seconds = usableNumber(
        userDefaults, QPJumpIntervalInSeconds, [](double seconds) { return seconds > 0; },
        "a positive number of seconds", fmt::format("{}", kRegisteredJumpIntervalInSeconds));
    return seconds.value_or(kRegisteredJumpIntervalInSeconds);
}

}  // namespace quillon
