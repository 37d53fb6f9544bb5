#pragma once

#include <array>
#include <optional>

namespace quillon {

// The kind of a track, a decoder or a source. The raw values are the declaration order.
enum class MediaType : int {
    video = 0,
    audio = 1,
    subtitles = 2,
};

inline constexpr std::array<MediaType, 3> allMediaTypes{MediaType::video, MediaType::audio,
                                                        MediaType::subtitles};

// The case of a raw value; none outside 0–2.
constexpr std::optional<MediaType> mediaTypeFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 2) {
        return std::nullopt;
    }
    return static_cast<MediaType>(rawValue);
}

constexpr int rawValue(MediaType type) {
    return static_cast<int>(type);
}

}  // namespace quillon
