#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVPixelFormatDescription.h"

using namespace platform;

namespace {

struct PlaneExpectation {
    std::size_t width;
    std::size_t height;
    std::size_t pixelBytesPerRow;
};

struct FormatExpectation {
    OSType format;
    bool planar;
    std::vector<PlaneExpectation> planes;  // at 33 × 17
};

// Worked out by hand from each format's definition, for the odd size 33 × 17: chroma planes round
// up, 4:2:2 packed formats hold pixel pairs, v210 holds groups of 48 pixels in 128 bytes.
const std::vector<FormatExpectation> expectations = {
    {kCVPixelFormatType_24RGB, false, {{33, 17, 99}}},
    {kCVPixelFormatType_32ARGB, false, {{33, 17, 132}}},
    {kCVPixelFormatType_32BGRA, false, {{33, 17, 132}}},
    {kCVPixelFormatType_64ARGB, false, {{33, 17, 264}}},
    {kCVPixelFormatType_30RGB, false, {{33, 17, 132}}},
    {kCVPixelFormatType_422YpCbCr8, false, {{33, 17, 68}}},
    {kCVPixelFormatType_4444YpCbCrA8, false, {{33, 17, 132}}},
    {kCVPixelFormatType_4444YpCbCrA8R, false, {{33, 17, 132}}},
    {kCVPixelFormatType_4444AYpCbCr8, false, {{33, 17, 132}}},
    {kCVPixelFormatType_422YpCbCr16, false, {{33, 17, 136}}},
    {kCVPixelFormatType_422YpCbCr10, false, {{33, 17, 128}}},
    {kCVPixelFormatType_444YpCbCr10, false, {{33, 17, 132}}},
    {kCVPixelFormatType_420YpCbCr8Planar, true, {{33, 17, 33}, {17, 9, 17}, {17, 9, 17}}},
    {kCVPixelFormatType_420YpCbCr8PlanarFullRange, true, {{33, 17, 33}, {17, 9, 17}, {17, 9, 17}}},
    {kCVPixelFormatType_422YpCbCr_4A_8BiPlanar, true, {{33, 17, 68}, {33, 17, 33}}},
    {kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, true, {{33, 17, 33}, {17, 9, 34}}},
    {kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, true, {{33, 17, 33}, {17, 9, 34}}},
    {kCVPixelFormatType_422YpCbCr8_yuvs, false, {{33, 17, 68}}},
    {kCVPixelFormatType_422YpCbCr8FullRange, false, {{33, 17, 68}}},
    {kCVPixelFormatType_OneComponent8, false, {{33, 17, 33}}},
    {kCVPixelFormatType_OneComponent16Half, false, {{33, 17, 66}}},
    {kCVPixelFormatType_OneComponent32Float, false, {{33, 17, 132}}},
    {kCVPixelFormatType_64RGBAHalf, false, {{33, 17, 264}}},
    {kCVPixelFormatType_128RGBAFloat, false, {{33, 17, 528}}},
    {kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, true, {{33, 17, 66}, {17, 9, 68}}},
    {kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange, true, {{33, 17, 66}, {17, 17, 68}}},
    {kCVPixelFormatType_420YpCbCr10BiPlanarFullRange, true, {{33, 17, 66}, {17, 9, 68}}},
    {kCVPixelFormatType_422YpCbCr10BiPlanarFullRange, true, {{33, 17, 66}, {17, 17, 68}}},
    {kCVPixelFormatType_420YpCbCr8VideoRange_8A_TriPlanar,
     true,
     {{33, 17, 33}, {17, 9, 34}, {33, 17, 33}}},
    {kCVPixelFormatType_4444AYpCbCr16, false, {{33, 17, 264}}},
};

CVPixelBufferRef makeBuffer(std::size_t width, std::size_t height, OSType format,
                            CFDictionary attributes = {}) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(
        CVPixelBufferCreate(width, height, format,
                            std::make_shared<const CFDictionary>(std::move(attributes)), &buffer),
        kCVReturnSuccess);
    return buffer;
}

struct PlaneView {
    std::uint8_t* base;
    std::size_t bytesPerRow;
    std::size_t height;
};

