#include "media-player/media-source/VideoTrack.h"

#include <cmath>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/StreamSideData.h"
#include "media-player/media-source/SubtitlesTrack.h"

namespace quillon {

namespace {

// Cover pictures are artwork, never video; refusing them before a decoder is made also spares
// opening one for nothing.
std::shared_ptr<FFmpegVideoDecoder> makeDecoder(const AVStream& stream) {
    if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
        throw FFmpegError::unsupportedMediaType();
    }
    auto decoder = std::make_shared<FFmpegVideoDecoder>(stream);
    const AVCodecContext& context = decoder->decoderContext();
    if (!VideoDimensions::isValid(context.width, context.height, 1)) {
        throw FFmpegError::unsupportedMediaType();
    }
    return decoder;
}

std::optional<AVRational> frameRate(const AVCodecContext& context, const AVStream& stream) {
    // libavformat 5.1 keeps the frame rate it found while probing to itself (the codec
    // parameters gained the field only later), so an opened decoder knows it only when the
    // stream's headers state it; the stream's average frame rate is what probing found.
    for (const AVRational rate : {context.framerate, stream.avg_frame_rate}) {
        if (rate.num != 0 && rate.den != 0) {
            return rate;
        }
    }
    return std::nullopt;
}

}  // namespace

double pixelAspectRatio(AVRational sampleAspectRatio) {
    const double ratio =
        static_cast<double>(sampleAspectRatio.num) / static_cast<double>(sampleAspectRatio.den);
    if (!std::isfinite(ratio) || !(ratio > 0)) {
        return 1.0;
    }
    return ratio;
}

namespace {

// The container's pixel shape wins over the bitstream's: a Matroska display size or an MP4
// 'pasp' box is how muxers mark anamorphic pictures whose codec headers say square pixels (or
// nothing). This is the shape FFmpeg's own tools show.
AVRational sampleAspectRatio(const AVStream& stream, const AVCodecContext& decoderContext) {
    // Only reads the stream (and its codec parameters); it takes no const pointers.
    const AVRational guessed =
        av_guess_sample_aspect_ratio(nullptr, const_cast<AVStream*>(&stream), nullptr);
    if (guessed.num > 0 && guessed.den > 0) {
        return guessed;
    }
    return decoderContext.sample_aspect_ratio;
}

}  // namespace

VideoTrack::VideoTrack(const std::string& sourceID, const AVStream& stream)
    : VideoTrack(sourceID, stream, makeDecoder(stream)) {}

VideoTrack::VideoTrack(const std::string& sourceID, const AVStream& stream,
                       std::shared_ptr<FFmpegVideoDecoder> decoder)
    : MediaTrack(sourceID, stream),
      dimensions_(decoder->decoderContext().width, decoder->decoderContext().height,
                  readDisplayMatrix(stream),
                  pixelAspectRatio(sampleAspectRatio(stream, decoder->decoderContext()))),
      frameRate_(quillon::frameRate(decoder->decoderContext(), stream)),
      decoder_(std::move(decoder)) {}

VideoTrack::~VideoTrack() = default;

}  // namespace quillon
