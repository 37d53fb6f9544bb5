#pragma once

#include <optional>

#include "media-player/media-types/VideoDimensions.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

// A subtitle bitmap as colour pixels and where it goes on the picture.
struct ImageSubtitle {
    // 'BGRA' pixels with alpha; shared between the copies of a frame, never written after it is
    // made.
    platform::CVPixelBufferRef image;
    // In the pixels of the picture that videoDimensions describes, origin at the top left.
    platform::CGRect imageFrame;
    // Absent when the stream does not say how large its canvas is.
    std::optional<VideoDimensions> videoDimensions;
};

}  // namespace quillon
