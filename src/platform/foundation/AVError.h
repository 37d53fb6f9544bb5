#pragma once

#include <cstdint>

namespace platform {

// The error domain and codes of the platform's media-playback errors that our stand-ins raise.
inline constexpr const char* AVFoundationErrorDomain = "AVFoundationErrorDomain";

inline constexpr std::int64_t AVErrorUnknown = -11800;
inline constexpr std::int64_t AVErrorDecodeFailed = -11821;

}  // namespace platform
