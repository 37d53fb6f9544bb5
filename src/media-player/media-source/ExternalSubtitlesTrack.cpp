#include "media-player/media-source/ExternalSubtitlesTrack.h"

#include <utility>

#include "media-player/media-source/MediaSource.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

const SubtitlesTrack& standIn(const std::shared_ptr<SubtitlesTrack>& track) {
    platform::precondition(track != nullptr, "An external subtitles track needs a track.");
    platform::precondition(dynamic_cast<const ExternalSubtitlesTrack*>(track.get()) == nullptr,
                           "An external subtitles track cannot stand for another external one.");
    platform::precondition(track->parentVideoTrack() == nullptr,
                           "An external subtitles track cannot belong to a video track.");
    return *track;
}

}  // namespace

ExternalSubtitlesTrack::ExternalSubtitlesTrack(std::shared_ptr<MediaSource> externalMediaSource,
                                               std::shared_ptr<SubtitlesTrack> track,
                                               SubtitleFileNameTags fileNameTags)
    : SubtitlesTrack(StandingInFor{standIn(track), std::move(fileNameTags)}),
      externalMediaSource_(std::move(externalMediaSource)),
      externalMediaSourceTrack_(std::move(track)) {}

ExternalSubtitlesTrack::~ExternalSubtitlesTrack() = default;

std::string ExternalSubtitlesTrack::id() const {
    return externalMediaSourceTrack_->id();
}

}  // namespace quillon
