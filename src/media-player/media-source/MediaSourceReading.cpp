#include "media-player/media-source/MediaSourceReading.h"

#include <algorithm>
#include <utility>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamIndexSet.h"
#include "media-player/media-source/StreamTimestamp.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

using platform::CMTime;

namespace {

void requireEmbeddedSubtitlesTracks(std::span<const std::shared_ptr<SubtitlesTrack>> tracks) {
    for (const auto& track : tracks) {
        platform::precondition(track != nullptr, "A subtitles track to read is missing.");
        platform::precondition(
            dynamic_cast<const ExternalSubtitlesTrack*>(track.get()) == nullptr,
            "An external subtitles track is read through its own source, not as a visual track "
            "of another one.");
    }
}

void requireOnAudioTracksQueue(const MediaSource& source) {
    platform::precondition(source.audioTracksQueue()->isCurrent(),
                           "The audio context is used only on the audio tracks queue.");
}

StreamIndexSet visualStreamIndexes(const std::shared_ptr<VideoTrack>& videoTrack,
                                   std::span<const std::shared_ptr<SubtitlesTrack>> tracks) {
    StreamIndexSet indexes;
    if (videoTrack) {
        indexes.insert(videoTrack->streamIndex());
    }
    for (const auto& track : tracks) {
        indexes.insert(track->streamIndex());
    }
    return indexes;
}

// The key-frame times of the tracks asked for, video track first: a later track of the same
// stream replaces an earlier one.
std::vector<KeyFrameTime> keyFrameTimes(
    AVFormatContext& context, const std::shared_ptr<VideoTrack>& videoTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks, CMTime target) {
    std::vector<KeyFrameTime> times;
    const auto add = [&](const MediaTrack& track) {
        KeyFrameTime time{track.streamIndex(), indexSearchTimestamp(track, target, context)};
        const auto same = std::find_if(times.begin(), times.end(), [&](const KeyFrameTime& other) {
            return other.streamIndex == time.streamIndex;
        });
        if (same != times.end()) {
            *same = time;
        } else {
            times.push_back(time);
        }
    };
    if (videoTrack) {
        add(*videoTrack);
    }
    for (const auto& track : subtitlesTracks) {
        add(*track);
    }
    return times;
}

// How far before a seek target the visual seek looks for subtitle events still on screen there.
// The seek itself lands at most a key-frame interval early, while one cue (a song's lyrics, a
// sign, a long line) may stay up for many seconds.
constexpr double kSubtitlesLookBackSeconds = 30;
// Video packets come a little out of presentation order around a subtitle event of the same
// time; reading this much further meets the event wherever the muxer put it.
constexpr double kInterleavingSlackSeconds = 1;

std::optional<CMTime> keyFrameTimeOf(std::span<const KeyFrameTime> times, std::uint32_t stream) {
    for (const KeyFrameTime& time : times) {
        if (time.streamIndex == stream) {
            return time.time;
        }
    }
    return std::nullopt;
}

// The subtitle packets that the seek's own read will not meet but that may still be on screen
// at the target: those that start in the look-back window before the place where the seek lands.
// A track whose stream is indexed is read from its last event at or before the target only (one
// cluster or so); a track without an index is read over the whole window. The position is left
// anywhere: the seek proper follows.
PacketsByTrack readSubtitlesBeforeSeekPosition(
    AVFormatContext& context, const VideoTrack& videoTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks,
    std::span<const KeyFrameTime> times, std::optional<std::uint32_t> reference, CMTime target) {
    // Without a reference FFmpeg follows the video stream's index.
    const std::optional<CMTime> landing =
        keyFrameTimeOf(times, reference.value_or(videoTrack.streamIndex()));
    const CMTime windowStart = platform::CMTimeSubtract(
        target, platform::CMTimeMakeWithSeconds(kSubtitlesLookBackSeconds, target.timescale));
    if (landing && platform::CMTimeCompare(*landing, windowStart) <= 0) {
        return {};
    }
    std::optional<CMTime> start;
    CMTime stopAt = platform::kCMTimeNegativeInfinity;
    bool readsWholeWindow = false;
    StreamIndexSet subtitlesStreams;
    for (const auto& track : subtitlesTracks) {
        const std::optional<CMTime> lastEvent = keyFrameTimeOf(times, track->streamIndex());
        if (lastEvent) {
            // Begun too long ago to be still on, or met by the seek's own read anyway.
            if (platform::CMTimeCompare(*lastEvent, windowStart) < 0 ||
                (landing && platform::CMTimeCompare(*lastEvent, *landing) >= 0)) {
                continue;
            }
            start = start ? platform::CMTimeMinimum(*start, *lastEvent) : *lastEvent;
            stopAt = platform::CMTimeMaximum(stopAt, *lastEvent);
        } else {
            readsWholeWindow = true;
        }
        subtitlesStreams.insert(track->streamIndex());
    }
    if (readsWholeWindow) {
        start = windowStart;
        stopAt = landing.value_or(target);
    }
    if (!start) {
        return {};
    }

    // Seeking on the indexed subtitle streams alone lands on their event; without an index the
    // video stream's key frames place the position.
    StreamIndexSet readStreams = subtitlesStreams;
    readStreams.insert(videoTrack.streamIndex());
    enableStreams(readsWholeWindow ? readStreams : subtitlesStreams, context);
    seek(context, *start);

    const CMTime videoStopAt = platform::CMTimeAdd(
        stopAt, platform::CMTimeMakeWithSeconds(kInterleavingSlackSeconds, target.timescale));
    PacketsByTrack packets;
    while (PacketRef packet = readPacket(readStreams, context)) {
        const AVPacket& read = packet->avPacket();
        const std::optional<CMTime> time =
            cmTimeFromTimestamp(read.pts, context.streams[read.stream_index]->time_base);
        if (static_cast<std::uint32_t>(read.stream_index) == videoTrack.streamIndex()) {
            if (time && platform::CMTimeCompare(*time, videoStopAt) > 0) {
                break;
            }
            continue;
        }
        if (!time) {
            continue;
        }
        if (platform::CMTimeCompare(*time, stopAt) > 0) {
            break;
        }
        if (auto track = trackForStreamIndex(read.stream_index, std::shared_ptr<VideoTrack>(),
                                             subtitlesTracks)) {
            packets.append(track, std::move(packet));
        }
    }
    return packets;
}

// The packets the seek read, with each subtitles track's earlier packets put before its own;
// those that the seek's read met too are left out of the earlier ones.
PacketsByTrack withEarlierSubtitles(PacketsByTrack earlier, PacketsByTrack found) {
    if (earlier.empty()) {
        return found;
    }
    PacketsByTrack merged;
    const auto appendEarlier = [&](const std::shared_ptr<MediaTrack>& track,
                                   std::optional<std::int64_t> firstFoundTimestamp) {
        for (PacketRef& packet : earlier.takePackets(*track)) {
            const std::int64_t pts = packet->avPacket().pts;
            if (!firstFoundTimestamp || pts < *firstFoundTimestamp) {
                merged.append(track, std::move(packet));
            }
        }
    };
    for (const PacketsByTrack::Entry& entry : found.entries()) {
        std::optional<std::int64_t> firstFoundTimestamp;
        if (!entry.packets.empty() && entry.packets.front()->avPacket().pts != AV_NOPTS_VALUE) {
            firstFoundTimestamp = entry.packets.front()->avPacket().pts;
        }
        appendEarlier(entry.track, firstFoundTimestamp);
        for (const PacketRef& packet : entry.packets) {
            merged.append(entry.track, packet);
        }
    }
    for (const PacketsByTrack::Entry& entry : earlier.entries()) {
        appendEarlier(entry.track, std::nullopt);
    }
    return merged;
}

// A file without an index of its key frames (an MPEG transport or program stream) is sought by
// a search for a packet whose decoding time lies at or before the target: any packet, key frame
// or not. With reordered pictures (B-frames) a key frame's decoding time lies before its own
// presentation time, so even a target at the very start lands on the packet after the key frame.
// A decoder cannot start there: it drops every picture up to the next key frame, which in a long
// group of pictures lies many seconds past the target. Where the read from the landing meets no
// key frame to start from, the seek is made again further back, twice as far each time, up to the
// longest look-back; one that would lie before the start goes to the start itself.
constexpr double kFirstKeyFrameLookBackSeconds = 1;
constexpr double kLongestKeyFrameLookBackSeconds = 64;

// Whether the video packets a seek read can be decoded into the picture at `target`: they begin
// with a key frame that is shown at or before the target, or with the stream's first picture,
// before which there is nothing to find.
bool startsFromKeyFrame(std::span<const PacketRef> packets, const AVStream& stream, CMTime target) {
    if (packets.empty()) {
        return false;
    }
    const AVPacket& first = packets.front()->avPacket();
    if ((first.flags & AV_PKT_FLAG_KEY) == 0) {
        return false;
    }
    if (first.pts == AV_NOPTS_VALUE || first.pts == stream.start_time) {
        return true;
    }
    const std::optional<CMTime> time = cmTimeFromTimestamp(first.pts, stream.time_base);
    return !time || platform::CMTimeCompare(*time, target) <= 0;
}

// Seeks the context, with `seekStreams` enabled, to `to` and reads the video track's packets on
// to it from a key frame, and the subtitles tracks' packets met on the way (see readPackets).
PacketsByTrack seekAndReadFromKeyFrame(
    AVFormatContext& context, const StreamIndexSet& seekStreams,
    const std::shared_ptr<VideoTrack>& videoTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks, CMTime to) {
    const AVStream& stream = *context.streams[videoTrack->streamIndex()];
    // Decoding times may lie before the earliest presentation time, which is the start.
    const CMTime start = cmTimeFromTimestamp(context.start_time, av_get_time_base_q())
                             .value_or(platform::kCMTimeZero);
    CMTime seekTime = to;
    double lookBack = kFirstKeyFrameLookBackSeconds;
    for (;;) {
        enableStreams(seekStreams, context);
        seek(context, seekTime);
        PacketsByTrack packets = readPackets(to, videoTrack, subtitlesTracks, context);
        if (!platform::CMTIME_IS_NUMERIC(seekTime) || !platform::CMTIME_IS_NUMERIC(to) ||
            lookBack > kLongestKeyFrameLookBackSeconds ||
            startsFromKeyFrame(packets.packets(*videoTrack), stream, to)) {
            return packets;
        }
        seekTime =
            platform::CMTimeSubtract(to, platform::CMTimeMakeWithSeconds(lookBack, to.timescale));
        if (platform::CMTimeCompare(seekTime, start) <= 0) {
            seekTime = platform::kCMTimeNegativeInfinity;
        }
        lookBack *= 2;
    }
}

}  // namespace

