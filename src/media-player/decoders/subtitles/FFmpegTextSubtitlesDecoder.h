#pragma once

#include <span>
#include <string>
#include <string_view>

#include "media-player/decoders/subtitles/FFmpegSubtitlesDecoder.h"

namespace quillon {

// Plain text: for text codecs whose decoder supplies no ASS script header. Each rectangle gives
// one or more lines; the lines of all rectangles are joined with "\n".
class FFmpegTextSubtitlesDecoder final : public FFmpegSubtitlesDecoder {
public:
    // Takes SUBTITLE_TEXT rectangles as they are and the Text field of SUBTITLE_ASS rectangles
    // (the form libavcodec gives every text codec), with its line breaks made newlines and its
    // override blocks dropped. Rectangles of other kinds, or without text, are skipped; throws
    // FFmpegError unknownSubtitleType when no rectangle had text.
    Subtitles makeSubtitles(std::span<AVSubtitleRect* const> rects) override;

    // The plain text of one ASS event line "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,
    // Effect,Text": \N and \n become newlines, \h a no-break space, {…} blocks are dropped (an
    // unclosed "{" is kept as text). A line with fewer fields is taken as Text alone.
    static std::string plainTextOfASSEvent(std::string_view event);
};

}  // namespace quillon
