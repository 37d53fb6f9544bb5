#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

#include "media-player/decoders/video/FFmpegVideoDecoder.h"
#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-types/VideoDimensions.h"

namespace quillon {

class SubtitlesTrack;

// A video stream with its opened decoder.
class VideoTrack : public MediaTrack {
public:
    // Refuses, with a thrown FFmpegError, a stream that is an attached picture
    // (unsupportedMediaType, before any decoder is made), any stream the video decoder refuses,
    // and a stream whose opened decoder reports no picture size (unsupportedMediaType): a
    // picture without width or height can't be shown.
    VideoTrack(const std::string& sourceID, const AVStream& stream);
    ~VideoTrack() override;

    static std::shared_ptr<VideoTrack> make(const std::string& sourceID, const AVStream& stream) {
        return std::make_shared<VideoTrack>(sourceID, stream);
    }

    const VideoDimensions& dimensions() const { return dimensions_; }
    // The decoder's frame rate, else the stream's average one; absent when neither has two
    // non-zero terms.
    std::optional<AVRational> frameRate() const { return frameRate_; }
    // Always empty: no subtitles are tied to a video track.
    const std::vector<std::shared_ptr<SubtitlesTrack>>& embeddedSubtitlesTracks() const {
        return embeddedSubtitlesTracks_;
    }
    const std::shared_ptr<FFmpegVideoDecoder>& decoder() const { return decoder_; }

private:
    VideoTrack(const std::string& sourceID, const AVStream& stream,
               std::shared_ptr<FFmpegVideoDecoder> decoder);

    VideoDimensions dimensions_;
    std::optional<AVRational> frameRate_;
    std::vector<std::shared_ptr<SubtitlesTrack>> embeddedSubtitlesTracks_;
    std::shared_ptr<FFmpegVideoDecoder> decoder_;
};

// The pixel aspect ratio of a sample aspect ratio; 1 when it is unset, zero, negative or not
// finite.
double pixelAspectRatio(AVRational sampleAspectRatio);

}  // namespace quillon