std::optional<std::uint32_t> seekReferenceStreamIndex(std::span<const KeyFrameTime> keyFrameTimes,
                                                      CMTime target) {
    const CMTime windowStart =
        platform::CMTimeSubtract(target, platform::CMTimeMakeWithSeconds(10, target.timescale));
    const KeyFrameTime* picked = nullptr;
    for (const KeyFrameTime& candidate : keyFrameTimes) {
        if (!candidate.time || platform::CMTimeCompare(*candidate.time, windowStart) < 0) {
            continue;
        }
        if (picked == nullptr || platform::CMTimeCompare(*candidate.time, *picked->time) < 0) {
            picked = &candidate;
        }
    }
    return picked != nullptr ? std::optional(picked->streamIndex) : std::nullopt;
}

std::optional<VisualPacket> readVisualPacket(
    const MediaSource& source, const std::shared_ptr<VideoTrack>& videoTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks) {
    requireEmbeddedSubtitlesTracks(subtitlesTracks);
    return source.visualTracksQueue()->sync([&]() -> std::optional<VisualPacket> {
        const StreamIndexSet indexes = visualStreamIndexes(videoTrack, subtitlesTracks);
        if (indexes.empty()) {
            return std::nullopt;
        }
        PacketRef packet = readPacket(indexes, source.formatContextForVisualTracks());
        if (!packet) {
            return std::nullopt;
        }
        auto track =
            trackForStreamIndex(packet->avPacket().stream_index, videoTrack, subtitlesTracks);
        return VisualPacket{std::move(track), std::move(packet)};
    });
}

