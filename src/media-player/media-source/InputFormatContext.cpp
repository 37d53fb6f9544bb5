#include "media-player/media-source/InputFormatContext.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <sys/stat.h>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/media-source/MatroskaMuxingApp.h"

namespace quillon {

namespace {

constexpr const char* kFunction = "makeInputFormatContext(for:)";

// Whichever comes first: this much media time, or this many bytes of packets.
constexpr std::int64_t kStreamSearchDuration = std::int64_t{32} * AV_TIME_BASE;
constexpr std::int64_t kStreamSearchBytes = std::int64_t{256} << 20;

}  // namespace

std::string ffmpegLocation(const platform::URL& url) {
    if (url.isFileURL()) {
        return "file://" + url.path();
    }
    return url.absoluteString();
}

AVFormatContextPointer makeInputFormatContext(const platform::URL& url) {
    // Each failure line names the file: two files that fail alike are two lines, not one.
    const std::string path = url.isFileURL() ? url.path() : url.absoluteString();
    // Opening a pipe waits for a writer, and reading a device may never end: only regular files
    // are media. The refusal stands in for FFmpeg's failure to read such a file as media (it
    // cannot seek in it), and is reported as that failure would be.
    struct stat info {};
    if (url.isFileURL() && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        reportFFmpegFailure(AVERROR(S_ISDIR(info.st_mode) ? EISDIR : ESPIPE), {},
                            CallSite(kFunction).about(path));
    }
    const std::string location = ffmpegLocation(url);
    AVFormatContextPointer context = makeFormatContext(CallSite(kFunction).about(path));

    // Opening reads the header with FFmpeg's own bound on probing: some demuxers size buffers
    // by it there (the transport stream demuxer keeps that much for seeking back, and cannot
    // allocate an unbounded amount).
    // A failed open frees the context; the pointer then holds nothing.
    performFFmpegCall({}, true, CallSite(kFunction).about(path), [&] {
        return avformat_open_input(inOutPointer(context), location.c_str(), nullptr, nullptr);
    });
    // Streams that start late in a file (a second audio track muxed far behind the pictures)
    // are only found when the stream search reads well past FFmpeg's few seconds. It must still
    // end: a recording may declare a stream that never carries a packet, and everything the
    // search reads stays buffered until the first seek, in each of the two contexts. Streams
    // still without parameters at the bound are given up (they become no track).
    context->probesize = kStreamSearchBytes;
    context->max_analyze_duration = kStreamSearchDuration;

    // The pointer closes the opened input when the probe's failure is thrown.
    performFFmpegCall({}, true, CallSite(kFunction).about(path),
                      [&] { return avformat_find_stream_info(context.get(), nullptr); });
    return context;
}

std::int64_t durationFromStart(const AVFormatContext& context) {
    const std::int64_t duration = context.duration;
    const std::int64_t start = context.start_time;
    if (duration == AV_NOPTS_VALUE || start == AV_NOPTS_VALUE || start <= 0 || duration <= start) {
        return duration;
    }

    // The latest end of a stream that states where it starts and how long it lasts.
    std::optional<std::int64_t> end;
    for (unsigned index = 0; index < context.nb_streams; ++index) {
        const AVStream& stream = *context.streams[index];
        if (stream.start_time == AV_NOPTS_VALUE || stream.duration == AV_NOPTS_VALUE ||
            stream.time_base.num <= 0 || stream.time_base.den <= 0) {
            continue;
        }
        const std::int64_t streamEnd =
            av_rescale_q(stream.start_time, stream.time_base, AV_TIME_BASE_Q) +
            av_rescale_q(stream.duration, stream.time_base, AV_TIME_BASE_Q);
        end = std::max(end.value_or(streamEnd), streamEnd);
    }

    bool countsFromZero = false;
    if (end) {
        // Whichever reading of the container's figure agrees better with the streams.
        countsFromZero = std::llabs(duration - *end) < std::llabs(duration - (*end - start));
    } else if (context.iformat != nullptr &&
               std::string_view(context.iformat->name).starts_with("matroska") &&
               context.url != nullptr) {
        // Matroska states the segment's duration, and its streams state none to compare with.
        // The segment's time line begins at zero however late its first block is, but writers
        // measure the duration differently: FFmpeg's muxer writes the end of the last block,
        // mkvmerge the span from the first block. Other writers are read as mkvmerge's: a span
        // misread as an end would stop playback early by the start time, where an end misread
        // as a span only lets it run on past the last block.
        countsFromZero = matroskaMuxingApp(context.url).value_or("").starts_with("Lavf");
    }
    return countsFromZero ? duration - start : duration;
}

}  // namespace quillon
