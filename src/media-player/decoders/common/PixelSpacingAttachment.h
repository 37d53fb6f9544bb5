#pragma once

extern "C" {
#include <libavutil/rational.h>
}

#include "platform/corefoundation/CFDictionary.h"

namespace quillon {

// The value of kCVImageBufferPixelAspectRatioKey for a sample aspect ratio: horizontal spacing
// num, vertical spacing den; 1:1 when either is 0 (FFmpeg's "unknown").
platform::CFDictionary pixelSpacingAttachment(AVRational sampleAspectRatio);

}  // namespace quillon