std::vector<PlaneView> planesOf(const CVPixelBufferRef& buffer) {
    if (!CVPixelBufferIsPlanar(buffer)) {
        return {{static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddress(buffer)),
                 CVPixelBufferGetBytesPerRow(buffer), CVPixelBufferGetHeight(buffer)}};
    }
    std::vector<PlaneView> planes;
    for (std::size_t plane = 0; plane < CVPixelBufferGetPlaneCount(buffer); ++plane) {
        planes.push_back(
            {static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, plane)),
             CVPixelBufferGetBytesPerRowOfPlane(buffer, plane),
             CVPixelBufferGetHeightOfPlane(buffer, plane)});
    }
    return planes;
}

}  // namespace

TEST(CVPixelBufferGeometry, EveryFormatOfTheTableAtAnOddSize) {
    ASSERT_EQ(expectations.size(),
              CVPixelFormatDescriptionArrayCreateWithAllPixelFormatTypes().size());
    for (const FormatExpectation& expected : expectations) {
        SCOPED_TRACE(fourCharCodeString(expected.format));
        CVPixelBufferRef buffer = makeBuffer(33, 17, expected.format);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(CVPixelBufferGetWidth(buffer), 33u);
        EXPECT_EQ(CVPixelBufferGetHeight(buffer), 17u);
        EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer), expected.format);
        EXPECT_EQ(CVPixelBufferIsPlanar(buffer), expected.planar);
        if (expected.planar) {
            ASSERT_EQ(CVPixelBufferGetPlaneCount(buffer), expected.planes.size());
            for (std::size_t plane = 0; plane < expected.planes.size(); ++plane) {
                const PlaneExpectation& p = expected.planes[plane];
                EXPECT_EQ(CVPixelBufferGetWidthOfPlane(buffer, plane), p.width) << plane;
                EXPECT_EQ(CVPixelBufferGetHeightOfPlane(buffer, plane), p.height) << plane;
                const std::size_t bytesPerRow = CVPixelBufferGetBytesPerRowOfPlane(buffer, plane);
                EXPECT_GE(bytesPerRow, p.pixelBytesPerRow) << plane;
                EXPECT_LT(bytesPerRow, p.pixelBytesPerRow + 16) << plane;
                EXPECT_EQ(bytesPerRow % 16, 0u) << plane;
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(
                              CVPixelBufferGetBaseAddressOfPlane(buffer, plane)) %
                              64,
                          0u);
            }
            EXPECT_EQ(CVPixelBufferGetBaseAddressOfPlane(buffer, expected.planes.size()), nullptr);
        } else {
            EXPECT_EQ(CVPixelBufferGetPlaneCount(buffer), 0u);
            EXPECT_EQ(CVPixelBufferGetBaseAddressOfPlane(buffer, 0), nullptr);
            EXPECT_EQ(CVPixelBufferGetWidthOfPlane(buffer, 0), 0u);
            const std::size_t bytesPerRow = CVPixelBufferGetBytesPerRow(buffer);
            EXPECT_GE(bytesPerRow, expected.planes[0].pixelBytesPerRow);
            EXPECT_LT(bytesPerRow, expected.planes[0].pixelBytesPerRow + 16);
            EXPECT_EQ(bytesPerRow % 16, 0u);
        }
    }
}

TEST(CVPixelBufferGeometry, PlanesDoNotOverlapAndFitTheMemory) {
    for (const FormatExpectation& expected : expectations) {
        SCOPED_TRACE(fourCharCodeString(expected.format));
        CVPixelBufferRef buffer = makeBuffer(33, 17, expected.format);
        const std::vector<PlaneView> planes = planesOf(buffer);
        // Fill each plane with its own byte, then check that no plane was overwritten.
        for (std::size_t i = 0; i < planes.size(); ++i) {
            std::memset(planes[i].base, static_cast<int>(i + 1),
                        planes[i].bytesPerRow * planes[i].height);
        }
        for (std::size_t i = 0; i < planes.size(); ++i) {
            const std::uint8_t* begin = planes[i].base;
            const std::uint8_t* end = begin + planes[i].bytesPerRow * planes[i].height;
            EXPECT_TRUE(std::all_of(begin, end, [&](std::uint8_t b) { return b == i + 1; })) << i;
        }
        const auto* first = planes.front().base;
        const auto* last = planes.back().base + planes.back().bytesPerRow * planes.back().height;
        EXPECT_LE(static_cast<std::size_t>(last - first), CVPixelBufferGetDataSize(buffer));
    }
}

