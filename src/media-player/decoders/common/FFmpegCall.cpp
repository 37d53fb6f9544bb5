#include "media-player/decoders/common/FFmpegCall.h"

#include <algorithm>
#include <array>

#include "platform/foundation/Log.h"

namespace quillon {

std::string ffmpegErrorString(std::int32_t code) {
    std::array<char, 64> buffer{};
    av_strerror(code, buffer.data(), buffer.size());
    buffer.back() = '\0';
    return std::string(buffer.data());
}

void logFFmpegFailure(const FFmpegError& error, const CallSite& site, platform::LogLevel level) {
    platform::logFailure(platform::FailingLibrary::FFmpeg, site.file, site.function, site.line,
                         error.description(), level, site.subject);
}

void reportFFmpegFailure(std::int32_t code, std::span<const FFmpegError> expectedErrors,
                         const CallSite& site) {
    FFmpegError error(code);
    if (std::find(expectedErrors.begin(), expectedErrors.end(), error) == expectedErrors.end()) {
        logFFmpegFailure(error, site);
    }
    throw error;
}

void logAllocationFailure(const CallSite& site) {
    logFFmpegFailure(FFmpegError::allocationFailure(), site);
}

void throwAllocationFailure(const CallSite& site) {
    logAllocationFailure(site);
    throw FFmpegError::allocationFailure();
}

}  // namespace quillon
