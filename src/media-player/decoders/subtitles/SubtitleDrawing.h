#pragma once

#include <memory>
#include <optional>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"

// Kept out of this header: it reaches code that must not see the toolkit's keyword macros.
class QPainterPath;

namespace quillon {

// A shape of an event's drawing mode, filled in the primary colour and outlined as the text
// around it would be. Coordinates are pixels of the script's canvas, stretched to the picture.
struct SubtitleDrawing {
    // Never null; immutable and shared between the copies of a frame.
    std::shared_ptr<const QPainterPath> path;
    platform::CGSize canvasSize;
    platform::NSColor fillColor = platform::NSColor::whiteColor();
    std::optional<platform::NSColor> outlineColor;
    // In canvas pixels.
    platform::CGFloat outlineWidth = 0;
};

}  // namespace quillon
