#include "media-player/media-source/DurationSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-source/InputFormatContext.h"
#include "platform/foundation/Error.h"

namespace quillon {

using platform::CMTime;

namespace {

constexpr const char* kFunction = "searchDuration(for:opened:)";

// The start of a file is read this far for its bit rate (and the end of a raw stream as well);
// a file no larger than two of these is read whole.
constexpr std::int64_t kSampleBytes = std::int64_t{4} << 20;
// The end of a file is read from so far back, each tried when the one before held no packet
// with a time: enough for a few of a recorder's clusters, however large its pictures.
constexpr std::array<std::int64_t, 3> kTailBytes{std::int64_t{1} << 20, std::int64_t{4} << 20,
                                                 std::int64_t{16} << 20};

// A Matroska Cluster element's identifier. Reading a fresh context's header ends with the first
// cluster's identifier, and the demuxer then takes the next bytes for that cluster's size: moved
// to just after another cluster's identifier, it reads on from there as if nothing lay between.
// Anywhere else it complains of broken elements before it finds its way.
constexpr std::array<unsigned char, 4> kMatroskaClusterID{0x1F, 0x43, 0xB6, 0x75};

// Opened with the format the probed context found, and without a stream search: only the
// packets' times and sizes are wanted, which the header and the parsers give.
AVFormatContextPointer openForReading(const platform::URL& url, const AVFormatContext& opened) {
    const std::string location = ffmpegLocation(url);
    const std::string path = url.path();
    AVFormatContextPointer context = makeFormatContext(CallSite(kFunction).about(path));
    performFFmpegCall({}, true, CallSite(kFunction).about(path), [&] {
        return avformat_open_input(inOutPointer(context), location.c_str(), opened.iformat,
                                   nullptr);
    });
    return context;
}

// What a run of reads found, in microseconds on the packets' time line and in bytes.
struct Stretch {
    int packets = 0;
    std::int64_t firstPosition = std::numeric_limits<std::int64_t>::max();
    std::int64_t endPosition = 0;
    // The latest end of a packet with a time.
    std::optional<std::int64_t> end;
    // The packets' durations added up.
    std::int64_t durations = 0;
    bool reachedEndOfFile = false;

    std::int64_t bytes() const {
        return endPosition > firstPosition ? endPosition - firstPosition : 0;
    }
};

// Reads from where `context` stands to the end of the file, or to the first packet that starts
// at or after `stopAt`. Packets of a raw stream are timed by `clock`. A read that fails ends the
// stretch as if the file ended there, without a log line: the file plays as far as it reads.
Stretch readStretch(AVFormatContext& context, RawStreamClock* clock, std::int64_t stopAt) {
    Stretch stretch;
    AVPacketPointer packet = makePacket(CallSite(kFunction));
    for (;;) {
        av_packet_unref(packet.get());
        const int result =
            runFFmpegCall(true, [&] { return av_read_frame(&context, packet.get()); });
        if (result < 0) {
            stretch.reachedEndOfFile = result == AVERROR_EOF;
            break;
        }
        if (packet->pos >= stopAt) {
            break;
        }
        if (clock != nullptr && !clock->stamp(*packet)) {
            continue;
        }
        ++stretch.packets;
        if (packet->pos >= 0) {
            stretch.firstPosition = std::min(stretch.firstPosition, packet->pos);
            stretch.endPosition = std::max(stretch.endPosition, packet->pos + packet->size);
        }
        const AVRational timeBase = context.streams[packet->stream_index]->time_base;
        const std::int64_t duration = std::max<std::int64_t>(packet->duration, 0);
        // Damaged files claim any times: sums that leave the range are dropped, not wrapped.
        std::int64_t durations = 0;
        if (!__builtin_add_overflow(stretch.durations,
                                    av_rescale_q(duration, timeBase, AV_TIME_BASE_Q), &durations)) {
            stretch.durations = durations;
        }
        std::optional<std::int64_t> end;
        std::int64_t timestamp = 0;
        if (clock != nullptr) {
            if (const std::optional<CMTime> clockEnd = clock->endSinceSet()) {
                end = platform::CMTimeConvertScale(*clockEnd, AV_TIME_BASE).value;
            }
        } else if (const std::int64_t start =
                       packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                   start != AV_NOPTS_VALUE &&
                   !__builtin_add_overflow(start, duration, &timestamp)) {
            end = av_rescale_q(timestamp, timeBase, AV_TIME_BASE_Q);
        }
        if (end) {
            stretch.end = std::max(stretch.end.value_or(*end), *end);
        }
    }
    return stretch;
}

bool moveToByte(AVFormatContext& context, std::int64_t position) {
    return runFFmpegCall(
               true, [&] { return av_seek_frame(&context, -1, position, AVSEEK_FLAG_BYTE); }) >= 0;
}

// The position of the first Matroska cluster at or after `from`, if one starts before `to`.
std::optional<std::int64_t> nextMatroskaCluster(AVIOContext& io, std::int64_t from,
                                                std::int64_t to) {
    if (avio_seek(&io, from, SEEK_SET) < 0) {
        return std::nullopt;
    }
    std::array<unsigned char, 64 * 1024> buffer{};
    std::size_t kept = 0;
    std::int64_t bufferStart = from;
    while (bufferStart < to) {
        const int read =
            avio_read(&io, buffer.data() + kept, static_cast<int>(buffer.size() - kept));
        if (read <= 0) {
            return std::nullopt;
        }
        const std::size_t available = kept + static_cast<std::size_t>(read);
        const auto found = std::search(buffer.begin(), buffer.begin() + available,
                                       kMatroskaClusterID.begin(), kMatroskaClusterID.end());
        if (found != buffer.begin() + available) {
            return bufferStart + (found - buffer.begin());
        }
        // The identifier may straddle two reads.
        kept = std::min<std::size_t>(available, kMatroskaClusterID.size() - 1);
        std::copy(buffer.begin() + available - kept, buffer.begin() + available, buffer.begin());
        bufferStart += static_cast<std::int64_t>(available - kept);
    }
    return std::nullopt;
}

// The latest end of a packet near the end of the file, read from a few MiB before it; none when
// those hold no packet with a time (a raw stream's never do). Each try reads through a fresh
// context: a demuxer moved from the middle of an element to another place still expects that
// element's end.
std::optional<std::int64_t> endOfLastPackets(const platform::URL& url,
                                             const AVFormatContext& opened, std::int64_t fileSize,
                                             std::int64_t readFrom) {
    const bool isMatroska = std::string_view(opened.iformat->name).starts_with("matroska");
    for (const std::int64_t tail : kTailBytes) {
        AVFormatContextPointer context = openForReading(url, opened);
        std::int64_t position = std::max(fileSize - tail, readFrom);
        if (isMatroska && context->pb != nullptr) {
            const std::optional<std::int64_t> cluster =
                nextMatroskaCluster(*context->pb, position, fileSize);
            if (!cluster) {
                if (position == readFrom) {
                    break;
                }
                continue;
            }
            position = *cluster + static_cast<std::int64_t>(kMatroskaClusterID.size());
        }
        if (!moveToByte(*context, position)) {
            break;
        }
        const Stretch stretch =
            readStretch(*context, nullptr, std::numeric_limits<std::int64_t>::max());
        if (stretch.end) {
            return stretch.end;
        }
        if (position <= readFrom) {
            break;
        }
    }
    return std::nullopt;
}

// The media time from `start` to `end`, in microseconds; zero where it would be negative or
// where the difference leaves the range.
CMTime mediaDuration(std::int64_t start, std::int64_t end) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(end, start, &difference) || difference < 0) {
        difference = 0;
    }
    return platform::CMTimeMake(difference, AV_TIME_BASE);
}

}  // namespace

