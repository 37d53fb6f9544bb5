#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVBuffer.h"

namespace quillon {

// The content light level of HDR video, in candelas per square metre.
struct ContentLightLevel {
    unsigned MaxCLL = 0;   // maximum content light level
    unsigned MaxFALL = 0;  // maximum frame-average light level

    friend bool operator==(const ContentLightLevel&, const ContentLightLevel&) = default;
};

inline constexpr std::size_t masteringDisplayColorVolumeSize = 24;
inline constexpr std::size_t contentLightLevelInfoSize = 4;

// The 24-byte mastering display colour volume block (big-endian): the green, blue and red
// primaries and the white point as x, y × 50000 in 16 bits, then the maximum and minimum
// luminance × 10000 in 32 bits. Primaries or luminances that the metadata does not have stay
// zero. Null, with one line logged, when a value it has cannot be encoded (a zero denominator,
// a negative value or one beyond the field's range): a block with a wrong value in it must never
// reach the display.
platform::CFDataRef makeMasteringDisplayColorVolumeData(const AVMasteringDisplayMetadata& metadata);

// The 4-byte content light level block (big-endian): MaxCLL, then MaxFALL, in 16 bits each.
// Null, with one line logged, when either is above 65535.
platform::CFDataRef makeContentLightLevelInfoData(unsigned maxCLL, unsigned maxFALL);
inline platform::CFDataRef makeContentLightLevelInfoData(const ContentLightLevel& level) {
    return makeContentLightLevelInfoData(level.MaxCLL, level.MaxFALL);
}

// Sets the two HDR blocks as propagating attachments of the buffer; a null block removes its
// attachment, so that a reused buffer never keeps another picture's metadata.
void attachHDRMetadata(const platform::CVBufferRef& buffer,
                       const platform::CFDataRef& masteringDisplayColorVolume,
                       const platform::CFDataRef& contentLightLevelInfo);

}  // namespace quillon