PacketsByTrack seekVisualTracks(const MediaSource& source,
                                const std::shared_ptr<VideoTrack>& videoTrack,
                                std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks,
                                CMTime to) {
    requireEmbeddedSubtitlesTracks(subtitlesTracks);
    return source.visualTracksQueue()->sync([&] {
        AVFormatContext& context = source.formatContextForVisualTracks();
        const std::vector<KeyFrameTime> times =
            keyFrameTimes(context, videoTrack, subtitlesTracks, to);
        const std::optional<std::uint32_t> reference = seekReferenceStreamIndex(times, to);
        PacketsByTrack earlierSubtitles;
        if (videoTrack && !subtitlesTracks.empty()) {
            try {
                earlierSubtitles = readSubtitlesBeforeSeekPosition(
                    context, *videoTrack, subtitlesTracks, times, reference, to);
            } catch (const FFmpegError&) {
                // Logged where it failed; the seek proper may still succeed, and then only a
                // cue begun before its position is missing.
            }
        }
        const StreamIndexSet seekStreams = reference
                                               ? StreamIndexSet{*reference}
                                               : visualStreamIndexes(videoTrack, subtitlesTracks);
        if (!videoTrack) {
            enableStreams(seekStreams, context);
            seek(context, to);
            return PacketsByTrack();
        }
        PacketsByTrack packets =
            seekAndReadFromKeyFrame(context, seekStreams, videoTrack, subtitlesTracks, to);
        markPacketsOverBy(to, videoTrack->streamTimeBase(), packets.packets(*videoTrack));
        spareLatestPictureOverBy(packets.packets(*videoTrack));
        return withEarlierSubtitles(std::move(earlierSubtitles), std::move(packets));
    });
}

