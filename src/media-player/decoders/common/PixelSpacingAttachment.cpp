#include "media-player/decoders/common/PixelSpacingAttachment.h"

#include <cstdint>

#include "platform/corevideo/CVImageBuffer.h"

namespace quillon {

platform::CFDictionary pixelSpacingAttachment(AVRational sampleAspectRatio) {
    const bool known = sampleAspectRatio.num != 0 && sampleAspectRatio.den != 0;
    return platform::CFDictionary{
        {platform::kCVImageBufferPixelAspectRatioHorizontalSpacingKey,
         std::int64_t{known ? sampleAspectRatio.num : 1}},
        {platform::kCVImageBufferPixelAspectRatioVerticalSpacingKey,
         std::int64_t{known ? sampleAspectRatio.den : 1}},
    };
}

}  // namespace quillon
