#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/mediaplayer/MPMediaItemArtwork.h"

namespace platform {

// One value of the Now Playing information: a text, a whole number, a floating-point number or
// a picture.
using MPNowPlayingInfoValue =
    std::variant<std::string, std::int64_t, double, std::shared_ptr<const MPMediaItemArtwork>>;
using MPNowPlayingInfo = std::map<std::string, MPNowPlayingInfoValue>;

inline constexpr const char* MPNowPlayingInfoPropertyExternalContentIdentifier =
    "MPNowPlayingInfoPropertyExternalContentIdentifier";
inline constexpr const char* MPNowPlayingInfoPropertyMediaType =
    "MPNowPlayingInfoPropertyMediaType";
inline constexpr const char* MPNowPlayingInfoPropertyElapsedPlaybackTime =
    "MPNowPlayingInfoPropertyElapsedPlaybackTime";
inline constexpr const char* MPNowPlayingInfoPropertyPlaybackRate =
    "MPNowPlayingInfoPropertyPlaybackRate";
// The rate playback runs at when it plays, also while it is paused.
inline constexpr const char* MPNowPlayingInfoPropertyDefaultPlaybackRate =
    "MPNowPlayingInfoPropertyDefaultPlaybackRate";
inline constexpr const char* MPMediaItemPropertyPlaybackDuration = "playbackDuration";
inline constexpr const char* MPMediaItemPropertyTitle = "title";
inline constexpr const char* MPMediaItemPropertyArtist = "artist";
inline constexpr const char* MPMediaItemPropertyComposer = "composer";
inline constexpr const char* MPMediaItemPropertyAlbumTitle = "albumTitle";
inline constexpr const char* MPMediaItemPropertyArtwork = "artwork";
inline constexpr const char* MPMediaItemPropertyLyrics = "lyrics";
inline constexpr const char* MPMediaItemPropertyGenre = "genre";

// Values of MPNowPlayingInfoPropertyMediaType.
enum class MPNowPlayingInfoMediaType : std::int64_t { none = 0, audio = 1, video = 2 };

enum class MPNowPlayingPlaybackState : int {
    unknown = 0,
    playing = 1,
    paused = 2,
    stopped = 3,
    interrupted = 4,
};

// The value under `key` when it holds a T.
template <typename T>
std::optional<T> nowPlayingInfoValue(const MPNowPlayingInfo& info, const std::string& key) {
    const auto found = info.find(key);
    if (found == info.end()) {
        return std::nullopt;
    }
    if (const T* value = std::get_if<T>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

}  // namespace platform
