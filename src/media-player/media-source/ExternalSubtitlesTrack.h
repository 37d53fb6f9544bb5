#pragma once

#include <memory>
#include <string>

#include "media-player/media-source/SubtitlesTrack.h"

namespace quillon {

class MediaSource;

// A subtitles track of a separate subtitle file, shown with another file's media. It stands for
// the subtitles track of the subtitle file's own source: its packets are read through that
// source, it shares that track's decoder, and its identifier follows that track's.
class ExternalSubtitlesTrack final : public SubtitlesTrack {
public:
    // `track` must be one of `externalMediaSource`'s embedded subtitles tracks: not itself
    // external and without a parent video track. The tags of the file's name stand in for the
    // language, title, forced mark and characteristics that the track itself does not give.
    ExternalSubtitlesTrack(std::shared_ptr<MediaSource> externalMediaSource,
                           std::shared_ptr<SubtitlesTrack> track,
                           SubtitleFileNameTags fileNameTags = {});
    ~ExternalSubtitlesTrack() override;

    static std::shared_ptr<ExternalSubtitlesTrack> make(
        std::shared_ptr<MediaSource> externalMediaSource, std::shared_ptr<SubtitlesTrack> track,
        SubtitleFileNameTags fileNameTags = {}) {
        return std::make_shared<ExternalSubtitlesTrack>(std::move(externalMediaSource),
                                                        std::move(track), std::move(fileNameTags));
    }

    std::string id() const override;

    const std::shared_ptr<MediaSource>& externalMediaSource() const { return externalMediaSource_; }
    const std::shared_ptr<SubtitlesTrack>& externalMediaSourceTrack() const {
        return externalMediaSourceTrack_;
    }

private:
    std::shared_ptr<MediaSource> externalMediaSource_;
    std::shared_ptr<SubtitlesTrack> externalMediaSourceTrack_;
};

}  // namespace quillon