TEST(CVPixelBufferGeometry, AlignmentAndExtendedPixelsAttributes) {
    CVPixelBufferRef aligned =
        makeBuffer(1000, 10, kCVPixelFormatType_420YpCbCr8Planar,
                   {{kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{64}},
                    {kCVPixelBufferPlaneAlignmentKey, std::int64_t{4096}}});
    EXPECT_EQ(CVPixelBufferGetBytesPerRowOfPlane(aligned, 0), 1024u);
    EXPECT_EQ(CVPixelBufferGetBytesPerRowOfPlane(aligned, 1), 512u);
    for (std::size_t plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(
            reinterpret_cast<std::uintptr_t>(CVPixelBufferGetBaseAddressOfPlane(aligned, plane)) %
                4096,
            0u);
    }

    // A decoder's padded frame: 1920 × 1080 visible in 2048 × 1088 of memory per luma plane.
    CVPixelBufferRef extended =
        makeBuffer(1920, 1080, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                   {{kCVPixelBufferExtendedPixelsRightKey, std::int64_t{128}},
                    {kCVPixelBufferExtendedPixelsBottomKey, std::int64_t{8}},
                    {kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{64}}});
    std::size_t left = 9, right = 0, top = 9, bottom = 0;
    CVPixelBufferGetExtendedPixels(extended, &left, &right, &top, &bottom);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(right, 128u);
    EXPECT_EQ(top, 0u);
    EXPECT_EQ(bottom, 8u);
    EXPECT_EQ(CVPixelBufferGetWidth(extended), 1920u);
    EXPECT_EQ(CVPixelBufferGetBytesPerRowOfPlane(extended, 0), 2048u);
    EXPECT_EQ(CVPixelBufferGetBytesPerRowOfPlane(extended, 1), 2048u);
    EXPECT_EQ(CVPixelBufferGetHeightOfPlane(extended, 1), 540u);
    const auto* luma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(extended, 0));
    const auto* chroma =
        static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(extended, 1));
    EXPECT_GE(static_cast<std::size_t>(chroma - luma), 2048u * 1088);

    // Extended pixels on the left and top move the base address into the memory.
    CVPixelBufferRef surrounded =
        makeBuffer(16, 16, kCVPixelFormatType_32BGRA,
                   {{kCVPixelBufferExtendedPixelsLeftKey, std::int64_t{4}},
                    {kCVPixelBufferExtendedPixelsTopKey, std::int64_t{2}}});
    const std::size_t bytesPerRow = CVPixelBufferGetBytesPerRow(surrounded);
    EXPECT_EQ(bytesPerRow, 80u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CVPixelBufferGetBaseAddress(surrounded)) % 64,
              (2 * bytesPerRow + 16) % 64);
}

TEST(CVPixelBufferCreate, RefusesWhatItCannotMake) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(0, 10, kCVPixelFormatType_32BGRA, nullptr, &buffer),
              kCVReturnInvalidSize);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(CVPixelBufferCreate(10, 10, fourCharCode("none"), nullptr, &buffer),
              kCVReturnInvalidPixelFormat);
    EXPECT_EQ(CVPixelBufferCreate(1 << 20, 10, kCVPixelFormatType_32BGRA, nullptr, &buffer),
              kCVReturnInvalidSize);
    auto wrongType = std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferExtendedPixelsRightKey, std::string("8")}});
    EXPECT_EQ(CVPixelBufferCreate(10, 10, kCVPixelFormatType_32BGRA, wrongType, &buffer),
              kCVReturnInvalidPixelBufferAttributes);
    auto negative = std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{-16}}});
    EXPECT_EQ(CVPixelBufferCreate(10, 10, kCVPixelFormatType_32BGRA, negative, &buffer),
              kCVReturnInvalidPixelBufferAttributes);
    EXPECT_EQ(CVPixelBufferCreate(10, 10, kCVPixelFormatType_32BGRA, nullptr, nullptr),
              kCVReturnInvalidArgument);
    // Keys that only matter to other platforms' memory are accepted.
    auto compatibility = std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferIOSurfacePropertiesKey, std::make_shared<const CFDictionary>()},
                     {kCVPixelBufferMetalCompatibilityKey, true},
                     {kCVPixelBufferIOSurfaceCoreAnimationCompatibilityKey, true}});
    EXPECT_EQ(CVPixelBufferCreate(10, 10, kCVPixelFormatType_32BGRA, compatibility, &buffer),
              kCVReturnSuccess);
}

