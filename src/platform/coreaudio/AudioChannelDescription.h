#pragma once

#include <array>
#include <cstdint>

#include "platform/coreaudio/AudioChannelLabel.h"

namespace platform {

using AudioChannelFlags = std::uint32_t;

inline constexpr AudioChannelFlags kAudioChannelFlags_AllOff = 0;
inline constexpr AudioChannelFlags kAudioChannelFlags_RectangularCoordinates = 1u << 0;
inline constexpr AudioChannelFlags kAudioChannelFlags_SphericalCoordinates = 1u << 1;
inline constexpr AudioChannelFlags kAudioChannelFlags_Meters = 1u << 2;

// One channel of a layout that lists its channels one by one. The coordinates mean something
// only for kAudioChannelLabel_UseCoordinates, as the flags say.
struct AudioChannelDescription {
    AudioChannelLabel mChannelLabel = kAudioChannelLabel_Unknown;
    AudioChannelFlags mChannelFlags = kAudioChannelFlags_AllOff;
    std::array<float, 3> mCoordinates{};

    friend bool operator==(const AudioChannelDescription&,
                           const AudioChannelDescription&) = default;
};

}  // namespace platform
