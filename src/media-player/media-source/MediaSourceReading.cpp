#include "media-player/media-source/MediaSourceReading.h"

#include <algorithm>
#include <utility>

#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamIndexSet.h"
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
        const std::optional<std::uint32_t> reference =
            seekReferenceStreamIndex(keyFrameTimes(context, videoTrack, subtitlesTracks, to), to);
        enableStreams(reference ? StreamIndexSet{*reference}
                                : visualStreamIndexes(videoTrack, subtitlesTracks),
                      context);
        seek(context, to);
        if (!videoTrack) {
            return PacketsByTrack();
        }
        PacketsByTrack packets = readPackets(to, videoTrack, subtitlesTracks, context);
        markPacketsOverBy(to, videoTrack->streamTimeBase(), packets.packets(*videoTrack));
        return packets;
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
