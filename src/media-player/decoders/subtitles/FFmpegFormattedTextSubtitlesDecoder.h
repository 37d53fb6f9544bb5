#pragma once

#include <memory>
#include <span>

#include "media-player/decoders/subtitles/ASSDecoder.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesDecoder.h"

namespace quillon {

// Formatted text: for text codecs whose decoder supplies an ASS script header. Every event of
// every rectangle becomes one formatted-text subtitle, in order.
class FFmpegFormattedTextSubtitlesDecoder final : public FFmpegSubtitlesDecoder {
public:
    explicit FFmpegFormattedTextSubtitlesDecoder(std::shared_ptr<ASSDecoder> assDecoder);

    // Throws ASSDecoder::DecodingError invalidDialogBytes for a rectangle without ASS text or
    // without an event, and FFmpegError for an event whose override block is not closed.
    Subtitles makeSubtitles(std::span<AVSubtitleRect* const> rects) override;

    const std::shared_ptr<ASSDecoder>& assDecoder() const { return assDecoder_; }

private:
    std::shared_ptr<ASSDecoder> assDecoder_;
};

}  // namespace quillon
