#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-types/WeakReference.h"

namespace quillon {

class VideoTrack;

// A subtitles stream with its decoder. Embedded ones are read from their source's visual
// context; an ExternalSubtitlesTrack (a subclass) comes from a subtitle file of its own.
class SubtitlesTrack : public MediaTrack {
public:
    // Throws what the subtitles decoder throws for the stream (unsupportedMediaType for a stream
    // that is not a subtitle stream, decoderNotFound, ...). Styled subtitles look the fonts
    // they name up in `documentFonts` first.
    SubtitlesTrack(const std::string& sourceID, const AVStream& stream,
                   const std::shared_ptr<VideoTrack>& parentVideoTrack,
                   std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);
    ~SubtitlesTrack() override;

    static std::shared_ptr<SubtitlesTrack> make(
        const std::string& sourceID, const AVStream& stream,
        const std::shared_ptr<VideoTrack>& parentVideoTrack = nullptr,
        std::shared_ptr<const platform::FontCollection> documentFonts = nullptr) {
        return std::make_shared<SubtitlesTrack>(sourceID, stream, parentVideoTrack,
                                                std::move(documentFonts));
    }

    // Not kept alive by the subtitles track; none for every track a source opens.
    std::shared_ptr<VideoTrack> parentVideoTrack() const { return parentVideoTrack_.object(); }
    const std::shared_ptr<FFmpegSubtitlesFrameDecoder>& decoder() const { return decoder_; }

protected:
    // A copy of another track's fields that shares its decoder object and has no parent
    // (external subtitles), with what its file's name adds.
    struct StandingInFor {
        const SubtitlesTrack& track;
        SubtitleFileNameTags fileNameTags = {};
    };
    explicit SubtitlesTrack(StandingInFor other);

private:
    WeakReference<VideoTrack> parentVideoTrack_;
    std::shared_ptr<FFmpegSubtitlesFrameDecoder> decoder_;
};

}  // namespace quillon
