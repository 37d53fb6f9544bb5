#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/error.h>
}

#include "media-player/decoders/common/CallSite.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/foundation/Log.h"

namespace quillon {

// FFmpeg's text for a return code (av_strerror into a 64-byte buffer).
std::string ffmpegErrorString(std::int32_t code);

// Runs an FFmpeg call and, when asked to, repeats it for as long as it answers AVERROR(EAGAIN).
// Returns the last answer, success or not; nothing is logged or thrown. The thread yields between
// tries so that a call that keeps answering EAGAIN does not starve the thread that unblocks it.
template <typename Call>
requires std::convertible_to<std::invoke_result_t<Call&>, std::int32_t> std::int32_t runFFmpegCall(
    bool retryWhileEAGAIN, Call&& call) {
    std::int32_t result = call();
    while (retryWhileEAGAIN && result == AVERROR(EAGAIN)) {
        std::this_thread::yield();
        result = call();
    }
    return result;
}

// Writes "In <file> <function>, the FFmpeg function at line <line> returned an error: <text>."
// ("returned an error for “<subject>”: <text>." for a site about something), as a warning unless
// the caller knows the failure to be part of normal operation.
void logFFmpegFailure(const FFmpegError& error, const CallSite& site,
                      platform::LogLevel level = platform::LogLevel::warning);

// Maps a failing return code to its FFmpegError, logs it unless it is one of the expected
// errors, and throws it. The steps of a checked call for sites that look at the code first.
[[noreturn]] void reportFFmpegFailure(std::int32_t code,
                                      std::span<const FFmpegError> expectedErrors,
                                      const CallSite& site);
[[noreturn]] inline void reportFFmpegFailure(std::int32_t code,
                                             std::initializer_list<FFmpegError> expectedErrors,
                                             const CallSite& site) {
    reportFFmpegFailure(code, std::span(expectedErrors.begin(), expectedErrors.size()), site);
}

// The checked call of an FFmpeg function: its non-negative result, or the mapped FFmpegError,
// thrown after it was logged (unless expected).
template <typename Call>
std::int32_t performFFmpegCall(std::span<const FFmpegError> expectedErrors, bool retryWhileEAGAIN,
                               const CallSite& site, Call&& call) {
    std::int32_t result = runFFmpegCall(retryWhileEAGAIN, call);
    if (result < 0) {
        reportFFmpegFailure(result, expectedErrors, site);
    }
    return result;
}

template <typename Call>
std::int32_t performFFmpegCall(std::initializer_list<FFmpegError> expectedErrors,
                               bool retryWhileEAGAIN, const CallSite& site, Call&& call) {
    return performFFmpegCall(std::span(expectedErrors.begin(), expectedErrors.size()),
                             retryWhileEAGAIN, site, call);
}

// An allocation that returned nothing: logged like a failed call with "Failed to allocate
// memory." and thrown as allocationFailure.
void logAllocationFailure(const CallSite& site);
[[noreturn]] void throwAllocationFailure(const CallSite& site);

}  // namespace quillon
