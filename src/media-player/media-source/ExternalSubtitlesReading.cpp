#include "media-player/media-source/ExternalSubtitlesReading.h"

#include <span>
#include <utility>

#include "media-player/media-source/InputFormatContext.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamIndexSet.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

// A context of the track's file in which the track's stream index names the same stream as in
// the source's own; none when the file no longer opens, or opens differently.
AVFormatContextPointer openOwnContext(const ExternalSubtitlesTrack& track) {
    const MediaSource& source = *track.externalMediaSource();
    AVFormatContextPointer context;
    try {
        context = makeInputFormatContext(source.url());
    } catch (const platform::Error& error) {
        platform::logWarning("Reading external subtitles through the shared context of {}: {}",
                             source.url().path(), error.localizedDescription());
        return nullptr;
    }
    const AVFormatContext& shared = source.formatContextForVisualTracks();
    const std::uint32_t index = track.streamIndex();
    if (context->nb_streams != shared.nb_streams || index >= context->nb_streams ||
        context->streams[index]->codecpar->codec_id != shared.streams[index]->codecpar->codec_id ||
        av_cmp_q(context->streams[index]->time_base, shared.streams[index]->time_base) != 0) {
        platform::logWarning(
            "Reading external subtitles through the shared context of {}: the file "
            "changed since it was opened",
            source.url().path());
        return nullptr;
    }
    return context;
}

}  // namespace

ExternalSubtitlesReading::ExternalSubtitlesReading(std::shared_ptr<ExternalSubtitlesTrack> track)
    : track_(std::move(track)), context_(openOwnContext(*track_)) {}

ExternalSubtitlesReading::~ExternalSubtitlesReading() = default;

PacketRef ExternalSubtitlesReading::readPacket() {
    if (context_) {
        return quillon::readPacket(StreamIndexSet{track_->streamIndex()}, *context_);
    }
    const std::shared_ptr<SubtitlesTrack> fileTracks[] = {track_->externalMediaSourceTrack()};
    auto next = readVisualPacket(*track_->externalMediaSource(), nullptr, fileTracks);
    return next ? std::move(next->packet) : nullptr;
}

std::vector<PacketRef> ExternalSubtitlesReading::seek(platform::CMTime to) {
    if (context_) {
        enableStreams(StreamIndexSet{track_->streamIndex()}, *context_);
        quillon::seek(*context_, to);
        return {};
    }
    return seekExternalSubtitlesTrack(*track_, to);
}

}  // namespace quillon
