#include "media-player/decoders/subtitles/FFmpegFormattedTextSubtitlesDecoder.h"

#include <iterator>
#include <utility>
#include <vector>

namespace quillon {

FFmpegFormattedTextSubtitlesDecoder::FFmpegFormattedTextSubtitlesDecoder(
    std::shared_ptr<ASSDecoder> assDecoder)
    : assDecoder_(std::move(assDecoder)) {}

Subtitles FFmpegFormattedTextSubtitlesDecoder::makeSubtitles(
    std::span<AVSubtitleRect* const> rects) {
    std::vector<FormattedTextSubtitle> subtitles;
    for (const AVSubtitleRect* rect : rects) {
        if (!rect || !rect->ass) {
            throw ASSDecoder::DecodingError::invalidDialogBytes();
        }
        std::vector<FormattedTextSubtitle> events = assDecoder_->formattedTextSubtitles(rect->ass);
        subtitles.insert(subtitles.end(), std::make_move_iterator(events.begin()),
                         std::make_move_iterator(events.end()));
    }
    return Subtitles::formattedText(std::move(subtitles));
}

}  // namespace quillon