TEST(CVPixelBufferLock, MisuseAnswersErrorCodes) {
    CVPixelBufferRef buffer = makeBuffer(8, 8, kCVPixelFormatType_32BGRA);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnError);
    EXPECT_EQ(CVPixelBufferLockBaseAddress(buffer, 0x10), kCVReturnInvalidArgument);

    EXPECT_EQ(CVPixelBufferLockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
    // A read-only lock is undone only by a read-only unlock.
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnError);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly),
              kCVReturnSuccess);

    EXPECT_EQ(CVPixelBufferLockBaseAddress(buffer, 0), kCVReturnSuccess);
    EXPECT_EQ(CVPixelBufferLockBaseAddress(buffer, 0), kCVReturnSuccess);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnSuccess);
    EXPECT_TRUE(buffer->isLocked());
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnSuccess);
    EXPECT_FALSE(buffer->isLocked());
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnError);

    EXPECT_EQ(CVPixelBufferLockBaseAddress(nullptr, 0), kCVReturnInvalidArgument);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(nullptr, 0), kCVReturnInvalidArgument);
}

TEST(CVPixelFormatDescription, DescribesPlanesAndContent) {
    auto nv12 = CVPixelFormatDescriptionCreateWithPixelFormatType(
        kCVPixelFormatType_420YpCbCr8BiPlanarFullRange);
    ASSERT_NE(nv12, nullptr);
    EXPECT_EQ(nv12->boolValue(kCVPixelFormatContainsYCbCr), true);
    EXPECT_EQ(nv12->boolValue(kCVPixelFormatContainsRGB), false);
    EXPECT_EQ(nv12->stringValue(kCVPixelFormatComponentRange),
              kCVPixelFormatComponentRange_FullRange);
    EXPECT_EQ(nv12->stringValue(kCVPixelFormatName),
              "kCVPixelFormatType_420YpCbCr8BiPlanarFullRange");
    auto planes = CVPixelFormatDescriptionGetPlanes(nv12);
    ASSERT_EQ(planes.size(), 2u);
    EXPECT_EQ(planes[1]->integerValue(kCVPixelFormatBitsPerBlock), 16);
    EXPECT_EQ(planes[1]->integerValue(kCVPixelFormatHorizontalSubsampling), 2);
    EXPECT_EQ(planes[1]->integerValue(kCVPixelFormatVerticalSubsampling), 2);

    auto bgra = CVPixelFormatDescriptionCreateWithPixelFormatType(kCVPixelFormatType_32BGRA);
    EXPECT_EQ(bgra->boolValue(kCVPixelFormatContainsRGB), true);
    EXPECT_EQ(bgra->boolValue(kCVPixelFormatContainsYCbCr), false);
    EXPECT_FALSE(bgra->contains(kCVPixelFormatPlanes));
    EXPECT_EQ(
        CVPixelFormatDescriptionGetPlanes(bgra).front()->integerValue(kCVPixelFormatBitsPerBlock),
        32);

    EXPECT_EQ(CVPixelFormatDescriptionCreateWithPixelFormatType(fourCharCode("none")), nullptr);
    for (OSType code : CVPixelFormatDescriptionArrayCreateWithAllPixelFormatTypes()) {
        auto description = CVPixelFormatDescriptionCreateWithPixelFormatType(code);
        ASSERT_NE(description, nullptr);
        EXPECT_TRUE(description->boolValue(kCVPixelFormatContainsYCbCr).has_value());
        EXPECT_EQ(description->integerValue(kCVPixelFormatConstant), std::int64_t{code});
    }
}
