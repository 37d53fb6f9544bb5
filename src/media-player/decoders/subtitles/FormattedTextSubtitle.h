#pragma once

#include <vector>

#include "media-player/decoders/subtitles/SubtitleDrawing.h"
#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "platform/graphics/NSAttributedString.h"

namespace quillon {

// A subtitle of attributed text, laid out at the style's unscaled font sizes; the style says
// where in the picture it goes and how it scales with the picture.
struct FormattedTextSubtitle {
    // Immutable and shared between the copies of a frame.
    platform::NSAttributedStringRef formattedText;
    SubtitleTextStyle style;
    // The shapes of the event's drawing mode, placed together as one box by the style.
    std::vector<SubtitleDrawing> drawings = {};
};

}  // namespace quillon
