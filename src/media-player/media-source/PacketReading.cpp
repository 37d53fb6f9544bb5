#include "media-player/media-source/PacketReading.h"

#include <cstdint>
#include <limits>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-source/ContextTimeline.h"
#include "media-player/media-source/StreamTimestamp.h"

namespace quillon {

using platform::CMTime;

namespace {

constexpr const char* readPacketFunction = "readPacket(fromStreamsWithIndexes:in:)";
constexpr const char* seekFunction = "seek(_:to:)";

// The packet that av_read_frame fills, one per thread, reused for every read: a wanted packet's
// references move into a new Packet and leave it blank, an unwanted one is unreferenced in place.
// Contexts are only read on their queues' threads (or a thread in a sync on them), so a packet
// per thread is never shared.
AVPacket& scratchPacket() {
    thread_local AVPacketPointer packet = makePacket(CallSite(readPacketFunction));
    return *packet;
}

// `time` in `timescale`, rounded toward negative infinity, as a raw value that FFmpeg can take.
// The infinities clamp to the ends of the range (a time that no timescale can hold is one of
// them); invalid and indefinite times have no value.
std::optional<std::int64_t> timestampRoundingDown(CMTime time, std::int32_t timescale) {
    const CMTime converted = platform::CMTimeConvertScale(
        time, timescale, platform::kCMTimeRoundingMethod_RoundTowardNegativeInfinity);
    if (platform::CMTIME_IS_NUMERIC(converted)) {
        return converted.value;
    }
    if (platform::CMTIME_IS_POSITIVE_INFINITY(converted)) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (platform::CMTIME_IS_NEGATIVE_INFINITY(converted)) {
        // AV_NOPTS_VALUE is the very lowest value and means "no time" to FFmpeg.
        return std::numeric_limits<std::int64_t>::min() + 1;
    }
    return std::nullopt;
}

// The seek's answer, logged and thrown when it is a failure; but a backward seek's ERANGE, which
// only says that nothing lies at or before the time (the caller then seeks forward), is
// logged as a debug line and returned.
std::int32_t seekFrame(AVFormatContext& context, std::int64_t timestamp, int flags) {
    const CallSite site(seekFunction);
    const std::int32_t result =
        runFFmpegCall(true, [&] { return av_seek_frame(&context, -1, timestamp, flags); });
    if (result == AVERROR(ERANGE) && (flags & AVSEEK_FLAG_BACKWARD) != 0) {
        logFFmpegFailure(FFmpegError(result), site, platform::LogLevel::debug);
        return result;
    }
    if (result < 0) {
        reportFFmpegFailure(result, {}, site);
    }
    return result;
}

// Whether `timestamp` lies before anything of a file that states no start: a subtitles file,
// whose demuxer knows its events only, has nothing before time zero. A backward seek there finds
// no event at or before the time whenever the first one starts later (FFmpeg answers ERANGE); the
// forward one lands on the first event.
bool isBeforeAnythingOfFileWithoutStart(const AVFormatContext& context, std::int64_t timestamp) {
    return context.start_time == AV_NOPTS_VALUE && timestamp <= 0;
}

}  // namespace

void enableStreams(const StreamIndexSet& indexes, AVFormatContext& context) {
    for (unsigned index = 0; index < context.nb_streams; ++index) {
        context.streams[index]->discard =
            indexes.contains(std::uint32_t{index}) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

PacketRef readPacket(const StreamIndexSet& indexes, AVFormatContext& context) {
    enableStreams(indexes, context);
    AVPacket& packet = scratchPacket();
    // Still holding a packet only if making the last Packet failed.
    av_packet_unref(&packet);
    ContextTimeline* const timeline = ContextTimeline::of(context);
    for (;;) {
        try {
            performFFmpegCall({FFmpegError::eof()}, true, CallSite(readPacketFunction),
                              [&] { return av_read_frame(&context, &packet); });
        } catch (const FFmpegError& error) {
            if (error == FFmpegError::eof()) {
                if (timeline != nullptr) {
                    timeline->endOfFile();
                }
                return nullptr;
            }
            throw;
        }
        if (timeline != nullptr && !timeline->admit(context, packet)) {
            av_packet_unref(&packet);
            continue;
        }
        if (indexes.contains(packet.stream_index)) {
            return Packet::make(packet);
        }
        // A packet that the demuxer had queued before its stream was discarded, or of a stream
        // that appeared after the streams were enabled.
        av_packet_unref(&packet);
    }
}

void seek(AVFormatContext& context, CMTime time) {
    ContextTimeline* const timeline = ContextTimeline::of(context);
    if (timeline != nullptr && timeline->seek(context, time)) {
        return;
    }
    const std::optional<std::int64_t> timestamp = timestampRoundingDown(time, AV_TIME_BASE);
    if (!timestamp) {
        reportFFmpegFailure(AVERROR(EINVAL), {}, CallSite(seekFunction));
    }
    if (timeline != nullptr) {
        timeline->positioned();
    }
    if (isBeforeAnythingOfFileWithoutStart(context, *timestamp)) {
        seekFrame(context, *timestamp, 0);
        return;
    }
    if (seekFrame(context, *timestamp, AVSEEK_FLAG_BACKWARD) == AVERROR(ERANGE)) {
        // No key frame at or before the time: take the first one after it.
        seekFrame(context, *timestamp, 0);
    }
}

std::optional<CMTime> indexSearchTimestamp(const MediaTrack& track, CMTime time,
                                           AVFormatContext& context) {
    const AVRational timeBase = track.streamTimeBase();
    if (timeBase.num <= 0 || timeBase.den <= 0 || track.streamIndex() >= context.nb_streams) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> scaled = timestampRoundingDown(time, timeBase.den);
    if (!scaled) {
        return std::nullopt;
    }
    AVStream* stream = context.streams[track.streamIndex()];
    const int index =
        av_index_search_timestamp(stream, *scaled / timeBase.num, AVSEEK_FLAG_BACKWARD);
    if (index < 0) {
        return std::nullopt;
    }
    const AVIndexEntry* entry = avformat_index_get_entry(stream, index);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return cmTimeFromTimestamp(entry->timestamp, timeBase);
}

PacketsByTrack readPackets(CMTime until, const std::shared_ptr<MediaTrack>& primaryTrack,
                           std::span<const std::shared_ptr<SubtitlesTrack>> furtherTracks,
                           AVFormatContext& context) {
    StreamIndexSet indexes{primaryTrack->streamIndex()};
    for (const auto& track : furtherTracks) {
        indexes.insert(track->streamIndex());
    }
    enableStreams(indexes, context);

    const int primaryStreamIndex = static_cast<int>(primaryTrack->streamIndex());
    const AVRational primaryTimeBase = primaryTrack->streamTimeBase();
    PacketsByTrack packetsByTrack;
    while (PacketRef packet = readPacket(indexes, context)) {
        const AVPacket& read = packet->avPacket();
        if (read.stream_index != primaryStreamIndex) {
            if (auto track = trackForStreamIndex(read.stream_index, primaryTrack, furtherTracks)) {
                packetsByTrack.append(track, std::move(packet));
            }
            continue;
        }
        // A time that cannot be told (none, or one that overflows) cannot be compared with the
        // target: the packet ends the loop rather than letting it run to the end of the file.
        const std::optional<CMTime> time = cmTimeFromTimestamp(read.pts, primaryTimeBase);
        if (!time || platform::CMTimeCompare(*time, until) >= 0) {
            packetsByTrack.append(primaryTrack, std::move(packet));
            return packetsByTrack;
        }
        if ((read.flags & AV_PKT_FLAG_KEY) != 0) {
            packetsByTrack.removePackets(*primaryTrack);
        }
        packetsByTrack.append(primaryTrack, std::move(packet));
    }
    return packetsByTrack;
}

void markPacketsOverBy(CMTime target, AVRational timeBase, std::span<const PacketRef> packets) {
    for (const PacketRef& packet : packets) {
        AVPacket& read = packet->avPacket();
        const std::optional<CMTime> start = cmTimeFromTimestamp(read.pts, timeBase);
        if (!start || platform::CMTimeCompare(*start, target) >= 0) {
            continue;
        }
        // The decoder gives a picture its packet's duration; one without a duration is shown
        // only when it starts after the target.
        if (read.duration > 0) {
            const std::optional<CMTime> duration = cmTimeFromTimestamp(read.duration, timeBase);
            const CMTime end =
                duration ? platform::CMTimeAdd(*start, *duration) : platform::kCMTimeInvalid;
            if (!platform::CMTIME_IS_NUMERIC(end) || platform::CMTimeCompare(end, target) > 0) {
                continue;
            }
        }
        read.flags |= AV_PKT_FLAG_DISCARD;
    }
}

void spareLatestPictureOverBy(std::span<const PacketRef> packets) {
    AVPacket* latest = nullptr;
    for (const PacketRef& packet : packets) {
        AVPacket& read = packet->avPacket();
        if ((read.flags & AV_PKT_FLAG_DISCARD) != 0 && read.pts != AV_NOPTS_VALUE &&
            (latest == nullptr || read.pts > latest->pts)) {
            latest = &read;
        }
    }
    if (latest != nullptr) {
        latest->flags &= ~AV_PKT_FLAG_DISCARD;
    }
}

}  // namespace quillon
