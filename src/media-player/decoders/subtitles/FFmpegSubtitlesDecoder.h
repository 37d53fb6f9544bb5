#pragma once

#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media-player/decoders/subtitles/Subtitles.h"

namespace quillon {

// Turns the rectangles of one decoded AVSubtitle into the subtitles to show. One implementation
// per kind of subtitle stream (plain text, formatted ASS text, bitmaps), chosen once when the
// stream's decoder is made.
class FFmpegSubtitlesDecoder {
public:
    virtual ~FFmpegSubtitlesDecoder() = default;

    // The rectangles are read in order, in place in FFmpeg's memory. Throws when a rectangle
    // cannot be turned into a subtitle.
    virtual Subtitles makeSubtitles(std::span<AVSubtitleRect* const> rects) = 0;
};

}  // namespace quillon
