#include <vector>

#include <gtest/gtest.h>

#include "platform/corevideo/CVPixelBuffer.h"

using namespace platform;

namespace {

CFDataRef iccProfile(std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
        bytes[16 + i] = static_cast<std::uint8_t>("RGB "[i]);
        bytes[36 + i] = static_cast<std::uint8_t>("acsp"[i]);
    }
    return CFDataCreate(bytes);
}

}  // namespace

TEST(CVImageBufferColorSpace, AnICCProfileWins) {
    CFDataRef profile = iccProfile(256);
    auto space = CVImageBufferCreateColorSpaceFromAttachments(
        CFDictionary{{kCVImageBufferICCProfileKey, profile},
                     {kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_P22}});
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(*CGColorSpaceCopyICCData(space), *profile);
    EXPECT_FALSE(space->videoParameters().has_value());

    // A profile that is no profile gives nothing by itself.
    EXPECT_EQ(CVImageBufferCreateColorSpaceFromAttachments(CFDictionary{
                  {kCVImageBufferICCProfileKey, CFDataCreate(std::vector<std::uint8_t>(200))}}),
              nullptr);
}

TEST(CVImageBufferColorSpace, FromKnownPrimariesAndTransferFunction) {
    auto hd = CVImageBufferCreateColorSpaceFromAttachments(CFDictionary{
        {kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_ITU_R_709_2},
        {kCVImageBufferTransferFunctionKey, kCVImageBufferTransferFunction_ITU_R_709_2},
        {kCVImageBufferYCbCrMatrixKey, kCVImageBufferYCbCrMatrix_ITU_R_709_2},
        {"PixelFormatType", std::int64_t{fourCharCode("BGRA")}}});
    ASSERT_NE(hd, nullptr);
    ASSERT_TRUE(hd->videoParameters().has_value());
    EXPECT_EQ(hd->videoParameters()->colorPrimaries, "ITU_R_709_2");
    EXPECT_EQ(hd->videoParameters()->yCbCrMatrix, "ITU_R_709_2");
    EXPECT_EQ(CGColorSpaceGetModel(hd), kCGColorSpaceModelRGB);

    auto rgb = CVImageBufferCreateColorSpaceFromAttachments(
        CFDictionary{{kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_P22},
                     {kCVImageBufferTransferFunctionKey, kCVImageBufferTransferFunction_sRGB}});
    ASSERT_NE(rgb, nullptr);
    EXPECT_FALSE(rgb->videoParameters()->yCbCrMatrix.has_value());
    EXPECT_FALSE(rgb->isEqual(*hd));
}

TEST(CVImageBufferColorSpace, NothingFromUnknownOrIncompleteValues) {
    EXPECT_EQ(CVImageBufferCreateColorSpaceFromAttachments(CFDictionary{}), nullptr);
    EXPECT_EQ(CVImageBufferCreateColorSpaceFromAttachments(CFDictionary{
                  {kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_ITU_R_709_2}}),
              nullptr);
    EXPECT_EQ(CVImageBufferCreateColorSpaceFromAttachments(CFDictionary{
                  {kCVImageBufferColorPrimariesKey, std::string("Unknown")},
                  {kCVImageBufferTransferFunctionKey, kCVImageBufferTransferFunction_ITU_R_709_2}}),
              nullptr);
    const CFDictionary gammaWithoutLevel{
        {kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_EBU_3213},
        {kCVImageBufferTransferFunctionKey, kCVImageBufferTransferFunction_UseGamma}};
    EXPECT_EQ(CVImageBufferCreateColorSpaceFromAttachments(gammaWithoutLevel), nullptr);
    CFDictionary gamma = gammaWithoutLevel;
    gamma.set(kCVImageBufferGammaLevelKey, 2.8);
    auto space = CVImageBufferCreateColorSpaceFromAttachments(gamma);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->videoParameters()->gammaLevel, 2.8);
}

TEST(CVImageBufferColorSpace, BufferReadsItsColorSpaceAttachment) {
    CVPixelBufferRef buffer;
    ASSERT_EQ(CVPixelBufferCreate(2, 2, kCVPixelFormatType_32BGRA, nullptr, &buffer),
              kCVReturnSuccess);
    EXPECT_EQ(CVImageBufferGetColorSpace(buffer), nullptr);
    auto space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
    CVBufferSetAttachment(buffer, kCVImageBufferCGColorSpaceKey, CFObjectRef(space),
                          kCVAttachmentMode_ShouldPropagate);
    EXPECT_EQ(CVImageBufferGetColorSpace(buffer), space);
    EXPECT_EQ(CVImageBufferGetEncodedSize(buffer), (CGSize{2, 2}));
    EXPECT_EQ(CVImageBufferGetDisplaySize(buffer), (CGSize{2, 2}));
}
