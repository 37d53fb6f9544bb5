#pragma once

#include <memory>
#include <optional>
#include <span>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-source/PacketsByTrack.h"
#include "media-player/media-source/StreamIndexSet.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// The demuxing primitives on one format context. They run on the calling thread and assume that
// it holds the context: inside the context's serial queue, or while opening, before anyone else
// knows the context. Times are on the file's own time line (packet timestamps), not media time.
// Failures are thrown as FFmpegError after they were logged.

// Lets the demuxer deliver the streams of the set and skip all others (AVDISCARD_ALL). The
// streams enabled while seeking with stream index -1 also decide whose index FFmpeg follows.
void enableStreams(const StreamIndexSet& indexes, AVFormatContext& context);

// The next packet of any stream of the set, or null at the end of the file. Enables exactly the
// set first; packets of other streams that still arrive are released on the spot. EAGAIN is
// retried; the end of the file is neither logged nor thrown.
PacketRef readPacket(const StreamIndexSet& indexes, AVFormatContext& context);

// Moves the read position to the key frame at or before `time` (of the enabled streams' reference
// stream). When FFmpeg answers ERANGE, tries once more without the backward flag; in a file that
// states no start (a subtitles file), a time at or before zero is sought forward at once. A time
// that is not numeric cannot be sought to: positive infinity goes to the end, negative infinity to
// the start, invalid and indefinite are refused with EINVAL.
void seek(AVFormatContext& context, platform::CMTime time);

// The time of the last key frame at or before `time` in FFmpeg's index of the track's stream;
// none when the index has no such entry, when that entry has no (representable) timestamp or
// when the track's time base or stream index make no sense for the context.
std::optional<platform::CMTime> indexSearchTimestamp(const MediaTrack& track, platform::CMTime time,
                                                     AVFormatContext& context);

// Of a primary track (or none) and further tracks, the one that packets of `streamIndex` belong
// to: the last with that index, so that a later track replaces an earlier one of the same stream;
// none when no track has it.
template <typename PrimaryTrack>
std::shared_ptr<MediaTrack> trackForStreamIndex(
    int streamIndex, const std::shared_ptr<PrimaryTrack>& primaryTrack,
    std::span<const std::shared_ptr<SubtitlesTrack>> furtherTracks) {
    for (auto further = furtherTracks.rbegin(); further != furtherTracks.rend(); ++further) {
        if (static_cast<int>((*further)->streamIndex()) == streamIndex) {
            return *further;
        }
    }
    if (primaryTrack && static_cast<int>(primaryTrack->streamIndex()) == streamIndex) {
        return primaryTrack;
    }
    return nullptr;
}

// Reads on from the current position until the primary track reaches `until`: the primary
// track's packets from the last key frame met before the target to the first packet at or after
// it (that one included; or from the first packet read when no key frame came), and every packet
// of the further tracks read on the way. A primary packet without a (representable) time ends the
// loop as its last packet. The end of the file ends it early without an error.
PacketsByTrack readPackets(platform::CMTime until, const std::shared_ptr<MediaTrack>& primaryTrack,
                           std::span<const std::shared_ptr<SubtitlesTrack>> furtherTracks,
                           AVFormatContext& context);

// Flags (AV_PKT_FLAG_DISCARD) the packets of a video track, read by a seek to `target`, whose
// pictures are over by the target: those that end at or before it, or, without a duration, start
// before it. Such a picture is decoded only for the pictures that refer to it and is never shown,
// so a decoder may drop its output, and skip it altogether when nothing refers to it. Packets
// without a (representable) time are left as they are.
void markPacketsOverBy(platform::CMTime target, AVRational timeBase,
                       std::span<const PacketRef> packets);

// Takes the flag off the latest of the flagged packets (by presentation time), so that its
// picture is given out: where no picture covers the target (one past the end of the picture), it
// is the one to show.
void spareLatestPictureOverBy(std::span<const PacketRef> packets);

}  // namespace quillon
