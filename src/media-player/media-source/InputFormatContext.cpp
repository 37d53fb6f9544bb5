#include "media-player/media-source/InputFormatContext.h"

#include <cstdint>
#include <limits>

#include "media-player/decoders/common/FFmpegCall.h"

namespace quillon {

namespace {

constexpr const char* kFunction = "makeInputFormatContext(for:)";

}  // namespace

std::string ffmpegLocation(const platform::URL& url) {
    if (url.isFileURL()) {
        return "file://" + url.path();
    }
    return url.absoluteString();
}

AVFormatContextPointer makeInputFormatContext(const platform::URL& url) {
    const std::string location = ffmpegLocation(url);
    AVFormatContextPointer context = makeFormatContext(CallSite(kFunction));
    // Streams that start late in a file (subtitles after a long silence, a second audio track
    // muxed far behind) are only found when probing may read as far as it has to.
    context->probesize = std::numeric_limits<std::int64_t>::max();

    // A failed open frees the context; the pointer then holds nothing.
    performFFmpegCall({}, true, CallSite(kFunction), [&] {
        return avformat_open_input(inOutPointer(context), location.c_str(), nullptr, nullptr);
    });
    context->max_analyze_duration = std::numeric_limits<std::int64_t>::max();

    // The pointer closes the opened input when the probe's failure is thrown.
    performFFmpegCall({}, true, CallSite(kFunction),
                      [&] { return avformat_find_stream_info(context.get(), nullptr); });
    return context;
}

}  // namespace quillon
