#pragma once

#include <cstdint>

namespace platform {

// The status of a Core Video call: 0 on success, a negative code from the ranges below otherwise.
using CVReturn = std::int32_t;
using CVOptionFlags = std::uint64_t;

inline constexpr CVReturn kCVReturnSuccess = 0;
inline constexpr CVReturn kCVReturnFirst = -6660;
inline constexpr CVReturn kCVReturnError = kCVReturnFirst;
inline constexpr CVReturn kCVReturnInvalidArgument = -6661;
inline constexpr CVReturn kCVReturnAllocationFailed = -6662;
inline constexpr CVReturn kCVReturnUnsupported = -6663;
inline constexpr CVReturn kCVReturnInvalidDisplay = -6670;
inline constexpr CVReturn kCVReturnDisplayLinkAlreadyRunning = -6671;
inline constexpr CVReturn kCVReturnDisplayLinkNotRunning = -6672;
inline constexpr CVReturn kCVReturnDisplayLinkCallbacksNotSet = -6673;
inline constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
inline constexpr CVReturn kCVReturnInvalidSize = -6681;
inline constexpr CVReturn kCVReturnInvalidPixelBufferAttributes = -6682;
inline constexpr CVReturn kCVReturnPixelBufferNotOpenGLCompatible = -6683;
inline constexpr CVReturn kCVReturnPixelBufferNotMetalCompatible = -6684;
inline constexpr CVReturn kCVReturnWouldExceedAllocationThreshold = -6689;
inline constexpr CVReturn kCVReturnPoolAllocationFailed = -6690;
inline constexpr CVReturn kCVReturnInvalidPoolAttributes = -6691;
inline constexpr CVReturn kCVReturnRetry = -6692;
inline constexpr CVReturn kCVReturnLast = -6699;

// The error domain of NSErrors that carry a CVReturn as their code.
inline constexpr const char* kCVReturnErrorDomain = "com.apple.corevideo";

}  // namespace platform