PacketRef readAudioPacket(const MediaSource& source, const AudioTrack& from) {
    requireOnAudioTracksQueue(source);
    return readPacket(StreamIndexSet{from.streamIndex()}, source.formatContextForAudioTracks());
}

std::vector<PacketRef> seekAudioTrack(const MediaSource& source,
                                      const std::shared_ptr<AudioTrack>& track, CMTime to) {
    platform::precondition(track != nullptr, "An audio track to seek is missing.");
    requireOnAudioTracksQueue(source);
    AVFormatContext& context = source.formatContextForAudioTracks();
    // Both contexts hold the same streams under the same indexes, so enabling the video streams
    // here makes the audio context seek to the key frame that the visual side seeks to.
    StreamIndexSet indexes{track->streamIndex()};
    for (const auto& videoTrack : source.videoTracks()) {
        indexes.insert(videoTrack->streamIndex());
    }
    enableStreams(indexes, context);
    seek(context, to);
    return readPackets(to, track, {}, context).takePackets(*track);
}

PacketRef readAudioPacketOnQueue(const MediaSource& source, const AudioTrack& from) {
    return source.audioTracksQueue()->sync([&] { return readAudioPacket(source, from); });
}

std::vector<PacketRef> seekAudioTrackOnQueue(const MediaSource& source,
                                             const std::shared_ptr<AudioTrack>& track, CMTime to) {
    return source.audioTracksQueue()->sync([&] { return seekAudioTrack(source, track, to); });
}

std::vector<PacketRef> seekExternalSubtitlesTrack(const ExternalSubtitlesTrack& track, CMTime to) {
    const std::shared_ptr<SubtitlesTrack>& sourceTrack = track.externalMediaSourceTrack();
    PacketsByTrack packets =
        seekVisualTracks(*track.externalMediaSource(), nullptr, std::span(&sourceTrack, 1), to);
    return packets.takePackets(*sourceTrack);
}

std::optional<CMTime> indexSearchTimestamp(const MediaSource& source, const MediaTrack& track,
                                           CMTime at) {
    platform::precondition(source.visualTracksQueue()->isCurrent(),
                           "The visual context is used only on the visual tracks queue.");
    return indexSearchTimestamp(track, at, source.formatContextForVisualTracks());
}

}  // namespace quillon
