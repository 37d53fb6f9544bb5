#pragma once

#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "platform/graphics/NSAttributedString.h"

namespace quillon {

// A subtitle of attributed text, laid out at the style's unscaled font sizes; the style says
// where in the picture it goes and how it scales with the picture.
struct FormattedTextSubtitle {
    // Immutable and shared between the copies of a frame.
    platform::NSAttributedStringRef formattedText;
    SubtitleTextStyle style;
};

}  // namespace quillon
