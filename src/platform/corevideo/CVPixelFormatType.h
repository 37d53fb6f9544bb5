#pragma once

#include "platform/corefoundation/CFBase.h"

namespace platform {

// Pixel-format codes of pixel buffers: four-character codes, except the two classic packed RGB
// formats, whose codes are their bit depths.
inline constexpr OSType kCVPixelFormatType_24RGB = 0x00000018;
inline constexpr OSType kCVPixelFormatType_32ARGB = 0x00000020;
inline constexpr OSType kCVPixelFormatType_32BGRA = fourCharCode("BGRA");
inline constexpr OSType kCVPixelFormatType_64ARGB = fourCharCode("b64a");
inline constexpr OSType kCVPixelFormatType_30RGB = fourCharCode("R10k");
inline constexpr OSType kCVPixelFormatType_422YpCbCr8 = fourCharCode("2vuy");
inline constexpr OSType kCVPixelFormatType_4444YpCbCrA8 = fourCharCode("v408");
inline constexpr OSType kCVPixelFormatType_4444YpCbCrA8R = fourCharCode("r408");
inline constexpr OSType kCVPixelFormatType_4444AYpCbCr8 = fourCharCode("y408");
inline constexpr OSType kCVPixelFormatType_4444AYpCbCr16 = fourCharCode("y416");
inline constexpr OSType kCVPixelFormatType_422YpCbCr16 = fourCharCode("v216");
inline constexpr OSType kCVPixelFormatType_422YpCbCr10 = fourCharCode("v210");
inline constexpr OSType kCVPixelFormatType_444YpCbCr10 = fourCharCode("v410");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8Planar = fourCharCode("y420");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8PlanarFullRange = fourCharCode("f420");
inline constexpr OSType kCVPixelFormatType_422YpCbCr_4A_8BiPlanar = fourCharCode("a2vy");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange = fourCharCode("420v");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8BiPlanarFullRange = fourCharCode("420f");
inline constexpr OSType kCVPixelFormatType_422YpCbCr8_yuvs = fourCharCode("yuvs");
inline constexpr OSType kCVPixelFormatType_422YpCbCr8FullRange = fourCharCode("yuvf");
inline constexpr OSType kCVPixelFormatType_OneComponent8 = fourCharCode("L008");
inline constexpr OSType kCVPixelFormatType_OneComponent16Half = fourCharCode("L00h");
inline constexpr OSType kCVPixelFormatType_OneComponent32Float = fourCharCode("L00f");
inline constexpr OSType kCVPixelFormatType_64RGBAHalf = fourCharCode("RGhA");
inline constexpr OSType kCVPixelFormatType_128RGBAFloat = fourCharCode("RGfA");
inline constexpr OSType kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange = fourCharCode("x420");
inline constexpr OSType kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange = fourCharCode("x422");
inline constexpr OSType kCVPixelFormatType_420YpCbCr10BiPlanarFullRange = fourCharCode("xf20");
inline constexpr OSType kCVPixelFormatType_422YpCbCr10BiPlanarFullRange = fourCharCode("xf22");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8VideoRange_8A_TriPlanar = fourCharCode("v0a8");

}  // namespace platform
