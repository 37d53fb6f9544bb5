#include <array>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/videotoolbox/VTPixelTransferSession.h"

using namespace platform;

namespace {

struct BGRA {
    int b, g, r, a;
};

CVPixelBufferRef makeBuffer(std::size_t width, std::size_t height, OSType format) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
    return buffer;
}

// A bi-planar 4:2:0 picture of one colour, with a matrix attachment unless matrix is empty.
CVPixelBufferRef uniformNV12(OSType format, std::uint8_t y, std::uint8_t cb, std::uint8_t cr,
                             const std::string& matrix, std::size_t size = 16) {
    CVPixelBufferRef buffer = makeBuffer(size, size, format);
    auto* luma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0));
    auto* chroma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 1));
    for (std::size_t row = 0; row < size; ++row) {
        std::memset(luma + row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 0), y, size);
    }
    for (std::size_t row = 0; row < size / 2; ++row) {
        for (std::size_t column = 0; column < size / 2; ++column) {
            chroma[row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 1) + 2 * column] = cb;
            chroma[row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 1) + 2 * column + 1] = cr;
        }
    }
    if (!matrix.empty()) {
        CVBufferSetAttachment(buffer, kCVImageBufferYCbCrMatrixKey, matrix,
                              kCVAttachmentMode_ShouldPropagate);
    }
    return buffer;
}

BGRA pixelAt(const CVPixelBufferRef& buffer, std::size_t x, std::size_t y) {
    const auto* row = static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddress(buffer)) +
                      y * CVPixelBufferGetBytesPerRow(buffer);
    return {row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
}

BGRA toBGRA(const VTPixelTransferSessionRef& session, const CVPixelBufferRef& source) {
    CVPixelBufferRef destination = makeBuffer(
        CVPixelBufferGetWidth(source), CVPixelBufferGetHeight(source), kCVPixelFormatType_32BGRA);
    EXPECT_EQ(VTPixelTransferSessionTransferImage(session, source, destination), noErr);
    return pixelAt(destination, CVPixelBufferGetWidth(source) / 2,
                   CVPixelBufferGetHeight(source) / 2);
}

void expectColour(const BGRA& actual, int r, int g, int b) {
    EXPECT_NEAR(actual.r, r, 3);
    EXPECT_NEAR(actual.g, g, 3);
    EXPECT_NEAR(actual.b, b, 3);
}

VTPixelTransferSessionRef makeSession() {
    VTPixelTransferSessionRef session;
    EXPECT_EQ(VTPixelTransferSessionCreate(&session), noErr);
    return session;
}

}  // namespace

TEST(VTPixelTransferSession, ReadsYCbCrWithTheAttachedMatrix) {
    auto session = makeSession();
    // Pure red as BT.709 encodes it in video range.
    const BGRA as709 =
        toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 63, 102, 240,
                                    kCVImageBufferYCbCrMatrix_ITU_R_709_2));
    const BGRA as601 =
        toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 63, 102, 240,
                                    kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    expectColour(as709, 255, 0, 0);
    // The same samples read as BT.601: a darker red (1.164·47 + 1.596·112 ≈ 233).
    expectColour(as601, 233, 0, 2);
    EXPECT_EQ(as709.a, 255);

    // Pure red as BT.601 encodes it, read with each matrix.
    const BGRA red601 =
        toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 81, 90, 240,
                                    kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    const BGRA red601As709 =
        toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 81, 90, 240,
                                    kCVImageBufferYCbCrMatrix_ITU_R_709_2));
    expectColour(red601, 255, 0, 0);
    expectColour(red601As709, 255, 24, 0);
}

TEST(VTPixelTransferSession, SmallPicturesWithoutAMatrixAreReadAsBT601) {
    auto session = makeSession();
    expectColour(toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 81,
                                             90, 240, "")),
                 255, 0, 0);
}

TEST(VTPixelTransferSession, RangeFollowsTheFormatCode) {
    auto session = makeSession();
    const auto matrix = kCVImageBufferYCbCrMatrix_ITU_R_709_2;
    expectColour(toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 16,
                                             128, 128, matrix)),
                 0, 0, 0);
    expectColour(toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 235,
                                             128, 128, matrix)),
                 255, 255, 255);
    expectColour(toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, 16,
                                             128, 128, matrix)),
                 16, 16, 16);
    expectColour(toBGRA(session, uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, 235,
                                             128, 128, matrix)),
                 235, 235, 235);
}

TEST(VTPixelTransferSession, WritesYCbCrInTheDestinationsRange) {
    auto session = makeSession();
    CVPixelBufferRef white = makeBuffer(16, 16, kCVPixelFormatType_32BGRA);
    for (std::size_t row = 0; row < 16; ++row) {
        std::memset(static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddress(white)) +
                        row * CVPixelBufferGetBytesPerRow(white),
                    255, 64);
    }
    for (auto [format, expectedLuma] :
         {std::pair{kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 235},
          std::pair{kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, 255}}) {
        CVPixelBufferRef destination = makeBuffer(16, 16, format);
        ASSERT_EQ(VTPixelTransferSessionTransferImage(session, white, destination), noErr);
        const auto* luma =
            static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(destination, 0));
        const auto* chroma =
            static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(destination, 1));
        EXPECT_NEAR(luma[8], expectedLuma, 1) << fourCharCodeString(format);
        EXPECT_NEAR(chroma[0], 128, 1);
        EXPECT_NEAR(chroma[1], 128, 1);
    }
}

TEST(VTPixelTransferSession, ScalesAndCopies) {
    auto session = makeSession();
    CVPixelBufferRef source = uniformNV12(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 63, 102,
                                          240, kCVImageBufferYCbCrMatrix_ITU_R_709_2, 64);
    CVPixelBufferRef smaller = makeBuffer(33, 17, kCVPixelFormatType_32BGRA);
    ASSERT_EQ(VTPixelTransferSessionTransferImage(session, source, smaller), noErr);
    expectColour(pixelAt(smaller, 32, 16), 255, 0, 0);
    expectColour(pixelAt(smaller, 0, 0), 255, 0, 0);

    // Same format and size: the pixels as they are.
    CVPixelBufferRef copy = makeBuffer(64, 64, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    ASSERT_EQ(VTPixelTransferSessionTransferImage(session, source, copy), noErr);
    EXPECT_EQ(static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(copy, 1))[1], 240);
    EXPECT_FALSE(copy->isLocked());
    EXPECT_FALSE(source->isLocked());
}

TEST(VTPixelTransferSession, Errors) {
    auto session = makeSession();
    CVPixelBufferRef bgra = makeBuffer(16, 16, kCVPixelFormatType_32BGRA);
    CVPixelBufferRef v210 = makeBuffer(16, 16, kCVPixelFormatType_422YpCbCr10);
    EXPECT_EQ(VTPixelTransferSessionTransferImage(session, v210, bgra),
              kVTPixelTransferNotSupportedErr);
    EXPECT_EQ(VTPixelTransferSessionTransferImage(session, nullptr, bgra), kVTParameterErr);
    EXPECT_EQ(VTPixelTransferSessionTransferImage(nullptr, v210, bgra), kVTParameterErr);
    EXPECT_FALSE(bgra->isLocked());
    EXPECT_FALSE(v210->isLocked());
    VTPixelTransferSessionInvalidate(session);
    EXPECT_EQ(VTPixelTransferSessionTransferImage(session, bgra,
                                                  makeBuffer(8, 8, kCVPixelFormatType_32BGRA)),
              kVTInvalidSessionErr);
}
