#include "platform/corevideo/CVPixelFormatLayout.h"

#include <array>

#include "platform/corevideo/CVPixelFormatType.h"

namespace platform {

namespace {

using Plane = CVPixelFormatPlaneLayout;
using Range = CVPixelFormatComponentRange;

constexpr std::array<Plane, 1> packed8{{{8}}};
constexpr std::array<Plane, 1> packed16{{{16}}};
constexpr std::array<Plane, 1> packed24{{{24}}};
constexpr std::array<Plane, 1> packed32{{{32}}};
constexpr std::array<Plane, 1> packed64{{{64}}};
constexpr std::array<Plane, 1> packed128{{{128}}};
// 4:2:2 packed: two pixels share one Cb and one Cr sample.
constexpr std::array<Plane, 1> packed422x8{{{32, 2}}};
constexpr std::array<Plane, 1> packed422x16{{{64, 2}}};
// v210: six pixels in four 32-bit words.
constexpr std::array<Plane, 1> packedV210{{{128, 6}}};
// Y, Cb, Cr planes at 4:2:0.
constexpr std::array<Plane, 3> planar420x8{{{8}, {8, 1, 2, 2}, {8, 1, 2, 2}}};
// Y plane, then interleaved CbCr at 4:2:0 or 4:2:2.
constexpr std::array<Plane, 2> biPlanar420x8{{{8}, {16, 1, 2, 2}}};
constexpr std::array<Plane, 2> biPlanar420x16{{{16}, {32, 1, 2, 2}}};
constexpr std::array<Plane, 2> biPlanar422x16{{{16}, {32, 1, 2, 1}}};
// 4:2:2 packed YCbCr, then alpha.
constexpr std::array<Plane, 2> biPlanar422WithAlpha{{{32, 2}, {8}}};
// Y, interleaved CbCr at 4:2:0, alpha.
constexpr std::array<Plane, 3> triPlanar420WithAlpha{{{8}, {16, 1, 2, 2}, {8}}};

constexpr std::array layouts{
    CVPixelFormatLayout{kCVPixelFormatType_24RGB, "kCVPixelFormatType_24RGB", true, false, false,
                        false, Range::none, false, packed24},
    CVPixelFormatLayout{kCVPixelFormatType_32ARGB, "kCVPixelFormatType_32ARGB", true, false, false,
                        true, Range::none, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_32BGRA, "kCVPixelFormatType_32BGRA", true, false, false,
                        true, Range::none, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_64ARGB, "kCVPixelFormatType_64ARGB", true, false, false,
                        true, Range::none, false, packed64},
    CVPixelFormatLayout{kCVPixelFormatType_30RGB, "kCVPixelFormatType_30RGB", true, false, false,
                        false, Range::none, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr8, "kCVPixelFormatType_422YpCbCr8", false, true,
                        false, false, Range::video, false, packed422x8},
    CVPixelFormatLayout{kCVPixelFormatType_4444YpCbCrA8, "kCVPixelFormatType_4444YpCbCrA8", false,
                        true, false, true, Range::video, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_4444YpCbCrA8R, "kCVPixelFormatType_4444YpCbCrA8R", false,
                        true, false, true, Range::full, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_4444AYpCbCr8, "kCVPixelFormatType_4444AYpCbCr8", false,
                        true, false, true, Range::video, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr16, "kCVPixelFormatType_422YpCbCr16", false,
                        true, false, false, Range::video, false, packed422x16},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr10, "kCVPixelFormatType_422YpCbCr10", false,
                        true, false, false, Range::video, false, packedV210, 8},
    CVPixelFormatLayout{kCVPixelFormatType_444YpCbCr10, "kCVPixelFormatType_444YpCbCr10", false,
                        true, false, false, Range::video, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr8Planar, "kCVPixelFormatType_420YpCbCr8Planar",
                        false, true, false, false, Range::video, true, planar420x8},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr8PlanarFullRange,
                        "kCVPixelFormatType_420YpCbCr8PlanarFullRange", false, true, false, false,
                        Range::full, true, planar420x8},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr_4A_8BiPlanar,
                        "kCVPixelFormatType_422YpCbCr_4A_8BiPlanar", false, true, false, true,
                        Range::video, true, biPlanar422WithAlpha},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                        "kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange", false, true, false,
                        false, Range::video, true, biPlanar420x8},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr8BiPlanarFullRange,
                        "kCVPixelFormatType_420YpCbCr8BiPlanarFullRange", false, true, false, false,
                        Range::full, true, biPlanar420x8},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr8_yuvs, "kCVPixelFormatType_422YpCbCr8_yuvs",
                        false, true, false, false, Range::video, false, packed422x8},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr8FullRange,
                        "kCVPixelFormatType_422YpCbCr8FullRange", false, true, false, false,
                        Range::full, false, packed422x8},
    CVPixelFormatLayout{kCVPixelFormatType_OneComponent8, "kCVPixelFormatType_OneComponent8", false,
                        false, true, false, Range::none, false, packed8},
    CVPixelFormatLayout{kCVPixelFormatType_OneComponent16Half,
                        "kCVPixelFormatType_OneComponent16Half", false, false, true, false,
                        Range::none, false, packed16},
    CVPixelFormatLayout{kCVPixelFormatType_OneComponent32Float,
                        "kCVPixelFormatType_OneComponent32Float", false, false, true, false,
                        Range::none, false, packed32},
    CVPixelFormatLayout{kCVPixelFormatType_64RGBAHalf, "kCVPixelFormatType_64RGBAHalf", true, false,
                        false, true, Range::none, false, packed64},
    CVPixelFormatLayout{kCVPixelFormatType_128RGBAFloat, "kCVPixelFormatType_128RGBAFloat", true,
                        false, false, true, Range::none, false, packed128},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
                        "kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange", false, true, false,
                        false, Range::video, true, biPlanar420x16},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange,
                        "kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange", false, true, false,
                        false, Range::video, true, biPlanar422x16},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr10BiPlanarFullRange,
                        "kCVPixelFormatType_420YpCbCr10BiPlanarFullRange", false, true, false,
                        false, Range::full, true, biPlanar420x16},
    CVPixelFormatLayout{kCVPixelFormatType_422YpCbCr10BiPlanarFullRange,
                        "kCVPixelFormatType_422YpCbCr10BiPlanarFullRange", false, true, false,
                        false, Range::full, true, biPlanar422x16},
    CVPixelFormatLayout{kCVPixelFormatType_420YpCbCr8VideoRange_8A_TriPlanar,
                        "kCVPixelFormatType_420YpCbCr8VideoRange_8A_TriPlanar", false, true, false,
                        true, Range::video, true, triPlanar420WithAlpha},
    CVPixelFormatLayout{kCVPixelFormatType_4444AYpCbCr16, "kCVPixelFormatType_4444AYpCbCr16", false,
                        true, false, true, Range::video, false, packed64},
};

}  // namespace

std::span<const CVPixelFormatLayout> CVPixelFormatLayouts() {
    return layouts;
}

const CVPixelFormatLayout* CVPixelFormatLayoutForType(OSType pixelFormat) {
    for (const CVPixelFormatLayout& layout : layouts) {
        if (layout.pixelFormat == pixelFormat) {
            return &layout;
        }
    }
    return nullptr;
}

}  // namespace platform
