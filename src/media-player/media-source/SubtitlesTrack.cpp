#include "media-player/media-source/SubtitlesTrack.h"

#include <utility>

#include "media-player/media-source/VideoTrack.h"

namespace quillon {

SubtitlesTrack::SubtitlesTrack(const std::string& sourceID, const AVStream& stream,
                               const std::shared_ptr<VideoTrack>& parentVideoTrack,
                               std::shared_ptr<const platform::FontCollection> documentFonts)
    : MediaTrack(sourceID, stream),
      parentVideoTrack_(parentVideoTrack),
      decoder_(std::make_shared<FFmpegSubtitlesFrameDecoder>(stream, std::move(documentFonts))) {}

SubtitlesTrack::SubtitlesTrack(StandingInFor other)
    : MediaTrack(CopyingFieldsOf{other.track, std::move(other.fileNameTags)}),
      decoder_(other.track.decoder_) {}

SubtitlesTrack::~SubtitlesTrack() = default;

}  // namespace quillon
