#include <gtest/gtest.h>

#include <cmath>

#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/VideoGLPictureFormat.h"

namespace {

using namespace platform;
using TexelFormat = VideoGLPictureFormat::TexelFormat;

CVPixelBufferRef makeBuffer(OSType format, std::size_t width = 64, std::size_t height = 36) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
    return buffer;
}

// The R'G'B' that a conversion gives for components read as normalised texel values.
std::array<float, 3> toRGB(const VideoGLColorConversion& c, std::array<float, 3> components) {
    std::array<float, 3> rgb{};
    for (int row = 0; row < 3; ++row) {
        rgb[row] = c.offset[row];
        for (int column = 0; column < 3; ++column) {
            rgb[row] += c.toRGB[column * 3 + row] * components[column];
        }
    }
    return rgb;
}

TEST(VideoGLPictureFormatTest, DescribesEachDrawnLayoutsTextures) {
    const auto planar =
        VideoGLPictureFormat::of(*makeBuffer(kCVPixelFormatType_420YpCbCr8Planar, 65, 37));
    ASSERT_TRUE(planar);
    EXPECT_EQ(planar->textureCount, 3);
    EXPECT_EQ(planar->textures[2], (VideoGLPictureFormat::Texture{2, TexelFormat::r8, 33, 19}))
        << "odd sizes round the chroma planes up";

    const auto p010 =
        VideoGLPictureFormat::of(*makeBuffer(kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange));
    ASSERT_TRUE(p010);
    EXPECT_EQ(p010->textures[0].texelFormat, TexelFormat::r16);
    EXPECT_EQ(p010->textures[1], (VideoGLPictureFormat::Texture{1, TexelFormat::rg16, 32, 18}));
    EXPECT_EQ(p010->componentTexture, (std::array<int, 3>{0, 1, 1}));
    EXPECT_EQ(p010->bits, 10);
    EXPECT_FALSE(p010->fullRange);

    // One packed plane read twice: two-byte texels for luma, four-byte ones for the pair's
    // chroma.
    const auto uyvy = VideoGLPictureFormat::of(*makeBuffer(kCVPixelFormatType_422YpCbCr8));
    ASSERT_TRUE(uyvy);
    EXPECT_EQ(uyvy->textures[0], (VideoGLPictureFormat::Texture{0, TexelFormat::rg8, 64, 36}));
    EXPECT_EQ(uyvy->textures[1], (VideoGLPictureFormat::Texture{0, TexelFormat::rgba8, 32, 36}));
    EXPECT_EQ(uyvy->componentSelector[0], (std::array<float, 4>{0, 1, 0, 0}));
    EXPECT_EQ(uyvy->componentSelector[2], (std::array<float, 4>{0, 0, 1, 0}));

    const auto bgra = VideoGLPictureFormat::of(*makeBuffer(kCVPixelFormatType_32BGRA));
    ASSERT_TRUE(bgra);
    EXPECT_FALSE(bgra->isYCbCr);

    EXPECT_FALSE(VideoGLPictureFormat::of(*makeBuffer(kCVPixelFormatType_422YpCbCr10)))
        << "v210 is left to the raster path";
}

TEST(VideoGLPictureFormatTest, MapsCodeValuesByRangeBitsAndMatrix) {
    const CVPixelBufferRef video = makeBuffer(kCVPixelFormatType_420YpCbCr8Planar);
    CVBufferSetAttachment(video, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_709_2, kCVAttachmentMode_ShouldPropagate);
    const VideoGLColorConversion bt709 =
        VideoGLColorConversion::of(*video, *VideoGLPictureFormat::of(*video));
    EXPECT_EQ(bt709.transfer, 0) << "SDR BT.709 goes straight to the screen";
    const auto black = toRGB(bt709, {16 / 255.0F, 128 / 255.0F, 128 / 255.0F});
    const auto white = toRGB(bt709, {235 / 255.0F, 128 / 255.0F, 128 / 255.0F});
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(black[i], 0, 1e-5);
        EXPECT_NEAR(white[i], 1, 1e-5);
    }
    // BT.709's red primary: Y 63, Cb 102, Cr 240.
    const auto red = toRGB(bt709, {63 / 255.0F, 102 / 255.0F, 240 / 255.0F});
    EXPECT_NEAR(red[0], 1, 0.01);
    EXPECT_NEAR(red[1], 0, 0.01);
    EXPECT_NEAR(red[2], 0, 0.01);

    // Ten bits at the top of sixteen, full range: code 1023 is white.
    const CVPixelBufferRef full = makeBuffer(kCVPixelFormatType_420YpCbCr10BiPlanarFullRange);
    const VideoGLColorConversion tenBit =
        VideoGLColorConversion::of(*full, *VideoGLPictureFormat::of(*full));
    const float top = (1023 << 6) / 65535.0F;
    const float middle = (512 << 6) / 65535.0F;
    EXPECT_NEAR(toRGB(tenBit, {top, middle, middle})[1], 1, 1e-4);
}

TEST(VideoGLPictureFormatTest, HDRAndWideGamutGoThroughLinearLight) {
    const CVPixelBufferRef pq = makeBuffer(kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    CVBufferSetAttachment(pq, kCVImageBufferTransferFunctionKey,
                          kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(pq, kCVImageBufferColorPrimariesKey,
                          kCVImageBufferColorPrimaries_ITU_R_2020,
                          kCVAttachmentMode_ShouldPropagate);
    const VideoGLColorConversion hdr =
        VideoGLColorConversion::of(*pq, *VideoGLPictureFormat::of(*pq));
    EXPECT_EQ(hdr.transfer, 2);
    EXPECT_TRUE(hdr.tonesDown) << "from the default 1000 cd/m² peak";
    EXPECT_TRUE(hdr.convertsPrimaries);
    EXPECT_NEAR(hdr.primaries[0], 1.660491F, 1e-6) << "column-major";
    EXPECT_NEAR(hdr.primaries[3], -0.587641F, 1e-6);
    EXPECT_NEAR(hdr.blackPQ + hdr.rangePQ, VideoColorMapping::luminanceToPQ(1000), 1e-6);

    const CVPixelBufferRef sdr2020 = makeBuffer(kCVPixelFormatType_420YpCbCr8Planar);
    CVBufferSetAttachment(sdr2020, kCVImageBufferColorPrimariesKey,
                          kCVImageBufferColorPrimaries_ITU_R_2020,
                          kCVAttachmentMode_ShouldPropagate);
    const VideoGLColorConversion wide =
        VideoGLColorConversion::of(*sdr2020, *VideoGLPictureFormat::of(*sdr2020));
    EXPECT_EQ(wide.transfer, 1);
    EXPECT_FALSE(wide.tonesDown);
    EXPECT_TRUE(wide.convertsPrimaries);
}

}  // namespace