DurationSearchResult searchDuration(const platform::URL& url, const AVFormatContext& opened) {
    DurationSearchResult result;
    try {
        AVFormatContextPointer context = openForReading(url, opened);
        const std::int64_t fileSize = context->pb != nullptr ? avio_size(context->pb) : -1;
        const bool canSeekBytes = fileSize > 0 && context->pb != nullptr &&
                                  (context->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0 &&
                                  (context->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
        const std::int64_t start = opened.start_time != AV_NOPTS_VALUE ? opened.start_time : 0;

        std::unique_ptr<RawStreamClock> clock;
        if (RawStreamClock::isNeeded(opened) && context->nb_streams == 1) {
            clock = std::make_unique<RawStreamClock>(opened, fileSize);
        }

        const bool isSmall = fileSize > 0 && fileSize <= 2 * kSampleBytes;
        const Stretch head =
            readStretch(*context, clock.get(),
                        isSmall ? std::numeric_limits<std::int64_t>::max() : kSampleBytes);
        if (head.packets == 0) {
            result.isEmpty = head.reachedEndOfFile;
            return result;
        }
        if (head.reachedEndOfFile) {
            result.duration = mediaDuration(start, head.end.value_or(start));
            result.isEstimate = false;
        } else if (!clock && canSeekBytes) {
            if (const auto end = endOfLastPackets(url, opened, fileSize, head.endPosition)) {
                result.duration = mediaDuration(start, std::max(*end, head.end.value_or(*end)));
                result.isEstimate = false;
            }
        }

        if (!result.duration && fileSize > 0) {
            // The bit rate of what was read, over the whole file. A raw stream's start (titles,
            // a still picture) may differ from the rest: its end is sampled as well.
            std::int64_t time =
                clock ? head.durations : mediaDuration(start, head.end.value_or(start)).value;
            std::int64_t bytes = clock ? head.bytes() : head.endPosition;
            if (clock && canSeekBytes && moveToByte(*context, fileSize - kSampleBytes)) {
                RawStreamClock tailClock(opened, fileSize);
                const Stretch tail =
                    readStretch(*context, &tailClock, std::numeric_limits<std::int64_t>::max());
                time = std::min(time, std::numeric_limits<std::int64_t>::max() - tail.durations) +
                       tail.durations;
                bytes += tail.bytes();
            }
            if (time > 0 && bytes > 0) {
                result.duration = mediaDuration(0, av_rescale(fileSize, time, bytes));
            }
        }

        if (clock) {
            clock->rewind();
            if (result.duration) {
                clock->setDuration(*result.duration);
            }
            result.clock = std::move(clock);
        }
    } catch (const platform::Error&) {
        // The file stays readable through its own contexts; it plays with what is known.
    }
    return result;
}

}  // namespace quillon
