#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "media-player/media-source/AudioTrack.h"
#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-source/PacketsByTrack.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-source/VideoTrack.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Reading and seeking a source's tracks, for the data providers. Times are on the file's own
// time line: a media position plus the source's startTime. Read and seek failures are thrown as
// FFmpegError after they were logged; the end of the file is no failure.
//
// The visual operations take the video track (or none) and any number of the source's embedded
// subtitles tracks; passing an ExternalSubtitlesTrack stops the process (its packets come from
// its own source, through seekExternalSubtitlesTrack and that source's readVisualPacket). They
// enter the source's visualTracksQueue synchronously, so the caller must not be on it. The audio
// operations expect to run inside a synchronous dispatch on the source's audioTracksQueue (the
// ...OnQueue forms enter it themselves), so that a seek and the reads that follow it are one
// uninterrupted sequence for their caller.

// One packet of the visual context with the track that it belongs to (the video track or one of
// the subtitles tracks that were asked for).
struct VisualPacket {
    std::shared_ptr<MediaTrack> track;
    PacketRef packet;
};

// The next packet of the video track or of the subtitles tracks, in the order in which the file
// interleaves them; none at the end of the file, or when no track is asked for (then nothing is
// read).
std::optional<VisualPacket> readVisualPacket(
    const MediaSource& source, const std::shared_ptr<VideoTrack>& videoTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks);

// Seeks the visual context to `to` and, with a video track, reads on to it: the video track's
// packets from the last key frame before the target to the first packet at or after it, and the
// subtitles tracks' packets met on the way. Where the seek lands past that key frame (a file
// without an index is searched by decoding times, which need not be those of key frames), it
// seeks again further back, so that the packets start with a key frame wherever one lies not
// too far back. Without a video track only the position moves and nothing is returned. The seek
// follows the stream whose indexed key frame lies earliest within the 10 seconds before the target,
// so that the subtitle events on screen at the target are read. The video packets whose pictures
// are over by the target carry AV_PKT_FLAG_DISCARD (see markPacketsOverBy): the video decoder then
// neither gives them out nor, where it can tell, decodes those that no other picture refers to;
// the latest of them is spared, for a target past the last picture (see spareLatestPictureOverBy).
PacketsByTrack seekVisualTracks(const MediaSource& source,
                                const std::shared_ptr<VideoTrack>& videoTrack,
                                std::span<const std::shared_ptr<SubtitlesTrack>> subtitlesTracks,
                                platform::CMTime to);

// The next packet of the audio track; none at the end of the file. Inside audioTracksQueue.
PacketRef readAudioPacket(const MediaSource& source, const AudioTrack& from);

// Seeks the audio context to `to` (following the video streams' key frames, as the visual side
// does) and reads on to it: the track's packets from the last key frame before the target to the
// first packet at or after it. Inside audioTracksQueue.
std::vector<PacketRef> seekAudioTrack(const MediaSource& source,
                                      const std::shared_ptr<AudioTrack>& track,
                                      platform::CMTime to);

// readAudioPacket and seekAudioTrack in a synchronous dispatch on the source's audioTracksQueue.
PacketRef readAudioPacketOnQueue(const MediaSource& source, const AudioTrack& from);
std::vector<PacketRef> seekAudioTrackOnQueue(const MediaSource& source,
                                             const std::shared_ptr<AudioTrack>& track,
                                             platform::CMTime to);

// Moves the track's own source (the subtitle file) to `to`. Returns no packets: the caller then
// reads on with readVisualPacket on track.externalMediaSource(), no video track and the one
// track track.externalMediaSourceTrack().
std::vector<PacketRef> seekExternalSubtitlesTrack(const ExternalSubtitlesTrack& track,
                                                  platform::CMTime to);

// The last indexed key frame at or before a seek target of one stream; none when the index has
// none.
struct KeyFrameTime {
    std::uint32_t streamIndex;
    std::optional<platform::CMTime> time;
};

// The stream whose key frame a visual seek follows: of the streams whose key frame lies within
// the 10 seconds before the target, the one with the earliest (the first of equal ones). Seeking
// on it lands early enough for every one of them; a stream with an older key frame, or none
// indexed, would drag the position far back and is left out. None when no stream qualifies: the
// seek then follows FFmpeg's own choice among all the streams asked for.
std::optional<std::uint32_t> seekReferenceStreamIndex(std::span<const KeyFrameTime> keyFrameTimes,
                                                      platform::CMTime target);

// The time of the track's last key frame at or before `at`, from the index of the visual
// context; none when the index has none. Inside visualTracksQueue.
std::optional<platform::CMTime> indexSearchTimestamp(const MediaSource& source,
                                                     const MediaTrack& track, platform::CMTime at);

}  // namespace quillon
