#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/corefoundation/CFBase.h"

namespace platform {

// How one plane of a pixel format stores its pixels: blocks of blockWidth pixels in
// bitsPerBlock bits, at 1/horizontalSubsampling × 1/verticalSubsampling of the picture's size.
struct CVPixelFormatPlaneLayout {
    std::uint32_t bitsPerBlock;
    std::uint32_t blockWidth = 1;
    std::uint32_t horizontalSubsampling = 1;
    std::uint32_t verticalSubsampling = 1;

    std::uint32_t bytesPerBlock() const { return bitsPerBlock / 8; }
};

enum class CVPixelFormatComponentRange { none, video, full };

// The memory layout and content of one pixel format: the one source of the buffers' plane
// geometry and of the format descriptions.
struct CVPixelFormatLayout {
    OSType pixelFormat;
    std::string_view constantName;
    bool containsRGB = false;
    bool containsYCbCr = false;
    bool containsGrayscale = false;
    bool containsAlpha = false;
    CVPixelFormatComponentRange componentRange = CVPixelFormatComponentRange::none;
    // Planar formats keep each plane apart; the others have exactly one plane layout.
    bool planar = false;
    std::span<const CVPixelFormatPlaneLayout> planes;
    // Rows of some packed formats come in groups of blocks (v210: 48 pixels in 128 bytes).
    std::uint32_t blockHorizontalAlignment = 1;
};

// Every format that pixel buffers can have, in a fixed order; null for an unknown code.
std::span<const CVPixelFormatLayout> CVPixelFormatLayouts();
const CVPixelFormatLayout* CVPixelFormatLayoutForType(OSType pixelFormat);

}  // namespace platform
